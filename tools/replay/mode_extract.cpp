// mode_extract.cpp: --extract A-B OUT: frames A to B of a trace as a smaller trace of their
// own that replays to the same images, for a bug report to carry one frame.
//
// A replay of the frames before A gives the image at A's start (a default-mode trace does not
// hold it); the new trace begins with calls that put it and the bindings in force
// (extract_writer.h), then holds A to B's records. The written trace is replayed and each
// frame's image compared with the original's. The library's two scratch layers are the one
// thing no call can set directly: after INIT they are zero, where the original's held what
// earlier triangles left, and DRAWTRI's edges can show that. When the original replayed with
// its layers cleared at A gives the extract's images, the layers are the difference, and the
// extract is written again starting at the last INIT before A: the triangles drawn since then
// leave the same layers (what a triangle leaves there depends on its arguments, what it reads
// and what the layers held, never on the image), then an Image record puts back the image at A.
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
    std::function<bool(const RunEvent&, bool inRange, ReplayLane&)> record;
    bool measure = false;  // the events carry the image before each call that may write it
    // Once, where frame frames.first starts: after the previous frame's ENDUPDATE.
    std::function<void(ReplayLane&)> start;
    Checkpoint checkpoint;  // in the range
};

struct PassResult {
    int status = 0;
    bool sawEnd = false;      // the whole trace was read
    bool endedEarly = false;  // the whole trace was read, and it stops without its End record
    uint64_t frames = 0;      // in the trace, when sawEnd (an unfinished last frame counts)
    uint64_t calls = 0;
    bool unfinished = false;  // calls after the last ENDUPDATE make the last frame
};

