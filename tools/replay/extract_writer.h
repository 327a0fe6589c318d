// extract_writer.h: builds a trace of some frames of another: first calls that put the library
// in the state a replay of the original reached where the frames start, then the original's
// records of those frames, each after the blobs it refers to that the new trace lacks so far,
// then an End record counting what was written.
//
// The state is either the one at the frames' start (writeState), or, to rebuild the library's
// scratch layers too, the one at the last INIT before them (writeState), the triangles drawn
// since then (drawAgain, with the bindings each drew with: bindLater), and an Image record
// putting back the image at the start (image).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>

#include "replay_lane.h"
#include "trace/trace_format.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// What the calls up to some point left in force that a replay's images do not show.
struct CallState {
    bool initialised = false;                      // an INIT was made
    bool unloaded = false;                         // an UNLOAD came after the last INIT: no scratch layers
    std::optional<trace::Call> texture, lightmap;  // the last SETTEXTURE and SETLIGHTMAP

    void see(const trace::Call& call);
};

class ExtractWriter {
public:
    // The header is `source`'s: platform, pointer size, exact flag and library version.
    explicit ExtractWriter(trace::TraceReader& source);

    // Calls that give a new replay the state `lane` holds after `state`'s calls: INIT with the
    // recorded address and geometry and the replayed image, the bindings, UNLOAD if in force.
    // A binding is made with the image bound that it was made with, so a texture, palette or
    // lightmap inside an image is bound inside the same replayed image.
    void writeState(const ReplayLane& lane, const CallState& state);
    // Copies a Call, Image or ImageHash record; false with `error` set when a blob it refers
    // to cannot be decoded.
    bool copy(const trace::Record& record, std::string& error);
    // A SETTEXTURE or SETLIGHTMAP written only before the next drawAgain or flushBindings: a
    // binding reads nothing, so only the one in force at a draw matters.
    void bindLater(const trace::Call& call);
    void flushBindings();
    // A DRAWTRI or DRAWPERSPTRI of the original, made again (after the pending bindings) to
    // leave in the scratch layers what it left there; false as copy().
    bool drawAgain(const trace::Record& record, std::string& error);
    // An Image record: the host wrote `data` (the current image's size) into its image.
    void image(const uint8_t* data, size_t sizeBytes);
    // The End record; the trace is then complete.
    void finish() { trace::appendEnd(out_, calls_, static_cast<uint32_t>(frames_)); }

    const trace::Bytes& bytes() const { return out_; }
    uint64_t calls() const { return calls_; }
    uint64_t frames() const { return frames_; }
    uint64_t blobs() const { return written_.size(); }
    uint64_t stateCalls() const { return stateCalls_; }
    uint64_t drawnAgain() const { return drawnAgain_; }
    uint64_t images() const { return images_; }  // written by image()

private:
    void call(const trace::Call& call);
    void init(const TargetImage& image);
    bool blob(const trace::Ref& ref, std::string& error);
    void content(uint64_t hash, std::span<const uint8_t> bytes);

    trace::TraceReader& source_;
    trace::Bytes out_;
    std::unordered_set<uint64_t> written_;  // hashes of the blobs written
    std::optional<trace::Call> pendingTexture_, pendingLightmap_;
    uint64_t calls_ = 0, frames_ = 0, stateCalls_ = 0, drawnAgain_ = 0, images_ = 0;
};

}  // namespace velkano::replay
