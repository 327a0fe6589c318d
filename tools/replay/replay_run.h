// replay_run.h: one pass over a trace in file order, replaying its calls with up to two
// libraries (or none, for the modes that read the trace alone), handed to the mode that drives
// it one event at a time. The run counts frames and calls, rebuilds each library's copy of the
// host's memory, can measure what each call changed in the first library's image, and reports
// unusable input in one form: "velkano-replay: TRACE: offset N: frame F call C (NAME): what".
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "library_table.h"
#include "options.h"
#include "replay_lane.h"
#include "reporter.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// Where a call is: frames count ENDUPDATEs, calls count from 0 in file order.
struct CallPlace {
    uint64_t frame = 0, index = 0, offset = 0;
    trace::EntryPoint entry = trace::EntryPoint::Init;
    std::string text() const;  // "frame 3 call 1234 (DRAWTRI@12)"
};

// A rectangle of pixels, both corners included; empty when x1 < x0.
struct PixelBox {
    int32_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    bool empty() const { return x1 < x0; }
    bool contains(int32_t x, int32_t y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    void add(int32_t x, int32_t y);
    std::string text() const;  // "x 3-17, y 0-9", or "none"
};

// What changed between two images of one geometry: how many pixels' words differ, and where.
struct ImageChange {
    uint64_t pixels = 0;
    PixelBox box;
};

// Pixels of a row the library draws: the width, limited to pitch / 4; 0 when the image is empty.
int32_t drawableWidth(const TargetImage& image);
// The word of pixel (x, y) of `data`, an image laid out like `image`.
uint32_t pixelAt(const TargetImage& image, const uint8_t* data, int32_t x, int32_t y);

// Compares row y's pixels x0 to x1 at `a` and `b` (each pointing at pixel x0's word), adding
// every pixel whose word differs to `change` and calling each(x, y) for it.
template <class Each>
void compareRow(const uint8_t* a, const uint8_t* b, int32_t x0, int32_t x1, int32_t y, ImageChange& change,
                Each& each) {
    if (std::memcmp(a, b, 4 * static_cast<size_t>(x1 - x0 + 1)) == 0) return;
    for (int32_t x = x0; x <= x1; ++x, a += 4, b += 4) {
        if (std::memcmp(a, b, 4) == 0) continue;
        ++change.pixels;
        change.box.add(x, y);
        each(x, y);
    }
}

// Compares `a` and `b`, both laid out like `geometry`, over its drawable pixels; calls
// each(x, y) for every pixel whose word differs.
template <class Each>
ImageChange compareImages(const TargetImage& geometry, const uint8_t* a, const uint8_t* b, Each each) {
    ImageChange change;
    const int32_t width = drawableWidth(geometry);
    if (!a || !b || width == 0) return change;
    const size_t pitch = static_cast<size_t>(geometry.pitch);
    for (int32_t y = 0; y < geometry.height; ++y)
        compareRow(a + static_cast<size_t>(y) * pitch, b + static_cast<size_t>(y) * pitch, 0, width - 1, y, change,
                   each);
    return change;
}
ImageChange compareImages(const TargetImage& geometry, const uint8_t* a, const uint8_t* b);

// Compares box `kept` of `image` with `before`, the same box's pixels row after row; calls
// each(x, y) for every pixel whose word differs.
template <class Each>
ImageChange compareKept(const TargetImage& image, const PixelBox& kept, const uint8_t* before, Each each) {
    ImageChange change;
    if (kept.empty()) return change;
    const size_t rowBytes = 4 * static_cast<size_t>(kept.x1 - kept.x0 + 1);
    for (int32_t y = kept.y0; y <= kept.y1; ++y)
        compareRow(
            before + rowBytes * static_cast<size_t>(y - kept.y0),
            image.data + static_cast<size_t>(y) * static_cast<size_t>(image.pitch) + 4 * static_cast<size_t>(kept.x0),
            kept.x0, kept.x1, y, change, each);
    return change;
}

// One step of a run.
struct RunEvent {
    enum class Kind { Blob, Call, Image, ImageHash, End };
    Kind kind = Kind::End;
    const trace::Record* record = nullptr;
    // Call: this call. Image, ImageHash: the last call before the record (index and entry of
    // the call, frame as counted at the record), or no call yet (hasCall false).
    CallPlace place;
    bool hasCall = false;
    // Set when the run measures changes, for the calls that may write the target (flashes and
    // draws) and for Image records: lane 0's image before the step, and what changed. Measured
    // within footprints, `before` holds only the box `kept` of a call's image, row after row.
    bool measured = false;
    const uint8_t* before = nullptr;
    PixelBox kept;
    ImageChange change;
    double seconds = 0;  // Call, when timing: lane 0's library call alone
};

struct RunSettings {
    std::vector<const LibraryTable*> libraries;  // 0, 1 or 2 lanes
    bool measure = false;                        // keep lane 0's image before each step that may change it
    // With measure: keep and compare only the pixels a call may write (its footprint,
    // footprint.h), which costs a small call little.
    bool measureFootprints = false;
    bool time = false;  // time lane 0's library calls
    FrameRange frames;  // the run ends after the last of these frames
};

// Where a run stands between two records, to go on from there later (resume()).
struct RunPosition {
    uint64_t offset = 0;  // of the next record
    uint64_t frame = 0, calls = 0, callsInFrame = 0;
    CallPlace lastCall;
    bool hasCall = false;
};

class ReplayRun {
public:
    ReplayRun(trace::TraceReader& reader, Reporter& report, RunSettings settings);

