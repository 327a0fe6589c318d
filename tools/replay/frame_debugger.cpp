// frame_debugger.cpp: the index, the checkpoints and the answers of the frame debugger.
#include "frame_debugger.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <new>
#include <unordered_map>
#include <vector>

#include "bound_pictures.h"
#include "builtin_library.h"
#include "listing_json.h"
#include "overdraw_map.h"
#include "pixel_history.h"
#include "png_writer.h"
#include "replay_run.h"
#include "trace_facts.h"
#include "trace_state.h"
#include "velkano.h"  // VELKANO_VERSION_STRING

namespace velkano::replay {
namespace {

using Clock = std::chrono::steady_clock;

// Calls from one place to read the records from to the next, at least, at frame starts.
constexpr uint64_t kCallsBetweenSeeds = 256;
using trace::EntryPoint;

// What the first pass learnt of one call.
struct CallFacts {
    uint64_t offset = 0, end = 0;  // of its record, and where the record after it begins
    ImageChange change;
    bool measured = false;  // a flash or draw: `change` holds what it changed
};

struct FrameFacts {
    uint64_t firstCall = 0, calls = 0;
    bool finished = false;  // ends with its ENDUPDATE
    uint64_t changedPixels = 0;
    int32_t width = 0, height = 0;  // the drawable image at its end
};

// Where the replay stood before call `call`: the run's place and what the trace had put in
// force. A checkpoint also holds the replay's and the library's whole state.
struct Seed {
    uint64_t call = 0;
    RunPosition position;
    TraceState trace;
    std::unique_ptr<LaneSnapshot> lane;
    std::unique_ptr<ContextCopy> context;

    bool checkpoint() const { return lane != nullptr; }
    uint64_t sizeBytes() const { return checkpoint() ? lane->sizeBytes() + context->sizeBytes() : 0; }
};

Reply jsonReply(const Json& json) { return Reply{200, "application/json", json.dump()}; }

Reply pngReply(const void* pixels, int32_t width, int32_t height, int32_t pitch) {
    Reply reply{200, "image/png", {}};
    std::string why;
    if (!tools::encodePng(reply.body, pixels, width, height, pitch, &why)) return errorReply(500, why);
    return reply;
}

Reply rgbPngReply(const std::vector<uint8_t>& rgb, int32_t width, int32_t height) {
    Reply reply{200, "image/png", {}};
    std::string why;
    if (!tools::encodeRgbPng(reply.body, rgb.data(), width, height, &why)) return errorReply(500, why);
    return reply;
}

std::string callText(uint64_t call) { return "call " + std::to_string(call); }
std::string frameText(uint64_t frame) { return "frame " + std::to_string(frame); }

}  // namespace

Reply errorReply(int status, const std::string& message) {
    return Reply{status, "application/json", Json{{"error", message}}.dump()};
}

struct FrameDebugger::State {
    State(const ModeInput& in, uint64_t limit, double seconds)
        : input(in), limitBytes(limit), run(in.reader, in.report, runSettings()), live(in.reader),
          spacingSeconds(seconds) {}

    RunSettings runSettings() {
        RunSettings s;
        s.libraries.push_back(&builtin.table());
        s.measure = true;
        s.measureFootprints = true;
        return s;
    }

    // Where reach() brings the live replay.
    struct Target {
        enum class Kind { Start, BeforeCall, AfterCall, End } kind;
        uint64_t call = 0;
    };
    using Visit = std::function<void(const RunEvent&)>;

