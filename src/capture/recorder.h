// recorder.h: turns each entry-point call into trace records.
//
// Before the library runs a call, beforeCall appends to one batch, in this order: the blobs
// the call's records refer to that the file does not hold yet, an Image record when the host
// changed the target since the trace last knew it, and the Call record with the call's
// arguments and a ref for each region it reads; then the batch goes to the sink in one write.
// afterCall does what needs the call's result: it marks the target as changed, or (exact mode)
// writes an ImageHash record of it. Host memory is only ever read through copyReadable, into
// the recorder's own scratch buffer; a region that cannot be read is recorded as Unreadable.
//
// The recorder never throws and never changes what the host sees: on a failed write or any
// internal failure it reports once and stops recording for good.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_set>
#include <vector>

#include "capture/trace_sink.h"
#include "context/render_context.h"
#include "trace/trace_format.h"

namespace velkano::capture {

// Whether the call uses the target, so a pending check of the host's changes must run first.
bool touchesTarget(trace::EntryPoint entry);

class Recorder {
public:
    // Records the calls made on `context` (the library's state as the calls change it) into
    // `sink`. The header goes out with the first call; header.flags selects exact mode.
    Recorder(TraceSink& sink, const RenderContext& context, const trace::Header& header);

    // `args` holds signature(entry).argCount values, converted as the trace stores them.
    void beforeCall(trace::EntryPoint entry, std::span<const uint64_t> args) noexcept;
    void afterCall(trace::EntryPoint entry) noexcept;
    // Writes the End record; recording stops.
    void finish() noexcept;

    bool recording() const { return recording_; }

private:
    void record(trace::EntryPoint entry, std::span<const uint64_t> args);
    void recordAfter(trace::EntryPoint entry);
    trace::Ref readRef(trace::EntryPoint entry, trace::Read read, std::span<const uint64_t> args);
    // The region's content, stored as a blob if new: Absent for null, Unreadable when it
    // cannot be read or is larger than a blob may be.
    trace::Ref contentRef(const void* from, uint64_t sizeBytes);
    // The target's hash as it is now (its copy left in scratch_): Absent without a target.
    trace::Ref targetHash();
    // Appends the blob of the first `sizeBytes` of scratch_ unless the file holds it already.
    void storeBlob(uint64_t hash, size_t sizeBytes);
    // Records an Image when the target differs from what the trace knows; returns the target's
    // current ref.
    trace::Ref checkTarget();
    void setReference(trace::Ref image);
    bool copyToScratch(const void* from, size_t sizeBytes);
    void flush();
    void stop(const char* why) noexcept;
    void releaseLargeBuffers();

    TraceSink& sink_;
    const RenderContext& context_;
    const bool exact_;
    bool recording_ = true;
    trace::Bytes batch_;                    // records not yet written
    std::vector<uint8_t> scratch_;          // the copy of the region being recorded
    std::unordered_set<uint64_t> written_;  // hashes of the blobs in the file
    uint64_t calls_ = 0;
    uint32_t frames_ = 0;

    // The target as the trace knows it (INIT's content, the last Image, ENDUPDATE's hash or,
    // in exact mode, the hash after the last call); Absent: not known.
    trace::Ref reference_;
    bool dirty_ = false;           // a call may have written the target since reference_ was set
    bool readBeforeCall_ = false;  // this call's check copied the whole target: it is mapped
    bool checkArmed_ = false;      // default mode: BEGINUPDATE asks for a check at the next touch
};

}  // namespace velkano::capture