    // The next step. False at the end of the trace, after the last frame of the range, after
    // stop(), or when the trace cannot be replayed (reported; finish() then gives 2).
    bool next(RunEvent& event);
    // Once next() returned false: 0, or 2 when the trace was unusable, ended without its end
    // record, or ended before the first frame of the range (each reported).
    int finish();
    // Once next() returned false: the whole trace was read, and it stops at a record's end
    // without its end record (the recorded host stopped early). finish() would report that;
    // what the run found is still worth showing.
    bool endedEarly() const { return !failed_ && !stopped_ && !rangeDone_ && endsWithoutEndRecord(reader_, sawEnd_); }
    void stop() { stopped_ = true; }
    // Measuring on or off from the next step (as RunSettings::measure).
    void setMeasure(bool measure) { settings_.measure = measure; }
    RunPosition position() const;
    // Goes on from `position`, taken earlier by a run over the same reader (restoring the
    // lanes to where they stood then is the caller's part); false beyond what was read.
    bool resume(const RunPosition& position);

    size_t laneCount() const { return lanes_.size(); }
    ReplayLane& lane(size_t i) { return *lanes_[i]; }
    uint64_t frame() const { return frame_; }  // ENDUPDATEs so far
    uint64_t calls() const { return calls_; }  // calls so far
    bool exact() const { return (reader_.header().flags & trace::kFlagExact) != 0; }
    trace::TraceReader& reader() { return reader_; }
    Reporter& report() { return report_; }

private:
    bool call(const trace::Record& record, RunEvent& event);
    bool image(const trace::Record& record, RunEvent& event);
    void keepBefore();
    void keepFootprint(const trace::Call& call);
    void warnUnreadable();

    trace::TraceReader& reader_;
    Reporter& report_;
    RunSettings settings_;
    std::vector<std::unique_ptr<ReplayLane>> lanes_;
    trace::Record record_;
    std::vector<uint8_t> before_;
    PixelBox kept_;  // measuring footprints: the box before_ holds, row after row
    CallPlace lastCall_;
    uint64_t frame_ = 0, calls_ = 0, callsInFrame_ = 0;
    bool hasCall_ = false, sawEnd_ = false, stopped_ = false, failed_ = false, rangeDone_ = false;
    bool warnedUnreadable_ = false;
};

}  // namespace velkano::replay