    bool load();
    void takeSeed(bool checkpoint);
    void thinCheckpoints();
    // The live replay brought to `target` from the nearest point at or before it: where it
    // stands or the last checkpoint (with a visitor: where it stands, when that lies before
    // the target); every event on the way goes to `visit`. False, with `error`,
    // when the trace cannot be replayed there.
    bool reach(const Target& target, const Visit& visit, std::string& error);
    bool restore(const Seed& seed, std::string& error);
    uint64_t targetOffset(const Target& target) const;
    // Where a frame starts, and where it ends: after its last call, or for an unfinished last
    // frame at the end of the trace, host images after that call included.
    Target frameStart(uint64_t frame) const;
    Target frameEnd(uint64_t frame) const;
    // The last seed at or before call `call` (checkpoints only: `checkpoint`).
    const Seed& seedBefore(uint64_t call, bool checkpoint) const;
    // Reads the records from the seed before `call` without replaying them; `visit` sees each
    // event with the trace's state before it, and returns false to stop. A `decoder` given
    // follows the records, ready to decode each call the visitor sees.
    bool read(uint64_t call, const std::function<bool(const RunEvent&, TraceState&)>& visit, std::string& error,
              CallDecoder* decoder = nullptr);
    Reply replayFailed(const std::string& error) const {
        return errorReply(500, "the trace cannot be replayed here: " + error);
    }
    Reply countOverdraw(uint64_t frame);
    // The texture (or lightmap) bound at call `call`, with the content that call read.
    Reply boundPicture(uint64_t call, bool lightmap);

    const ModeInput& input;
    uint64_t limitBytes;
    BuiltinLibrary builtin;
    ReplayRun run;         // the live replay, on the library code built into the tool
    TraceState live;       // what the records up to the live replay's place put in force
    RunPosition position;  // where the live replay stands (other passes move the reader)
    bool liveUsable = false;

    uint64_t endOffset = 0;  // where the first pass stopped reading
    std::vector<CallFacts> calls;
    std::vector<FrameFacts> frames;
    std::unordered_map<uint64_t, ImageChange> hostChanges;  // by the image record's offset
    std::vector<Seed> seeds;                                // by call: frame starts and checkpoints
    uint64_t checkpointBytes = 0;
    double spacingSeconds;  // replay time between two checkpoints; doubled each time they are thinned
    uint64_t finishedFrames = 0;
    std::string problem;
    double loadSeconds = 0;
    std::string factsJson, framesJson;

