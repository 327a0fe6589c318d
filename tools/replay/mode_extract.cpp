// mode_extract.cpp: --extract A-B OUT: frames A to B of a trace as a smaller trace of their
// own that replays to the same images, for a bug report to carry one frame.
//
// A replay of the frames before A gives the image at A's start (a default-mode trace does not
// hold it); the new trace begins with calls that put it and the bindings in force
// (extract_writer.h), then holds A to B's records. The library's two scratch layers are the one
// thing no call can set: after INIT they are zero, where the original's held what earlier
// triangles left, and DRAWTRI's edges can show that. So the written trace is replayed and each
// frame's image compared with the original's; a difference is reported, and when the original
// replayed with its layers cleared at A gives the extract's images, put down to the layers.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include "extract_writer.h"
#include "modes.h"
#include "replay_run.h"

namespace velkano::replay {
namespace {

using trace::EntryPoint;
using trace::RefState;

// Puts the library back in its state at load as far as any call can tell (no image, no
// layers, nothing bound), so each pass starts alike and no pointer into a pass's memory stays.
void resetLibrary(const LibraryTable& library) {
    library.init(nullptr, 0, 0, 0);
    library.unload();
    library.setTexture(nullptr, 0, 0, nullptr, 0);
    library.setLightmap(nullptr, 0, 0);
}

// The images a pass compares: the end of each frame, of an unfinished last frame, and, where
// an exact-mode trace records the image after a call, that call's; `place` is the call's.
using Checkpoint = std::function<void(const TargetImage& image, const CallPlace& place)>;

// What a pass over frames 0..frames.last tells its caller.
struct PassHooks {
    // Every Call, Image and ImageHash record, after the run applied it, with whether its frame
    // is in the range; false stops the pass (reported by the hook) with status 2.
    std::function<bool(const RunEvent&, bool inRange)> record;
    // Once, where frame frames.first starts: after the previous frame's ENDUPDATE.
    std::function<void(ReplayLane&)> start;
    Checkpoint checkpoint;  // in the range
};

struct PassResult {
    int status = 0;
    bool sawEnd = false;  // the whole trace was read
    uint64_t frames = 0;  // in the trace, when sawEnd (an unfinished last frame counts)
};

PassResult replayFrames(trace::TraceReader& reader, Reporter& report, const LibraryTable& library,
                        const FrameRange& frames, const PassHooks& hooks) {
    resetLibrary(library);
    RunSettings settings;
    settings.libraries = {&library};
    settings.frames = FrameRange{0, frames.last};
    ReplayRun run(reader, report, settings);
    PassResult result;
    bool started = false, stopped = false;
    const auto start = [&] {
        if (!started && hooks.start) hooks.start(run.lane(0));
        started = true;
    };
    const auto checkpoint = [&](const CallPlace& place) {
        if (hooks.checkpoint && frames.contains(place.frame)) hooks.checkpoint(run.lane(0).target(), place);
    };
    if (frames.first == 0) start();
    uint64_t callsSinceFrameEnd = 0;
    CallPlace lastCall;
    RunEvent event;
    while (!stopped && run.next(event)) {
        if (event.kind == RunEvent::Kind::End) result.sawEnd = true;
        if (event.kind == RunEvent::Kind::End || event.kind == RunEvent::Kind::Blob) continue;
        const uint64_t frame = event.place.frame;
        if (hooks.record && !hooks.record(event, frames.contains(frame))) {
            stopped = true;
            run.stop();
            break;
        }
        if (event.kind == RunEvent::Kind::ImageHash && event.hasCall && event.record->ref.state == RefState::Content)
            checkpoint(event.place);
        if (event.kind != RunEvent::Kind::Call) continue;
        lastCall = event.place;
        const bool ends = event.record->call.entry == EntryPoint::EndUpdate;
        callsSinceFrameEnd = ends ? 0 : callsSinceFrameEnd + 1;
        if (!ends) continue;
        checkpoint(event.place);
        if (frame + 1 == frames.first) start();
    }
    if (!stopped && result.sawEnd && callsSinceFrameEnd > 0) checkpoint(lastCall);
    result.frames = run.frame() + (callsSinceFrameEnd > 0 ? 1 : 0);
    resetLibrary(library);  // while the run's memory the library points into still lives
    result.status = stopped ? 2 : run.finish();
    return result;
}

// An image kept from a pass: its geometry and bytes.
struct KeptImage {
    TargetImage geometry;
    std::vector<uint8_t> bytes;
    void keep(const TargetImage& image) {
        geometry.recordedAddress = image.recordedAddress;
        geometry.width = image.width;
        geometry.height = image.height;
        geometry.pitch = image.pitch;
        geometry.sizeBytes = image.sizeBytes;
        bytes.assign(image.data, image.data + image.sizeBytes);
        geometry.data = bytes.data();
    }
};

std::string frameRangeText(uint64_t first, uint64_t last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + " to " + std::to_string(last);
}

uint64_t imageHash(const TargetImage& image) { return trace::contentHash(image.data, image.sizeBytes); }

class Extraction {
public:
    Extraction(const ModeInput& input, const LibraryTable& library)
        : input_(input), report_(input.report), library_(library), range_(input.options.extractFrames) {}
    int run();

private:
    int write();
    std::vector<uint64_t> replayOriginal(bool clearLayersAtStart, size_t keepAt, KeptImage* kept);
    void explain(size_t first, const CallPlace& extractPlace, size_t differing, const KeptImage& extracted);

