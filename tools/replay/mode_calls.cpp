// mode_calls.cpp: --calls. Replays the trace with one library, measuring what each flash and
// draw changed, and lists the selected calls (--frames, --call-range, --only) with their
// arguments decoded, and the image records, as text or as one JSON document:
//   frame 0 call 4  DRAWTILE@44 x=4 ... tint=0x00c01010 (XXRRGGBB) ...  changed 256 px in x 4-19, y 4-19
//   frame 2 image #... 12672 B  after call 15  the host changed 100 px in x 40-49, y 30-39
// The JSON document is written as the run goes, calls first; the image records, fewer, are
// kept until the calls are done.
#include <cstdio>
#include <string>

#include "call_listing.h"
#include "listing_json.h"
#include "modes.h"
#include "replay_run.h"
#include "trace_state.h"  // callCountText

namespace velkano::replay {
namespace {

// "  changed 256 px in x 4-19, y 4-19" or "  changed nothing".
std::string changeText(const ImageChange& change, const char* who) {
    if (change.pixels == 0) return std::string("  ") + who + " nothing";
    return std::string("  ") + who + " " + std::to_string(change.pixels) + " px in " + change.box.text();
}

// {"pixels": 256, "box": [x0, y0, x1, y1] or null}.
Json changeJson(const ImageChange& change) {
    const PixelBox& b = change.box;
    return {{"pixels", change.pixels}, {"box", b.empty() ? Json(nullptr) : Json::array({b.x0, b.y0, b.x1, b.y1})}};
}

// `json` as dump(2) writes it, every line after the first indented by `indent` more spaces.
std::string dumpIndented(const Json& json, size_t indent) {
    std::string text;
    for (const char c : json.dump(2)) {
        text += c;
        if (c == '\n') text.append(indent, ' ');
    }
    return text;
}

// `element` as one more entry of an array whose entries are indented by four spaces.
void putArrayElement(std::string& out, const Json& element, bool& first) {
    out += first ? "\n    " : ",\n    ";
    first = false;
    out += dumpIndented(element, 4);
}

void flush(std::string& out) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
}

class Listing {
public:
    Listing(const ModeInput& input, ReplayRun& run) : options_(input.options), run_(run), decoder_(input.reader) {}

    int run(const std::string& tracePath) {
        if (options_.json)
            out_ = "{\n  \"trace\": " + Json(tracePath).dump(-1, ' ', false, Json::error_handler_t::replace) +
                   ",\n  \"calls\": [";
        RunEvent event;
        while (run_.next(event)) {
            switch (event.kind) {
                case RunEvent::Kind::Blob: break;
                case RunEvent::Kind::Call: call(event); break;
                case RunEvent::Kind::Image:
                case RunEvent::Kind::ImageHash: image(event); break;
                case RunEvent::Kind::End: end(*event.record); break;
            }
            decoder_.note(*event.record);
            flush(out_);  // into stdout's buffer, so that a message on stderr comes after the lines before it
        }
        const int status = run_.finish();
        if (options_.json) {
            out_ += firstCall_ ? "],\n  \"images\": [" : "\n  ],\n  \"images\": [";
            out_ += images_;
            out_ += firstImage_ ? "],\n" : "\n  ],\n";
            out_ += "  \"end\": " + dumpIndented(end_, 2) + "\n}\n";
        }
        flush(out_);
        // A call range that starts beyond the trace, which the run read to its end (not stopped
        // at the end of --frames).
        if (status == 0 && options_.calls.first >= run_.calls() && run_.frame() <= options_.frames.last) {
            run_.report().error("--call-range " + options_.calls.text() + ": " + run_.report().tracePath() + " holds " +
                                callCountText(run_.calls()));
            return 2;
        }
        return status;
    }

private:
    void call(const RunEvent& event) {
        const CallPlace& place = event.place;
        if (place.index > options_.calls.last) {
            run_.stop();
            return;
        }
        if (!options_.frames.contains(place.frame) || !options_.calls.contains(place.index) ||
            !options_.onlyEntry(static_cast<unsigned>(place.entry)))
            return;
        const trace::Call& c = event.record->call;
        if (options_.json) {
            putArrayElement(out_, callEntryJson(place, c, decoder_, event.measured ? &event.change : nullptr),
                            firstCall_);
            return;
        }
        out_ +=
            "frame " + std::to_string(place.frame) + " call " + std::to_string(place.index) + "  " + decoder_.text(c);
        if (event.measured) out_ += changeText(event.change, "changed");
        out_ += '\n';
    }

    // The host's image record lies before call `run_.calls()` and shows with it; an image hash
    // is the image as the call before it left it, and shows with that call. Neither shows with
    // --only, which selects calls alone.
    void image(const RunEvent& event) {
        const bool hostImage = event.kind == RunEvent::Kind::Image;
        const uint64_t call = hostImage || !event.hasCall ? run_.calls() : event.place.index;
        if (options_.onlyEntries != 0 || !options_.frames.contains(event.place.frame) || !options_.calls.contains(call))
            return;
        const trace::Record& record = *event.record;
        if (options_.json) {
            putArrayElement(
                images_,
                imageEntryJson(record, event.place, event.hasCall, decoder_, event.measured ? &event.change : nullptr),
                firstImage_);
            return;
        }
        out_ += "frame " + std::to_string(event.place.frame) + (hostImage ? " image " : " imageHash ") +
                decoder_.refText(record.ref);
        out_ += event.hasCall ? "  after call " + std::to_string(event.place.index) : std::string("  before any call");
        if (event.measured) out_ += changeText(event.change, "the host changed");
        out_ += '\n';
    }

    void end(const trace::Record& record) {
        if (options_.json) {
            end_ = {{"calls", record.endCalls}, {"frames", record.endFrames}};
            return;
        }
        out_ += "end  " + plural(record.endCalls, "call", "calls") + ", " +
                plural(record.endFrames, "frame", "frames") + "\n";
    }

    const Options& options_;
    ReplayRun& run_;
    CallDecoder decoder_;
    std::string out_, images_;
    bool firstCall_ = true, firstImage_ = true;
    Json end_ = nullptr;
};

}  // namespace

Json callEntryJson(const CallPlace& place, const trace::Call& call, CallDecoder& decoder, const ImageChange* change) {
    Json entry = {{"index", place.index},
                  {"frame", place.frame},
                  {"offset", place.offset},
                  {"entry", std::string(trace::signature(place.entry).name)}};
    Json decoded = decoder.json(call);
    entry["args"] = std::move(decoded["args"]);
    entry["reads"] = std::move(decoded["reads"]);
    entry["changed"] = change ? changeJson(*change) : Json(nullptr);
    return entry;
}

Json imageEntryJson(const trace::Record& record, const CallPlace& place, bool hasCall, const CallDecoder& decoder,
                    const ImageChange* change) {
    Json entry = {{"kind", record.type == trace::RecordType::Image ? "image" : "imageHash"},
                  {"frame", place.frame},
                  {"offset", record.offset},
                  {"afterCall", hasCall ? Json(place.index) : Json(nullptr)},
                  {"content", decoder.refJson(record.ref)}};
    entry["changed"] = change ? changeJson(*change) : Json(nullptr);
    return entry;
}

int runCalls(const ModeInput& input) {
    const auto library = input.openLibrary(input.options.libraryPath);
    if (!library) return 2;
    RunSettings settings;
    settings.libraries.push_back(&library->table());
    settings.measure = true;
    settings.frames = input.options.frames;
    ReplayRun run(input.reader, input.report, std::move(settings));
    return Listing(input, run).run(input.options.tracePath);
}

}  // namespace velkano::replay