    // The last frame counted for the overdraw view.
    bool haveOverdraw = false;
    uint64_t overdrawFrame = 0, overdrawCalls = 0;
    int32_t overdrawWidth = 0, overdrawHeight = 0;
    std::vector<uint32_t> overdrawCounts;
};

void FrameDebugger::State::takeSeed(bool checkpoint) {
    Seed seed{calls.size(), run.position(), live, nullptr, nullptr};
    // The image and the library's two layers: a checkpoint that alone would pass the limit
    // is not taken (answers then replay from an earlier one).
    if (checkpoint && 3 * uint64_t{run.lane(0).target().sizeBytes} > limitBytes) checkpoint = false;
    if (checkpoint) {
        try {
            seed.lane = std::make_unique<LaneSnapshot>(run.lane(0).snapshot());
            seed.context = std::make_unique<ContextCopy>();
            if (!builtin.save(*seed.context)) seed.lane.reset();
        } catch (const std::bad_alloc&) {
            seed.lane.reset();
        }
        if (!seed.lane) seed.context.reset();
    }
    if (!seeds.empty() && seeds.back().call == seed.call) {
        if (!seed.checkpoint()) return;  // a frame start that is already a checkpoint
        checkpointBytes -= seeds.back().sizeBytes();
        seeds.pop_back();
    }
    checkpointBytes += seed.sizeBytes();
    seeds.push_back(std::move(seed));
    if (checkpointBytes > limitBytes) thinCheckpoints();
}

// Drops every other checkpoint after the first, as often as it takes to come within the
// limit; the replay time between two of them doubles each time.
void FrameDebugger::State::thinCheckpoints() {
    while (checkpointBytes > limitBytes) {
        size_t kept = 0;
        bool dropped = false;
        for (Seed& seed : seeds) {
            if (!seed.checkpoint() || kept++ % 2 == 0) continue;
            checkpointBytes -= seed.sizeBytes();
            seed.lane.reset();
            seed.context.reset();
            dropped = true;
        }
        spacingSeconds *= 2;
        if (!dropped) break;  // one checkpoint left: the start, which holds next to nothing
    }
}

bool FrameDebugger::State::load() {
    const auto start = Clock::now();
    takeSeed(true);  // the start
    auto lastCheckpoint = Clock::now();
    FrameFacts frame;
    RunEvent event;
    while (run.next(event)) {
        if (event.kind == RunEvent::Kind::Image && event.measured) hostChanges[event.record->offset] = event.change;
        if (event.record) live.apply(*event.record);
        if (event.kind != RunEvent::Kind::Call) continue;
        calls.push_back(CallFacts{event.place.offset, run.position().offset, event.change, event.measured});
        ++frame.calls;
        frame.changedPixels += event.change.pixels;
        bool frameStart = false;
        if (event.record->call.entry == EntryPoint::EndUpdate) {
            const TargetImage& image = run.lane(0).target();
            frame.finished = true;
            frame.width = drawableWidth(image);
            frame.height = frame.width > 0 ? image.height : 0;
            frames.push_back(frame);
            frame = FrameFacts{calls.size()};
            frameStart = true;
        }
        const bool due = std::chrono::duration<double>(Clock::now() - lastCheckpoint).count() >= spacingSeconds;
        // A frame start is a place to read from, when the last one lies some calls back: a
        // trace of tiny frames must not cost a copy of the trace's state for each.
        if (due || (frameStart && calls.size() - seeds.back().call >= kCallsBetweenSeeds)) takeSeed(due);
        if (due) lastCheckpoint = Clock::now();
    }
    const bool endedEarly = run.endedEarly();
    const int status = run.finish();
    if (frame.calls > 0) {
        const TargetImage& image = run.lane(0).target();
        frame.width = drawableWidth(image);
        frame.height = frame.width > 0 ? image.height : 0;
        frames.push_back(frame);
    }
    finishedFrames = run.frame();
    if (endedEarly) {
        problem = "the trace ends without its end record: the recorded host stopped early";
    } else if (status != 0) {
        problem = "the trace cannot be read or replayed beyond " + callText(calls.size()) +
                  (input.reader.error().empty() ? std::string() : ": " + input.reader.error());
    }
    position = run.position();
    endOffset = position.offset;
    liveUsable = status == 0 || endedEarly;
    run.setMeasure(false);
    input.report.hideProgress();
    input.report.muteWarnings(true);  // a part replayed again warns of nothing new
    loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();

    uint64_t checkpoints = 0;
    for (const Seed& seed : seeds) checkpoints += seed.checkpoint() ? 1 : 0;
    factsJson = Json{{"trace", input.options.tracePath},
                     {"header", headerJson(input.reader.header())},
                     {"calls", calls.size()},
                     {"frames", frames.size()},
                     {"finishedFrames", finishedFrames},
                     {"problem", problem.empty() ? Json(nullptr) : Json(problem)},
                     {"library", "velkano " VELKANO_VERSION_STRING " (built into velkano-replay)"},
                     {"checkpoints",
                      {{"count", checkpoints},
                       {"bytes", checkpointBytes},
                       {"limitBytes", limitBytes},
                       {"secondsApart", spacingSeconds}}},
                     {"load", {{"seconds", loadSeconds}}}}
                    .dump(-1, ' ', false, Json::error_handler_t::replace);  // a path need not be UTF-8
    Json list = Json::array();
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameFacts& f = frames[i];
        list.push_back({{"frame", i},
                        {"firstCall", f.firstCall},
                        {"calls", f.calls},
                        {"finished", f.finished},
                        {"changedPixels", f.changedPixels},
                        {"width", f.width},
                        {"height", f.height}});
    }
    framesJson = list.dump();
    return !calls.empty() || status == 0 || endedEarly;
}

const Seed& FrameDebugger::State::seedBefore(uint64_t call, bool checkpoint) const {
    auto at =
        std::upper_bound(seeds.begin(), seeds.end(), call, [](uint64_t c, const Seed& seed) { return c < seed.call; });
    while (at != seeds.begin()) {
        --at;
        if (!checkpoint || at->checkpoint()) return *at;
    }
    return seeds.front();  // the start, always a checkpoint
}

