// footprint.h: the pixels of the image a call may write, worked out from its arguments and the
// image's geometry alone, without running a library:
//   FLASHADD, FLASHSUB  every drawable pixel whose word lies in the first 8 * floor(size / 8)
//                       bytes of the pitch * height block (an odd last word keeps its value)
//   FLASHMOD            every drawable pixel
//   DRAWTILE            columns round(x) to round(x + w), rows round(y) to round(y + h), both ends
//                       included, clipped to the image (empty for a negative size, NaN, or a
//                       position beyond +-2^20): exactly the pixels the tile writes
//   DRAWTRI, DRAWPERSPTRI  the triangle's bounding box: rows floor(min y) to ceil(max y),
//                       columns floor(min x) - 1 to ceil(max x) + 1 (the edges are float sums
//                       from the apex, which can land a column further), every column when a
//                       vertex lies more than 1024 pixels outside the image (they stray further),
//                       clipped to the image; empty at NaN or beyond +-2^20. Every pixel the
//                       triangle writes lies inside it; not every pixel inside it is written.
// The bindings are not looked at: a call that draws nothing for want of a usable texture still
// covers its area. "Drawable" is the image's width limited to pitch / 4, by its height.
#pragma once

#include <cstdint>

#include "replay_run.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

struct Footprint {
    enum class Kind { None, Area, Box };  // Area: the pixels it writes; Box: a bound on them
    Kind kind = Kind::None;
    PixelBox box;
    // Flashes: pixels whose word ends beyond this byte of the block are left alone.
    uint64_t blockBytes = UINT64_MAX;
    int32_t pitch = 0;

    bool contains(int32_t x, int32_t y) const {
        return kind != Kind::None && box.contains(x, y) &&
               static_cast<uint64_t>(y) * static_cast<uint64_t>(pitch) + 4 * static_cast<uint64_t>(x) + 4 <= blockBytes;
    }
};

// The parts, on an image of `width` x `height` drawable pixels.
PixelBox tileBox(float x, float y, float w, float h, int32_t width, int32_t height);
PixelBox triangleBox(const float positions[6], int32_t width, int32_t height);
Footprint flashFootprint(trace::EntryPoint entry, const TargetImage& image);

// The footprint of `call` on `image`; None for the calls that never write the image. The
// triangles' positions are read from the trace (zeros where the recording could not read them).
Footprint callFootprint(const trace::Call& call, const TargetImage& image, trace::TraceReader& reader);

}  // namespace velkano::replay