PassResult replayFrames(trace::TraceReader& reader, Reporter& report, const LibraryTable& library,
                        const FrameRange& frames, const PassHooks& hooks) {
    resetLibrary(library);
    RunSettings settings;
    settings.libraries = {&library};
    settings.frames = FrameRange{0, frames.last};
    settings.measure = hooks.measure;
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
        if (hooks.record && !hooks.record(event, frames.contains(frame), run.lane(0))) {
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
    // A trace whose host stopped early is still cut, up to where it stops.
    result.endedEarly = !stopped && run.endedEarly();
    if (!stopped && (result.sawEnd || result.endedEarly) && callsSinceFrameEnd > 0) checkpoint(lastCall);
    result.frames = run.frame() + (callsSinceFrameEnd > 0 ? 1 : 0);
    result.calls = run.calls();
    result.unfinished = callsSinceFrameEnd > 0;
    resetLibrary(library);  // while the run's memory the library points into still lives
    if (result.endedEarly) report.clearProgress();
    result.status = stopped ? 2 : result.endedEarly ? 0 : run.finish();
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

bool isTriangle(EntryPoint entry) { return entry == EntryPoint::DrawTri || entry == EntryPoint::DrawPerspTri; }

// Whether a triangle call reads its texture, palette or lightmap from inside the current image,
// which the replay then reads as it stands (a recorded read there is not used).
bool readsImage(const ReplayLane& lane, EntryPoint entry) {
    const auto inside = [&](const BoundRegion& region) {
        return region.inTarget && region.target.get() == &lane.target();
    };
    return inside(lane.texture()) || inside(lane.palette()) ||
           (entry == EntryPoint::DrawPerspTri && inside(lane.lightmap()));
}

class Extraction {
public:
    Extraction(const ModeInput& input, const LibraryTable& library)
        : input_(input), report_(input.report), library_(library), range_(input.options.extractFrames) {}
    int run();

private:
    int write(trace::TraceReader& reader, bool rebuildLayers);
    int verify(bool& same);
    std::vector<uint64_t> replayOriginal(bool clearLayersAtStart, size_t keepAt, KeptImage* kept);
    void describeDifference();

    const ModeInput& input_;
    Reporter& report_;
    const LibraryTable& library_;
    FrameRange range_;
    CallState stateAtStart_;
    // The last INIT before the range and the triangles drawn after it before the range, which
    // filled the layers there; whether one of them reads a binding inside the image.
    uint64_t lastInitFrame_ = 0, lastInitCall_ = 0, layerTriangles_ = 0;
    bool trianglesReadImage_ = false;
    // The original's images at the checkpoints of the range, and where they were.
    std::vector<uint64_t> originalHashes_;
    std::vector<CallPlace> originalPlaces_;
    uint64_t frameEnds_ = 0;  // checkpoints that end a frame
    // The extract's images at the same checkpoints; of those that differ, how many and the first.
    std::vector<uint64_t> extractedHashes_;
    size_t differing_ = 0, firstDiffering_ = 0;
    CallPlace firstDifferingPlace_;
    KeptImage firstDifferingImage_;
};

int Extraction::write(trace::TraceReader& reader, bool rebuildLayers) {
    const Options& options = input_.options;
    std::error_code ec;
    if (std::filesystem::equivalent(options.tracePath, options.extractPath, ec)) {
        report_.error("--extract would write over " + options.tracePath + ", the trace it reads");
        return 2;
    }
    stateAtStart_ = CallState{};
    originalHashes_.clear();
    originalPlaces_.clear();
    ExtractWriter writer(reader);
    std::string error;
    // Rebuilding the layers: whether the original's image changed, other than by the triangles
    // drawn again, since the extract's image last matched it.
    bool imageChanged = false;
    uint64_t imagePuts = 0;
    const auto history = [&](const RunEvent& event, ReplayLane& lane) {
        if (event.kind == RunEvent::Kind::Image) {
            imageChanged = true;
            return true;
        }
        if (event.kind != RunEvent::Kind::Call) return true;
        const trace::Call& call = event.record->call;
        if (!rebuildLayers) {
            if (call.entry == EntryPoint::Init) {
                lastInitFrame_ = event.place.frame;
                lastInitCall_ = event.place.index;
                layerTriangles_ = 0;
                trianglesReadImage_ = false;
            } else if (isTriangle(call.entry)) {
                ++layerTriangles_;
                trianglesReadImage_ = trianglesReadImage_ || readsImage(lane, call.entry);
            }
            return true;
        }
        if (event.place.index < lastInitCall_) return true;
        if (event.place.index == lastInitCall_) {
            writer.writeState(lane, stateAtStart_);
            imageChanged = false;
            return true;
        }
        if (call.entry == EntryPoint::SetTexture || call.entry == EntryPoint::SetLightmap) {
            writer.bindLater(call);
        } else if (isTriangle(call.entry)) {
            // A texture inside the image is read as the image stands: put back the original's.
            if (imageChanged && readsImage(lane, call.entry)) {
                writer.image(event.before, lane.target().sizeBytes);
                imageChanged = false;
                ++imagePuts;
            }
            if (!writer.drawAgain(*event.record, error)) {
                report_.error(options.tracePath + ": " + error);
                return false;
            }
        } else if (trace::mayWriteTarget(call.entry)) {
            imageChanged = true;
        }
        return true;
    };
    PassHooks hooks;
    hooks.measure = rebuildLayers && trianglesReadImage_;
    hooks.record = [&](const RunEvent& event, bool inRange, ReplayLane& lane) {
        if (!inRange) {
            if (event.kind == RunEvent::Kind::Call) stateAtStart_.see(event.record->call);
            return history(event, lane);
        }
        if (writer.copy(*event.record, error)) return true;
        report_.error(options.tracePath + ": " + error);
        return false;
    };
    hooks.start = [&](ReplayLane& lane) {
        if (!rebuildLayers) {
            writer.writeState(lane, stateAtStart_);
            return;
        }
        // The triangles drew into the image too: the host's image at A, then the bindings.
        const TargetImage& image = lane.target();
        if (image.data && image.sizeBytes > 0) writer.image(image.data, image.sizeBytes);
        writer.flushBindings();
    };
    hooks.checkpoint = [&](const TargetImage& image, const CallPlace& place) {
        originalHashes_.push_back(imageHash(image));
        originalPlaces_.push_back(place);
    };
    const PassResult pass = replayFrames(reader, report_, library_, range_, hooks);
    if (pass.status != 0) return pass.status;
    if ((pass.sawEnd || pass.endedEarly) &&
        (range_.first >= pass.frames || (range_.last != FrameRange{}.last && range_.last >= pass.frames))) {
        report_.error("--extract " + range_.text() + ": " + options.tracePath + " holds " +
                      plural(pass.frames, "frame", "frames") +
                      (pass.frames > 0 ? " (0 to " + std::to_string(pass.frames - 1) + ")" : std::string()));
        return 2;
    }
    if (pass.endedEarly && !rebuildLayers)
        report_.warning(options.tracePath + " stops without its end record after " +
                        plural(pass.calls, "call", "calls") + " (" +
                        plural(pass.frames - (pass.unfinished ? 1 : 0), "frame", "frames") +
                        (pass.unfinished ? " and an unfinished one" : "") +
                        "): the recorded host stopped early; the extract ends there too, with an end record of its "
                        "own");
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
    std::printf("%s %s: %s of %s\n", rebuildLayers ? "wrote again" : "wrote", options.extractPath.c_str(),
                frameRangeText(range_.first, range_.last).c_str(), options.tracePath.c_str());
    // A last frame without its ENDUPDATE (a host that stopped early) counts too.
    const std::string frames =
        plural(frameEnds_, "frame", "frames") +
        (writer.frames() < frameEnds_ ? (frameEnds_ == 1 ? ", unfinished" : ", the last unfinished") : "");
    std::printf("  %s, %s (%llu setting up the state at frame %llu), %s\n", frames.c_str(),
                plural(writer.calls(), "call", "calls").c_str(), static_cast<unsigned long long>(writer.stateCalls()),
                static_cast<unsigned long long>(range_.first), plural(writer.blobs(), "blob", "blobs").c_str());
    std::printf("  %s; the original has %llu\n", plural(bytes.size(), "byte", "bytes").c_str(),
                static_cast<unsigned long long>(reader.fileBytes()));
    if (rebuildLayers) {
        std::printf("  it carries %s since the INIT at call %llu to rebuild the library's scratch layers%s, then "
                    "restores the image\n",
                    plural(writer.drawnAgain(), "earlier triangle call", "earlier triangle calls").c_str(),
                    static_cast<unsigned long long>(lastInitCall_),
                    imagePuts == 0 ? ""
                                   : (" (the original's image put back before " +
                                      plural(imagePuts, "triangle", "triangles") + " reading a binding inside it)")
                                         .c_str());
    }
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

void Extraction::describeDifference() {
    KeptImage original;
    replayOriginal(false, firstDiffering_, &original);
    std::string what;
    const TargetImage& a = original.geometry;
    const TargetImage& b = firstDifferingImage_.geometry;
    if (a.width != b.width || a.height != b.height || a.pitch != b.pitch || a.sizeBytes != b.sizeBytes) {
        what = "an image of another size";
    } else {
        const ImageChange change = compareImages(a, original.bytes.data(), firstDifferingImage_.bytes.data());
        what = plural(change.pixels, "pixel", "pixels") + " differ" + (change.pixels == 1 ? "s" : "") + ", " +
               change.box.text();
    }
    std::printf("the extract differs from the original at %llu of %s; first after %s, the extract's call %llu: %s\n",
                static_cast<unsigned long long>(differing_),
                plural(originalHashes_.size(), "image compared", "images compared").c_str(),
                originalPlaces_[firstDiffering_].text().c_str(),
                static_cast<unsigned long long>(firstDifferingPlace_.index), what.c_str());
}

// Replays the extract as written to its file and compares its images with the original's:
// `same` tells whether all agree, else the first that differs is kept. 1 when it cannot be
// replayed or gives another number of images (reported).
int Extraction::verify(bool& same) {
    const auto extracted = openTrace(input_.options.extractPath, report_);
    if (!extracted) return 2;
    extractedHashes_.clear();
    differing_ = 0;
    PassHooks hooks;
    hooks.checkpoint = [&](const TargetImage& image, const CallPlace& place) {
        const size_t k = extractedHashes_.size();
        extractedHashes_.push_back(imageHash(image));
        if (k < originalHashes_.size() && extractedHashes_[k] == originalHashes_[k]) return;
        if (differing_++ == 0) {
            firstDiffering_ = k;
            firstDifferingPlace_ = place;
            firstDifferingImage_.keep(image);
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
    same = differing_ == 0;
    if (same) {
        const uint64_t calls = originalHashes_.size() - frameEnds_;
        std::printf("the extract replays to the same images (%s compared%s)\n",
                    plural(frameEnds_, "frame", "frames").c_str(),
                    calls == 0 ? "" : ("; in exact mode also after " + plural(calls, "call", "calls")).c_str());
    } else {
        describeDifference();
    }
    std::fflush(stdout);
    return 0;
}

int Extraction::run() {
    if (const int status = write(input_.reader, false); status != 0) return status;
    bool same = false;
    if (const int status = verify(same); status != 0 || same) return status;
    const unsigned long long at = range_.first;
    if (replayOriginal(true, 0, nullptr) != extractedHashes_) {
        std::printf("The scratch layers do not explain this: the original replayed with its layers cleared at frame "
                    "%llu still differs from the extract. This is a fault of --extract.\n",
                    at);
        return 1;
    }
    std::printf("The library's scratch layers make the difference: the extract starts with INIT's zero layers where "
                "the original's held what earlier triangles left at frame %llu, and DRAWTRI's edges show such "
                "leftovers (docs/api.md, \"The scratch layers\"); the original replayed with its layers cleared at "
                "frame %llu gives exactly the extract's images.\n",
                at, at);
    if (!stateAtStart_.initialised || stateAtStart_.unloaded || layerTriangles_ == 0) {
        std::printf("No triangle since the last INIT before frame %llu fills them, so there is none to draw again.\n",
                    at);
        return 1;
    }
    std::fflush(stdout);
    const auto again = input_.reopen();  // each pass reads the trace from its start
    if (!again) return 2;
    if (const int status = write(*again, true); status != 0) return status;
    if (const int status = verify(same); status != 0 || same) return status;
    std::printf("Even drawing the triangles since the INIT at call %llu again, the extract differs from the original. "
                "This is a fault of --extract. An extract from frame %llu, where that INIT was made, starts with the "
                "original's layers when no triangle is drawn before that INIT in its frame.\n",
                static_cast<unsigned long long>(lastInitCall_), static_cast<unsigned long long>(lastInitFrame_));
    return 1;
}

}  // namespace

int runExtract(const ModeInput& input) {
    const auto library = input.openLibrary(input.options.libraryPath);
    if (!library) return 2;
    return Extraction(input, library->table()).run();
}

}  // namespace velkano::replay
