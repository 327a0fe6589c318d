// extract_writer.h: builds a trace of some frames of another: first calls that put the library
// in the state a replay of the original reached where the frames start, then the original's
// records of those frames, each after the blobs it refers to that the new trace lacks so far,
// then an End record counting what was written.
#pragma once

#include <cstdint>
#include <optional>
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
    // The End record; the trace is then complete.
    void finish() { trace::appendEnd(out_, calls_, static_cast<uint32_t>(frames_)); }

    const trace::Bytes& bytes() const { return out_; }
    uint64_t calls() const { return calls_; }
    uint64_t frames() const { return frames_; }
    uint64_t blobs() const { return written_.size(); }
    uint64_t stateCalls() const { return stateCalls_; }

private:
    void call(const trace::Call& call);
    void init(const TargetImage& image);
    bool blob(const trace::Ref& ref, std::string& error);

    trace::TraceReader& source_;
    trace::Bytes out_;
    std::unordered_set<uint64_t> written_;  // hashes of the blobs written
    uint64_t calls_ = 0, frames_ = 0, stateCalls_ = 0;
};

}  // namespace velkano::replay
