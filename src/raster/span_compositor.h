// span_compositor.h: the last stage of both triangle pipelines. A SpanRegion, a trapezoid
// with horizontal top and bottom, is walked row by row with 22.10 fixed-point edges, and each
// pixel of a source image is combined into the destination image at the same position by a
// CompositeMode. Both images are laid out like the target (its pitch, its rows).
//
// Row y (top <= y < bottom) covers columns xl to xr - 1, where xl and xr are the edges
// floored to whole pixels: the right column and row `bottom` are left out. Rows outside the
// image are skipped and spans are clipped to its columns; every pixel inside the image takes
// exactly the value the whole walk gives it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "context/kernel_table.h"
#include "context/render_context.h"
#include "pixel/instruction_set.h"
#include "pixel/numeric.h"

namespace velkano {

struct SpanRegion {
    int32_t top;
    int32_t bottom;  // not composited
    int32_t topLeftX;
    int32_t topRightX;
    int32_t bottomLeftX;
    int32_t bottomRightX;
};

// How a source pixel s is combined into the destination pixel d, per byte lane unless
// stated: the triangles' reading of the bound blend mode (the host's int32_t), passed as it
// is; 5 and every value not named here write nothing. Mode 1 replaces like mode 0 (the tiles
// read it otherwise: TileMode::ReplaceUnlessIndexZero), and mode 3 doubles its product
// (TileMode::ModulateTarget does not).
enum class CompositeMode : int32_t {
    Replace = 0,      // d = s
    ReplaceAlso = 1,  // d = s, as mode 0
    AddSat = 2,       // d = min(255, s + d)
    Modulate2x = 3,   // m = min(255, (s * d) >> 7); d = min(255, 2m)
    Multiply2x = 4,   // m = (s * d) >> 8;           d = min(255, 2m)
    // d = the destination pixel at column (x + (s.byte0 >> 2)) mod width and row
    // (y + (s.byte1 >> 2)) mod height, as the destination holds it at that moment
    Displace = 6,
};

// Orders a region in place: top <= bottom (the x pairs travel with their rows), then each
// row's left x <= right x.
void normaliseSpanRegion(SpanRegion& region);

// The per-row step of an edge from topX to bottomX over `rows` rows (not 0), in 22.10: the
// quotient in double, floored after scaling (-0.3 px/row steps by -308, not -307).
VELKANO_HELPERS_BEGIN
inline int32_t edgeStepFx(int32_t topX, int32_t bottomX, double rows) {
    return floorToFx((static_cast<double>(bottomX) - static_cast<double>(topX)) / rows);
}
VELKANO_HELPERS_END

// Combines `source` into `destination` over the region. A region with top == bottom is left
// as passed and nothing is written; any other is normalised in place first.
void compositeSpans(const RenderContext& context, uint8_t* destination, const uint8_t* source, SpanRegion& region,
                    CompositeMode mode);

// A region's rows inside the image, firstRow to lastRow, with its edges at firstRow.
struct SpanWalk {
    int32_t firstRow;
    int32_t lastRow;
    int32_t leftFx;
    int32_t rightFx;
    int32_t leftStepFx;
    int32_t rightStepFx;
};

// The walk of a region (normalised in place first) over the image's rows, or false when none
// of its rows lies there.
bool spanWalk(const RenderContext& context, SpanRegion& region, SpanWalk& walk);
// `walk` restricted to rows `from` to `to` (in either order), its edges stepped on to the
// first of them; false when none of them is a row of the walk.
bool spanWalkRows(const SpanWalk& walk, int32_t from, int32_t to, SpanWalk& part);

// Calls span(y, x, count) for each row of the walk whose span, columns floor(left) to
// floor(right) - 1 clipped to 0 to widthPx - 1, is not empty. Edges step by wrapping adds.
VELKANO_HELPERS_BEGIN
template <typename Span>
inline void forEachSpan(const SpanWalk& walk, int32_t widthPx, Span span) {
    int32_t leftFx = walk.leftFx, rightFx = walk.rightFx;
    for (int32_t y = walk.firstRow; y <= walk.lastRow; ++y) {
        const int32_t left = std::max(shiftRightArithmetic(leftFx, kFixedShift), 0);
        const int32_t right = std::min(shiftRightArithmetic(rightFx, kFixedShift), widthPx);
        if (right > left) span(y, left, right - left);
        leftFx = wrapAdd(leftFx, walk.leftStepFx);
        rightFx = wrapAdd(rightFx, walk.rightStepFx);
    }
}
VELKANO_HELPERS_END

// The images a walk combines; width is the drawable width. A lit kernel takes its source
// pixel s from `lit` and l from `light` at the same place, first makes s lit (mode 3:
// min(255, 2 min(255, (s * l) >> 7)) per lane) and writes it back to `lit`, then combines it.
struct SpanImages {
    uint8_t* destination;
    const uint8_t* source;
    size_t pitch;
    int32_t width;
    int32_t height;
    uint8_t* lit = nullptr;
    const uint8_t* light = nullptr;
};
VELKANO_HELPERS_BEGIN
// Calls row(destination, lit, source, light, count) with the addresses of each span of the
// walk: a lit kernel reads its source from the lit image, which it writes back; a plain one
// gets null for lit and light.
template <bool Lit, typename Row>
inline void forEachSpanRow(const SpanImages& images, const SpanWalk& walk, Row row) {
    forEachSpan(walk, images.width, [&](int32_t y, int32_t x, int32_t count) {
        const size_t offset = pixelOffset(images.pitch, x, y);
        if constexpr (Lit)
            row(images.destination + offset, images.lit + offset, images.lit + offset, images.light + offset, count);
        else row(images.destination + offset, nullptr, images.source + offset, nullptr, count);
    });
}
VELKANO_HELPERS_END
// The kernels of each level, by host blend mode (SpanKernels in context/kernel_table.h). A
// multiply-lit kernel's light step is mode 4 (min(255, 2 ((s * l) >> 8)) per lane) instead of
// 3: compositeSpans(lit, light, Multiply2x) and then the mode, a row at a time (DRAWTRI).
// Displace is scalar at every level: each pixel may read one that an earlier pixel of the
// same call wrote.
extern const SpanKernels spanKernelsScalar;
namespace sse2 {
extern const SpanKernels spanKernelsSse2;
}
namespace avx2 {
extern const SpanKernels spanKernelsAvx2;
}
namespace neon {
extern const SpanKernels spanKernelsNeon;
}

VELKANO_HELPERS_BEGIN
// A level's kernels, Kernel<Mode, Lit, Light>::run for each of `Modes`, by host blend mode.
// Here, and only here, the host's number becomes an operation: mode 1 replaces as mode 0 does;
// 5 and the modes not in `Modes` stay null.
template <template <CompositeMode, bool, CompositeMode> class Kernel, CompositeMode... Modes>
constexpr SpanKernels spanKernelsOf() {
    SpanKernels set{};
    const auto add = [&set]<CompositeMode Mode>() {
        const auto at = static_cast<size_t>(Mode);
        set.plain[at] = Kernel<Mode, false, CompositeMode::Modulate2x>::run;
        set.lit[at] = Kernel<Mode, true, CompositeMode::Modulate2x>::run;
        set.multiplyLit[at] = Kernel<Mode, true, CompositeMode::Multiply2x>::run;
    };
    (add.template operator()<Modes>(), ...);
    constexpr auto replace = static_cast<size_t>(CompositeMode::Replace);
    constexpr auto alsoReplace = static_cast<size_t>(CompositeMode::ReplaceAlso);
    for (const auto byMode : {&SpanKernels::plain, &SpanKernels::lit, &SpanKernels::multiplyLit})
        (set.*byMode)[alsoReplace] = (set.*byMode)[replace];
    return set;
}
VELKANO_HELPERS_END

// compositeSpans(texture, light, region, Modulate2x), then compositeSpans(destination, texture,
// region, mode), in one walk: each pixel's texel is lit, written back and combined at once.
// The bytes are the same, since the second step reads the texture only at the pixel it
// writes, and the first step never touches the destination.
void compositeLitSpans(const RenderContext& context, uint8_t* destination, uint8_t* texture, const uint8_t* light,
                       SpanRegion& region, CompositeMode mode);

}  // namespace velkano
