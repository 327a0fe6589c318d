// triangle_spans.h: the row kernels both triangle pipelines fill their layers with: texels
// along a straight line through the texture, and light colours as binary32 sums.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "context/kernel_table.h"
#include "context/render_context.h"
#include "pixel/instruction_set.h"
#include "pixel/numeric.h"

namespace velkano {

// A texture span: pixel i takes the texel at column (u + i du) >> 10 and row
// (v + i dv) >> 10 (wrapping sums, unsigned shifts) of the bound texture.
struct TextureSpan {
    uint8_t* pixels;
    int32_t count;
    int32_t uFx, vFx;
    int32_t uStepFx, vStepFx;
};
void textureSpanScalar(const RenderContext& context, const TextureSpan& span);

// A light span: pixel i is 0xFF000000 | red << 16 | green << 8 | blue, each channel its
// running binary32 sum (red, green, blue) rounded to nearest, ties to even, and kept to 0..255.
struct LightSpan {
    uint8_t* pixels;
    int32_t count;
    std::array<float, 3> colour;
    std::array<float, 3> step;
};
void lightSpanScalar(const LightSpan& span);

// Rows a triangle half hands to its row kernels at once.
constexpr int32_t kSpanRows = 4;

// Consecutive rows of a texture half (count 1 to kSpanRows), from the edges at the first row:
// xl = round(x[0]), xr = round(x[1]); when xr > xl, du = (uRight - uLeft) / (xr - xl) and dv
// likewise (divideNoTrap), and `span` writes columns xl to xr, kept to 0 to widthPx - 1, from
// (uLeft, vLeft) on. The edges then step on (22.10 wrapping adds, x binary32 sums); the
// kernel leaves them at the row after the last. The packed kernel sets the rows up side by
// side: a truncated double quotient of 32-bit integers is their truncating division.
struct TextureRows {
    uint8_t* rows[kSpanRows];  // pixel 0 of each row in the texture layer
    int32_t count;
    int32_t widthPx;
    KernelSlot<TextureSpanKernel, TextureFits> span;
    std::array<float, 2> x, xStep;
    int32_t uLeftFx, vLeftFx, uRightFx, vRightFx;
    int32_t uLeftStepFx, vLeftStepFx, uRightStepFx, vRightStepFx;
};
void textureRowsScalar(const RenderContext& context, TextureRows& rows);
// The span of row r of `rows` between xl and xr (xr > xl), with the left edge's coordinates
// and the row's steps: the part that both kernels share.
VELKANO_HELPERS_BEGIN
inline void textureRowSpan(const RenderContext& context, const TextureRows& rows, int32_t r, int32_t xl, int32_t xr,
                           const int32_t (&leftFx)[2], const int32_t (&stepFx)[2]) {
    const int32_t left = std::max(xl, 0), right = std::min(xr, rows.widthPx - 1);
    if (left > right) return;
    const int64_t skipped = static_cast<int64_t>(left) - xl;
    rows.span(context, TextureSpan{rows.rows[r] + 4 * static_cast<size_t>(left), right - left + 1,
                                   wrapAdvance(leftFx[0], stepFx[0], skipped),
                                   wrapAdvance(leftFx[1], stepFx[1], skipped), stepFx[0], stepFx[1]});
}
// The packed kernels' end: each row's span from the set-up they made in lanes (a row per
// lane: xl, xr, the left edge's u and v, du and dv), then the edges stepped past the rows.
struct RowLanes {
    const int32_t (&left)[kSpanRows], (&right)[kSpanRows], (&u)[kSpanRows], (&v)[kSpanRows];
    const int32_t (&du)[kSpanRows], (&dv)[kSpanRows];
};
inline void textureRowSpans(const RenderContext& context, TextureRows& rows, const RowLanes& lanes) {
    for (int32_t r = 0; r < rows.count; ++r)
        if (lanes.right[r] > lanes.left[r])
            textureRowSpan(context, rows, r, lanes.left[r], lanes.right[r], {lanes.u[r], lanes.v[r]},
                           {lanes.du[r], lanes.dv[r]});
    rows.uLeftFx = wrapAdvance(rows.uLeftFx, rows.uLeftStepFx, rows.count);
    rows.vLeftFx = wrapAdvance(rows.vLeftFx, rows.vLeftStepFx, rows.count);
    rows.uRightFx = wrapAdvance(rows.uRightFx, rows.uRightStepFx, rows.count);
    rows.vRightFx = wrapAdvance(rows.vRightFx, rows.vRightStepFx, rows.count);
}
VELKANO_HELPERS_END

// Consecutive rows of a light half, steps k = firstK to firstK + count - 1 of its walk (count
// 1 to kSpanRows). Row k: t = k / n as binary32; xl = round(lerpFloat(apexX, end1X, t)) kept to
// 0 or more, xr = round(lerpFloat(apexX, end2X, t)) kept to widthPx - 1 or less; when xr >= xl,
// the light span of columns xl to xr starting at the edge colours, step (right - left) /
// (xr - xl + 1) in double, rounded to binary32. The edge colours (red, green, blue of the left
// edge, then of the right) then step on, a binary32 sum per row; the kernel leaves them at the
// row after the last. The packed kernel works the rows side by side.
struct LightRows {
    uint8_t* rows[kSpanRows];  // pixel 0 of each row in the light layer
    int32_t count;
    int64_t firstK;
    int64_t n;  // the packed kernel: at most kPackedLightRowsMax
    int32_t widthPx;
    float apexX, end1X, end2X;
    std::array<float, 6> colour;
    std::array<float, 6> colourStep;
};
void lightRowsScalar(LightRows& rows);
// The packed kernel divides k by n in binary32 lanes, exact as the double quotient rounded
// once only while n is at most 2^24 (the far limit keeps DRAWTRI's halves far below that).
constexpr int64_t kPackedLightRowsMax = int64_t{1} << 24;
inline bool LightRowsFit::check(const LightRows& rows) { return rows.n <= kPackedLightRowsMax; }
// The packed kernels' walk of light rows side by side, a row per lane, `count` pixels each:
// while two rows or more still have pixels, `four(i, active)` writes pixels i to i + 3 and
// `one(i, active)` pixel i of the rows whose bit is set in `active`, each call taking every
// lane one step on per pixel. Returns the pixels done in every row; `active` then holds at
// most one row, the one left to finish.
VELKANO_HELPERS_BEGIN
template <typename Four, typename One>
int32_t lightRowsSideBySide(const int32_t (&count)[kSpanRows], int32_t& active, Four four, One one) {
    int32_t i = 0;
    while ((active & (active - 1)) != 0) {
        int32_t common = INT32_MAX;
        for (int32_t r = 0; r < kSpanRows; ++r)
            if ((active >> r) & 1) common = std::min(common, count[r]);
        for (; common - i >= 4; i += 4) four(i, active);
        for (; i < common; ++i) one(i, active);
        for (int32_t r = 0; r < kSpanRows; ++r)
            if (count[r] == common) active &= ~(1 << r);
    }
    return i;
}
VELKANO_HELPERS_END

namespace sse2 {
void textureSpanSse2(const RenderContext& context, const TextureSpan& span);
void lightSpanSse2(const LightSpan& span);
void textureRowsSse2(const RenderContext& context, TextureRows& rows);
void lightRowsSse2(LightRows& rows);
}  // namespace sse2
namespace avx2 {
void textureSpanAvx2(const RenderContext& context, const TextureSpan& span);
}
namespace neon {
void textureSpanNeon(const RenderContext& context, const TextureSpan& span);
void lightSpanNeon(const LightSpan& span);
void textureRowsNeon(const RenderContext& context, TextureRows& rows);
void lightRowsNeon(LightRows& rows);
}  // namespace neon

}  // namespace velkano