    const ModeInput& input_;
    Reporter& report_;
    const LibraryTable& library_;
    FrameRange range_;
    CallState stateAtStart_;
    uint64_t lastInitFrame_ = 0;  // of the last INIT before the range
    // The original's images at the checkpoints of the range, and where they were.
    std::vector<uint64_t> originalHashes_;
    std::vector<CallPlace> originalPlaces_;
    uint64_t frameEnds_ = 0;  // checkpoints that end a frame
    std::vector<uint64_t> extractedHashes_;
};

int Extraction::write() {
    const Options& options = input_.options;
    std::error_code ec;
    if (std::filesystem::equivalent(options.tracePath, options.extractPath, ec)) {
        report_.error("--extract would write over " + options.tracePath + ", the trace it reads");
        return 2;
    }
    ExtractWriter writer(input_.reader);
    std::string error;
    PassHooks hooks;
    hooks.record = [&](const RunEvent& event, bool inRange) {
        if (!inRange) {
            if (event.kind == RunEvent::Kind::Call && event.place.frame < range_.first) {
                stateAtStart_.see(event.record->call);
                if (event.record->call.entry == EntryPoint::Init) lastInitFrame_ = event.place.frame;
            }
            return true;
        }
        if (writer.copy(*event.record, error)) return true;
        report_.error(options.tracePath + ": " + error);
        return false;
    };
    hooks.start = [&](ReplayLane& lane) { writer.writeState(lane, stateAtStart_); };
    hooks.checkpoint = [&](const TargetImage& image, const CallPlace& place) {
        originalHashes_.push_back(imageHash(image));
        originalPlaces_.push_back(place);
    };
    const PassResult pass = replayFrames(input_.reader, report_, library_, range_, hooks);
    if (pass.status != 0) return pass.status;
    if (pass.sawEnd &&
        (range_.first >= pass.frames || (range_.last != FrameRange{}.last && range_.last >= pass.frames))) {
        report_.error("--extract " + range_.text() + ": " + options.tracePath + " holds " +
                      plural(pass.frames, "frame", "frames") +
                      (pass.frames > 0 ? " (0 to " + std::to_string(pass.frames - 1) + ")" : std::string()));
        return 2;
    }
    if (range_.last == FrameRange{}.last) range_.last = pass.frames - 1;
    writer.finish();
    frameEnds_ = range_.last - range_.first + 1;

    const trace::Bytes& bytes = writer.bytes();
    std::FILE* file = std::fopen(options.extractPath.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!(file && std::fclose(file) == 0 && written)) {
        report_.error("cannot write " + options.extractPath);
        return 2;
    }
    std::printf("wrote %s: %s of %s\n", options.extractPath.c_str(), frameRangeText(range_.first, range_.last).c_str(),
                options.tracePath.c_str());
    std::printf("  %s, %s (%llu setting up the state at frame %llu), %s\n",
                plural(writer.frames(), "frame", "frames").c_str(), plural(writer.calls(), "call", "calls").c_str(),
                static_cast<unsigned long long>(writer.stateCalls()), static_cast<unsigned long long>(range_.first),
                plural(writer.blobs(), "blob", "blobs").c_str());
    std::printf("  %s; the original has %llu\n", plural(bytes.size(), "byte", "bytes").c_str(),
                static_cast<unsigned long long>(input_.reader.fileBytes()));
    std::fflush(stdout);
    return 0;
}

// Replays the original again up to the range's end, or to checkpoint `keepAt`, keeping its
// image in `kept`; optionally with the library's layers cleared where the range starts. The
// image hash at each checkpoint.
std::vector<uint64_t> Extraction::replayOriginal(bool clearLayersAtStart, size_t keepAt, KeptImage* kept) {
    std::vector<uint64_t> hashes;
    const auto reader = input_.reopen();
    if (!reader) return hashes;
    PassHooks hooks;
    if (clearLayersAtStart) {
        hooks.start = [&](ReplayLane& lane) {
            if (!stateAtStart_.initialised) return;  // no layers yet
            // INIT again with the image in force: fresh zero layers, nothing else changed.
            const TargetImage& image = lane.target();
            if (image.data) library_.init(image.data, image.width, image.height, image.pitch);
            else library_.init(nullptr, 0, 0, 0);
            if (stateAtStart_.unloaded) library_.unload();
        };
    }
    hooks.checkpoint = [&](const TargetImage& image, const CallPlace&) {
        if (kept && hashes.size() == keepAt) kept->keep(image);
        hashes.push_back(imageHash(image));
    };
    FrameRange frames = range_;
    if (kept) frames.last = originalPlaces_[keepAt].frame;
    if (replayFrames(*reader, report_, library_, frames, hooks).status != 0) hashes.clear();
    return hashes;
}

void Extraction::explain(size_t first, const CallPlace& extractPlace, size_t differing, const KeptImage& extracted) {
    KeptImage original;
    replayOriginal(false, first, &original);
    std::string what;
    const TargetImage& a = original.geometry;
    const TargetImage& b = extracted.geometry;
    if (a.width != b.width || a.height != b.height || a.pitch != b.pitch || a.sizeBytes != b.sizeBytes) {
        what = "an image of another size";
    } else {
        const ImageChange change = compareImages(a, original.bytes.data(), extracted.bytes.data());
        what = plural(change.pixels, "pixel", "pixels") + " differ" + (change.pixels == 1 ? "s" : "") + ", " +
               change.box.text();
    }
    std::printf("the extract differs from the original at %llu of %s; first after %s, the extract's call %llu: %s\n",
                static_cast<unsigned long long>(differing),
                plural(originalHashes_.size(), "image compared", "images compared").c_str(),
                originalPlaces_[first].text().c_str(), static_cast<unsigned long long>(extractPlace.index),
                what.c_str());
    const unsigned long long at = range_.first;
    if (replayOriginal(true, 0, nullptr) == extractedHashes_) {
        std::printf("The library's scratch layers make the difference: no call can set them, so the extract starts "
                    "with INIT's zero layers where the original's held what earlier triangles left at frame %llu, and "
                    "DRAWTRI's edges show such leftovers (docs/api.md, \"The scratch layers\"). The original replayed "
                    "with its layers cleared at frame %llu gives exactly the extract's images.\n",
                    at, at);
        std::printf("An extract from frame %llu, where the last INIT before it was made, avoids this when no triangle "
                    "is drawn before that INIT in its frame.\n",
                    static_cast<unsigned long long>(lastInitFrame_));
    } else {
        std::printf("The scratch layers do not explain this: the original replayed with its layers cleared at frame "
                    "%llu still differs from the extract. This is a fault of --extract.\n",
                    at);
    }
}

int Extraction::run() {
    if (const int status = write(); status != 0) return status;
    // The trace as written, read back from the file.
    const auto extracted = openTrace(input_.options.extractPath, report_);
    if (!extracted) return 2;
    KeptImage firstDifferent;
    CallPlace firstPlace;
    size_t differing = 0, first = 0;
    PassHooks hooks;
    hooks.checkpoint = [&](const TargetImage& image, const CallPlace& place) {
        const size_t k = extractedHashes_.size();
        extractedHashes_.push_back(imageHash(image));
        if (k < originalHashes_.size() && extractedHashes_[k] == originalHashes_[k]) return;
        if (differing++ == 0) {
            first = k;
            firstPlace = place;
            firstDifferent.keep(image);
        }
    };
    if (replayFrames(*extracted, report_, library_, FrameRange{}, hooks).status != 0) {
        report_.error("the extract written to " + input_.options.extractPath + " does not replay");
        return 1;
    }
    if (extractedHashes_.size() != originalHashes_.size()) {
        report_.error("the extract gives " + plural(extractedHashes_.size(), "image", "images") +
                      " to compare, the original " + std::to_string(originalHashes_.size()));
        return 1;
    }
    if (differing == 0) {
        const uint64_t calls = originalHashes_.size() - frameEnds_;
        std::printf("the extract replays to the same images (%s compared%s)\n",
                    plural(frameEnds_, "frame", "frames").c_str(),
                    calls == 0 ? "" : ("; in exact mode also after " + plural(calls, "call", "calls")).c_str());
        return 0;
    }
    explain(first, firstPlace, differing, firstDifferent);
    return 1;
}

}  // namespace

int runExtract(const ModeInput& input) {
    const auto library = input.openLibrary(input.options.libraryPath);
    if (!library) return 2;
    return Extraction(input, library->table()).run();
}

}  // namespace velkano::replay