uint64_t FrameDebugger::State::targetOffset(const Target& target) const {
    switch (target.kind) {
        case Target::Kind::Start: return seeds.front().position.offset;
        case Target::Kind::BeforeCall: return calls[target.call].offset;
        case Target::Kind::AfterCall: break;
        case Target::Kind::End: return endOffset;
    }
    return calls[target.call].end;
}

FrameDebugger::State::Target FrameDebugger::State::frameStart(uint64_t frame) const {
    if (frame == 0) return {Target::Kind::Start};
    return {Target::Kind::AfterCall, frames[frame].firstCall - 1};
}

FrameDebugger::State::Target FrameDebugger::State::frameEnd(uint64_t frame) const {
    const FrameFacts& f = frames[frame];
    if (!f.finished) return {Target::Kind::End};
    return {Target::Kind::AfterCall, f.firstCall + f.calls - 1};
}

bool FrameDebugger::State::restore(const Seed& seed, std::string& error) {
    liveUsable = false;
    ReplayLane& lane = run.lane(0);
    if (!lane.restore(*seed.lane, input.reader, error)) return false;
    if (!builtin.restore(*seed.context, lane.target().data, lane.texture().data,
                         reinterpret_cast<const uint32_t*>(lane.palette().data),
                         reinterpret_cast<const uint32_t*>(lane.lightmap().data))) {
        error = "out of memory for the library's state";
        return false;
    }
    live = seed.trace;
    position = seed.position;
    liveUsable = true;
    return true;
}

bool FrameDebugger::State::reach(const Target& target, const Visit& visit, std::string& error) {
    const uint64_t until = targetOffset(target);
    const uint64_t call = target.kind == Target::Kind::Start ? 0
                          : target.kind == Target::Kind::End ? calls.size() - 1
                                                             : target.call;
    const Seed& checkpoint = seedBefore(call, true);
    // A visitor sees every event from where the replay stands; otherwise a later checkpoint
    // is the shorter way.
    const bool jump = !visit && position.offset < checkpoint.position.offset;
    if (!liveUsable || position.offset > until || jump) {
        if (!restore(checkpoint, error)) return false;
    }
    // Unusable until it stands where it says: an error or an exception on the way (out of
    // memory) leaves the lane and the library somewhere past `position`.
    liveUsable = false;
    if (!run.resume(position)) {
        error = "cannot go back to offset " + std::to_string(position.offset);
        return false;
    }
    RunEvent event;
    while (run.position().offset < until) {
        if (!run.next(event)) {
            error = input.reader.error().empty() ? "the replay stopped before " + callText(call) : input.reader.error();
            return false;
        }
        if (event.record) live.apply(*event.record);
        if (visit) visit(event);
    }
    position = run.position();
    liveUsable = true;
    return true;
}

bool FrameDebugger::State::read(uint64_t call, const std::function<bool(const RunEvent&, TraceState&)>& visit,
                                std::string& error, CallDecoder* decoder) {
    const Seed& seed = seedBefore(call, false);
    ReplayRun reading(input.reader, input.report, RunSettings{});
    if (!reading.resume(seed.position)) {
        error = "cannot go back to offset " + std::to_string(seed.position.offset);
        return false;
    }
    TraceState state = seed.trace;
    if (decoder)
        decoder->follow(state.texture().width, state.texture().height, state.lightmap().width, state.lightmap().height);
    RunEvent event;
    while (reading.next(event)) {
        if (!visit(event, state)) return true;
        if (!event.record) continue;
        state.apply(*event.record);
        if (decoder) decoder->note(*event.record);
    }
    // Reading on to the end of what the first pass could index is no fault.
    if (reading.endedEarly() || input.reader.error().empty() || reading.calls() >= calls.size()) return true;
    error = input.reader.error();
    return false;
}

FrameDebugger::FrameDebugger(const ModeInput& input, uint64_t checkpointBytes, double checkpointSeconds)
    : state_(std::make_unique<State>(input, checkpointBytes, checkpointSeconds)) {}
FrameDebugger::~FrameDebugger() = default;

bool FrameDebugger::load() { return state_->load(); }
uint64_t FrameDebugger::calls() const { return state_->calls.size(); }
uint64_t FrameDebugger::frames() const { return state_->frames.size(); }
uint64_t FrameDebugger::firstCall(uint64_t frame) const { return state_->frames[frame].firstCall; }
Reply FrameDebugger::facts() const { return Reply{200, "application/json", state_->factsJson}; }
Reply FrameDebugger::frameList() const { return Reply{200, "application/json", state_->framesJson}; }

Reply FrameDebugger::frameCalls(uint64_t frame, uint64_t first, uint64_t count) {
    State& s = *state_;
    if (frame >= s.frames.size()) return errorReply(404, "no " + frameText(frame));
    const FrameFacts& f = s.frames[frame];
    if (first < f.firstCall || first - f.firstCall >= f.calls)
        return errorReply(404, callText(first) + " is not in " + frameText(frame));
    const uint64_t last = first + std::min(std::max<uint64_t>(count, 1), f.firstCall + f.calls - first) - 1;
    // The host's images after the trace's last call show with the call after it, as --calls has them.
    const uint64_t lastShown = last + 1 == s.calls.size() ? last + 1 : last;
    Json entries = Json::array(), images = Json::array();
    CallDecoder decoder(s.input.reader);
    std::string error;
    const bool read = s.read(
        first,
        [&](const RunEvent& event, TraceState&) {
            const bool call = event.kind == RunEvent::Kind::Call;
            if (call && event.place.index > last) return false;
            if (call && event.place.index >= first) {
                const CallFacts& facts = s.calls[event.place.index];
                Json entry =
                    callEntryJson(event.place, event.record->call, decoder, facts.measured ? &facts.change : nullptr);
                entry["text"] = decoder.text(event.record->call);
                entries.push_back(std::move(entry));
            } else if (event.kind == RunEvent::Kind::Image || event.kind == RunEvent::Kind::ImageHash) {
                // As --calls shows them: a host image with the call after it, a hash with the
                // call it follows.
                const bool host = event.kind == RunEvent::Kind::Image;
                const uint64_t shownWith = host || !event.hasCall ? (event.hasCall ? event.place.index + 1 : 0)
                                                                  : event.place.index;
                if (shownWith >= first && shownWith <= lastShown) {
                    const auto change = s.hostChanges.find(event.record->offset);
                    images.push_back(imageEntryJson(*event.record, event.place, event.hasCall, decoder,
                                                    host && change != s.hostChanges.end() ? &change->second : nullptr));
                }
            }
            return true;
        },
        error, &decoder);
    if (!read) return s.replayFailed(error);
    return jsonReply({{"frame", frame},
                      {"firstCall", f.firstCall},
                      {"calls", f.calls},
                      {"first", first},
                      {"entries", std::move(entries)},
                      {"images", std::move(images)}});
}

Reply FrameDebugger::state(uint64_t call) {
    State& s = *state_;
    if (call >= s.calls.size()) return errorReply(404, "no " + callText(call));
    Json out;
    CallDecoder decoder(s.input.reader);
    std::string error;
    const bool read = s.read(
        call,
        [&](const RunEvent& event, TraceState& state) {
            if (event.kind != RunEvent::Kind::Call || event.place.index != call) return true;
            out = stateJson(state, event.place, decoder, event.record->call);
            return false;
        },
        error, &decoder);
    if (!read) return s.replayFailed(error);
    return jsonReply(out);
}

Reply FrameDebugger::image(uint64_t call, ImageView view) {
    State& s = *state_;
    if (call >= s.calls.size()) return errorReply(404, "no " + callText(call));
    std::string error;
    using Kind = State::Target::Kind;
    if (!s.reach({view == ImageView::After ? Kind::AfterCall : Kind::BeforeCall, call}, nullptr, error))
        return s.replayFailed(error);
    const TargetImage& image = s.run.lane(0).target();
    const int32_t width = drawableWidth(image);
    if (width == 0)
        return errorReply(404, std::string("the target is empty ") + (view == ImageView::After ? "after " : "before ") +
                                   callText(call));
    if (view != ImageView::Difference) return pngReply(image.data, width, image.height, image.pitch);
    const int32_t height = image.height, pitch = image.pitch;
    const std::vector<uint8_t> before(image.data, image.data + image.sizeBytes);
    if (!s.reach({Kind::AfterCall, call}, nullptr, error)) return s.replayFailed(error);
    const TargetImage& after = s.run.lane(0).target();
    if (drawableWidth(after) != width || after.height != height || after.pitch != pitch)
        return errorReply(404, callText(call) + " bound an image of another size: there is no difference to show");
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t now = pixelAt(after, after.data, x, y);
            uint8_t* out = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            if (now != pixelAt(after, before.data(), x, y)) {
                out[0] = static_cast<uint8_t>(now >> 16);
                out[1] = static_cast<uint8_t>(now >> 8);
                out[2] = static_cast<uint8_t>(now);
            } else {
                const uint32_t sum = (now >> 16 & 0xFF) + (now >> 8 & 0xFF) + (now & 0xFF);
                out[0] = out[1] = out[2] = static_cast<uint8_t>(sum / 12);
            }
        }
    }
    return rgbPngReply(rgb, width, height);
}

Reply FrameDebugger::State::boundPicture(uint64_t call, bool lightmap) {
    if (call >= calls.size()) return errorReply(404, "no " + callText(call));
    std::vector<uint8_t> bytes;  // RGB for the texture, words for the lightmap
    std::string why, error;
    int32_t width = 0, height = 0;
    bool found = false;
    const bool readTo = read(
        call,
        [&](const RunEvent& event, TraceState& state) {
            if (event.kind != RunEvent::Kind::Call || event.place.index != call) return true;
            state.apply(*event.record);  // the content this call read counts
            found = lightmap ? lightmapPicture(state, input.reader, bytes, why)
                             : texturePicture(state, input.reader, bytes, why);
            width = lightmap ? state.lightmap().width : state.texture().width;
            height = lightmap ? state.lightmap().height : state.texture().height;
            return false;
        },
        error);
    if (!readTo) return replayFailed(error);
    if (!found) return why.empty() ? replayFailed(input.reader.error()) : errorReply(404, why);
    return lightmap ? pngReply(bytes.data(), width, height, 4 * width) : rgbPngReply(bytes, width, height);
}

Reply FrameDebugger::texture(uint64_t call) { return state_->boundPicture(call, false); }
Reply FrameDebugger::lightmap(uint64_t call) { return state_->boundPicture(call, true); }

Reply FrameDebugger::pixel(uint64_t frame, int32_t x, int32_t y) {
    State& s = *state_;
    if (frame >= s.frames.size()) return errorReply(404, "no " + frameText(frame));
    std::string error;
    if (!s.reach(s.frameStart(frame), nullptr, error)) return s.replayFailed(error);
    PixelHistory history(x, y, FrameRange{frame, frame}, true, s.input.reader);
    history.startFrom(s.run.lane(0).target());
    if (!s.reach(
            s.frameEnd(frame), [&](const RunEvent& event) { history.step(event, s.run.lane(0).target()); }, error))
        return s.replayFailed(error);
    if (!history.everInside())
        return errorReply(404, "pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                                   ") lies outside the image throughout " + frameText(frame));
    return jsonReply(history.document());
}

Reply FrameDebugger::State::countOverdraw(uint64_t frame) {
    if (haveOverdraw && overdrawFrame == frame) return Reply{};
    haveOverdraw = false;
    std::string error;
    if (!reach(frameStart(frame), nullptr, error)) return replayFailed(error);
    const auto size = [&] {
        const TargetImage& image = run.lane(0).target();
        overdrawWidth = drawableWidth(image);
        overdrawHeight = overdrawWidth > 0 ? image.height : 0;
        overdrawCounts.assign(static_cast<size_t>(overdrawWidth) * static_cast<size_t>(overdrawHeight), 0u);
    };
    size();
    overdrawCalls = 0;
    // Measuring for this pass only, whatever happens on the way.
    struct Measuring {
        ReplayRun& run;
        explicit Measuring(ReplayRun& r) : run(r) { run.setMeasure(true); }
        ~Measuring() { run.setMeasure(false); }
    } measuring(run);
    const bool reached = reach(
        frameEnd(frame),
        [&](const RunEvent& event) {
            if (event.kind != RunEvent::Kind::Call) return;
            if (event.record->call.entry == EntryPoint::Init) {
                const TargetImage& image = run.lane(0).target();
                const int32_t width = drawableWidth(image);
                if (width != overdrawWidth || (width > 0 ? image.height : 0) != overdrawHeight) size();
            }
            if (!event.measured || event.change.pixels == 0 || overdrawCounts.empty()) return;
            ++overdrawCalls;
            const int32_t width = overdrawWidth;
            compareKept(run.lane(0).target(), event.kept, event.before, [&](int32_t px, int32_t py) {
                ++overdrawCounts[static_cast<size_t>(py) * static_cast<size_t>(width) + static_cast<size_t>(px)];
            });
        },
        error);
    if (!reached) return replayFailed(error);
    haveOverdraw = true;
    overdrawFrame = frame;
    return Reply{};
}

Reply FrameDebugger::overdraw(uint64_t frame, bool png) {
    State& s = *state_;
    if (frame >= s.frames.size()) return errorReply(404, "no " + frameText(frame));
    if (Reply failed = s.countOverdraw(frame); failed.status != 200) return failed;
    if (s.overdrawCounts.empty()) return errorReply(404, frameText(frame) + " ends with no image");
    const OverdrawSummary o = summarizeOverdraw(s.overdrawCounts);
    if (png) {
        int width = 0, height = 0;
        const std::vector<uint8_t> rgb =
            heatmapPicture(s.overdrawCounts, s.overdrawWidth, s.overdrawHeight, o.maximum, width, height);
        return rgbPngReply(rgb, width, height);
    }
    const Json at = o.maximum > 0 ? Json::array({o.first % static_cast<size_t>(s.overdrawWidth),
                                                 o.first / static_cast<size_t>(s.overdrawWidth)})
                                  : Json(nullptr);
    return jsonReply({{"frame", frame},
                      {"width", s.overdrawWidth},
                      {"height", s.overdrawHeight},
                      {"changes", o.total},
                      {"calls", s.overdrawCalls},
                      {"maximum", o.maximum},
                      {"at", at},
                      {"touched", o.touched}});
}

Reply FrameDebugger::thumbnail(uint64_t frame, int32_t maxWidth) {
    State& s = *state_;
    if (frame >= s.frames.size()) return errorReply(404, "no " + frameText(frame));
    std::string error;
    if (!s.reach(s.frameEnd(frame), nullptr, error)) return s.replayFailed(error);
    const TargetImage& image = s.run.lane(0).target();
    const int32_t width = drawableWidth(image);
    if (width == 0) return errorReply(404, frameText(frame) + " ends with no image");
    const int32_t step = std::max<int32_t>(1, (width + maxWidth - 1) / std::max<int32_t>(1, maxWidth));
    const int32_t smallWidth = (width + step - 1) / step, smallHeight = (image.height + step - 1) / step;
    std::vector<uint8_t> rgb(static_cast<size_t>(smallWidth) * static_cast<size_t>(smallHeight) * 3);
    for (int32_t y = 0; y < smallHeight; ++y) {
        for (int32_t x = 0; x < smallWidth; ++x) {
            const uint32_t p = pixelAt(image, image.data, x * step, y * step);
            uint8_t* out =
                &rgb[(static_cast<size_t>(y) * static_cast<size_t>(smallWidth) + static_cast<size_t>(x)) * 3];
            out[0] = static_cast<uint8_t>(p >> 16);
            out[1] = static_cast<uint8_t>(p >> 8);
            out[2] = static_cast<uint8_t>(p);
        }
    }
    return rgbPngReply(rgb, smallWidth, smallHeight);
}

}  // namespace velkano::replay
