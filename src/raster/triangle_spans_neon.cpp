// triangle_spans_neon.cpp: the texture and light span kernels with NEON.
// Texture: four pixels a step, addresses and palette conversion packed, reads scalar.
// Light: one pixel a step, its three channel sums in one register (each lane the same
// binary32 addition as the scalar sum), four pixels narrowed to bytes and stored together;
// or, for several rows, a row per lane, one register per channel.
// Row kernels: the per-row set-up of several rows in lanes.
// The conversions to integers round to nearest, ties to even, whatever the thread's mode;
// the sums, quotients and narrowings to binary32 round in the thread's mode, as the scalar ones.
#include <arm_neon.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "pixel/numeric_neon.h"
#include "raster/triangle_spans.h"
#include "texture/texel_fetch_neon.h"

namespace velkano::neon {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

// a - b + extra in each lane, wrapping.
int32x4_t wrapSubNeon(int32x4_t a, int32x4_t b, uint32_t extra = 0) {
    const uint32x4_t difference = vsubq_u32(vreinterpretq_u32_s32(a), vreinterpretq_u32_s32(b));
    return vreinterpretq_s32_u32(vaddq_u32(difference, vdupq_n_u32(extra)));
}

// Four rows of four words become four columns.
void transposeNeon(uint32x4_t (&m)[4]) {
    const uint32x4_t t0 = vtrn1q_u32(m[0], m[1]), t1 = vtrn2q_u32(m[0], m[1]);
    const uint32x4_t t2 = vtrn1q_u32(m[2], m[3]), t3 = vtrn2q_u32(m[2], m[3]);
    const auto low = [](uint32x4_t a, uint32x4_t b) {
        return vreinterpretq_u32_u64(vtrn1q_u64(vreinterpretq_u64_u32(a), vreinterpretq_u64_u32(b)));
    };
    const auto high = [](uint32x4_t a, uint32x4_t b) {
        return vreinterpretq_u32_u64(vtrn2q_u64(vreinterpretq_u64_u32(a), vreinterpretq_u64_u32(b)));
    };
    m[0] = low(t0, t2), m[1] = low(t1, t3), m[2] = high(t0, t2), m[3] = high(t1, t3);
}

// Light channels rounded to nearest, ties to even, and kept to 0..255: the unsigned
// conversion takes negatives and NaN to 0, the minimum keeps 255 (docs/numerics.md, ARM64,
// for values from 2^31 up).
uint32x4_t lightByteLanesNeon(float32x4_t channels) { return vminq_u32(vcvtnq_u32_f32(channels), vdupq_n_u32(255)); }
// The same as 16-bit lanes.
uint16x4_t lightBytesNeon(float32x4_t channels) { return vmovn_u32(lightByteLanesNeon(channels)); }

// The light span with the channel sums in lanes blue, green, red, 0: packed to bytes they
// are the PixelWord.
void lightSpanLanes(uint8_t* pixels, int32_t count, float32x4_t colour, float32x4_t step) {
    const uint8x16_t opaque = vreinterpretq_u8_u32(vdupq_n_u32(kOpaque));
    const auto next = [&] {
        const uint16x4_t bytes = lightBytesNeon(colour);
        colour = vaddq_f32(colour, step);
        return bytes;
    };
    int32_t i = 0;
    for (; count - i >= 4; i += 4) {
        const uint16x4_t p0 = next(), p1 = next(), p2 = next(), p3 = next();
        const uint8x16_t bytes = vcombine_u8(vqmovn_u16(vcombine_u16(p0, p1)), vqmovn_u16(vcombine_u16(p2, p3)));
        vst1q_u8(pixels + 4 * static_cast<size_t>(i), vorrq_u8(bytes, opaque));
    }
    for (; i < count; ++i) {
        const uint16x4_t pixel = next();
        const uint8x8_t bytes = vqmovn_u16(vcombine_u16(pixel, pixel));
        storeWord(pixels + 4 * static_cast<size_t>(i), kOpaque | vget_lane_u32(vreinterpret_u32_u8(bytes), 0));
    }
}

// (right - left) / pixels per lane, in double, rounded once to binary32.
float32x4_t stepOverNeon(float32x4_t left, float32x4_t right, int32x4_t pixels) {
    const auto quotient = [](float64x2_t l, float64x2_t r, int32x2_t p) {
        return vdivq_f64(vsubq_f64(r, l), vcvtq_f64_s64(vmovl_s32(p)));
    };
    const float32x2_t low = vcvt_f32_f64(
        quotient(vcvt_f64_f32(vget_low_f32(left)), vcvt_f64_f32(vget_low_f32(right)), vget_low_s32(pixels)));
    return vcvt_high_f32_f64(low, quotient(vcvt_high_f64_f32(left), vcvt_high_f64_f32(right), vget_high_s32(pixels)));
}

// The light pixels of four rows at one step, a row per lane, from each channel's four sums.
uint32x4_t lightPixelsNeon(float32x4_t red, float32x4_t green, float32x4_t blue) {
    const uint32x4_t greenBlue = vsliq_n_u32(lightByteLanesNeon(blue), lightByteLanesNeon(green), 8);
    return vorrq_u32(vsliq_n_u32(greenBlue, lightByteLanesNeon(red), 16), vdupq_n_u32(kOpaque));
}

}  // namespace

void textureSpanNeon(const RenderContext& context, const TextureSpan& span) {
    const auto fourSteps = [](int32_t step) { return vdupq_n_u32(static_cast<uint32_t>(wrapMul(step, 4))); };
    fetchRunNeon(span.pixels, span.count, TexelQuadNeon(context), steppedLanes(span.uFx, span.uStepFx),
                 steppedLanes(span.vFx, span.vStepFx), fourSteps(span.uStepFx), fourSteps(span.vStepFx));
}

void lightSpanNeon(const LightSpan& span) {
    lightSpanLanes(span.pixels, span.count, float32x4_t{span.colour[2], span.colour[1], span.colour[0], 0.0f},
                   float32x4_t{span.step[2], span.step[1], span.step[0], 0.0f});
}

// The rows' edges and steps four lanes at a time: x sums in order, rounded in lanes, both
// divisions of every row in double lanes; then each row's span.
void textureRowsNeon(const RenderContext& context, TextureRows& rows) {
    float32x2_t xNow = vld1_f32(rows.x.data());
    const float32x2_t xStep = vld1_f32(rows.xStep.data());
    float32x2_t x[kSpanRows];
    for (int32_t r = 0; r < kSpanRows; ++r) {
        x[r] = xNow;
        if (r < rows.count) xNow = vadd_f32(xNow, xStep);
    }
    vst1_f32(rows.x.data(), xNow);
    const float32x4_t x01 = vcombine_f32(x[0], x[1]), x23 = vcombine_f32(x[2], x[3]);  // left, right, left, right
    const int32x4_t xl = roundHalfEvenToIntNeon(vuzp1q_f32(x01, x23));
    const int32x4_t xr = roundHalfEvenToIntNeon(vuzp2q_f32(x01, x23));
    const int32x4_t columns = wrapSubNeon(xr, xl);
    const auto leftAndStep = [&](int32_t left, int32_t leftStep, int32_t right, int32_t rightStep) {
        const uint32x4_t leftLanes = steppedLanes(left, leftStep);
        const uint32x4_t difference = vsubq_u32(steppedLanes(right, rightStep), leftLanes);
        return std::pair{vreinterpretq_s32_u32(leftLanes),
                         divideNoTrapNeon(vreinterpretq_s32_u32(difference), columns)};
    };
    const auto [uLeft, uStep] = leftAndStep(rows.uLeftFx, rows.uLeftStepFx, rows.uRightFx, rows.uRightStepFx);
    const auto [vLeft, vStep] = leftAndStep(rows.vLeftFx, rows.vLeftStepFx, rows.vRightFx, rows.vRightStepFx);
    int32_t left[4], right[4], u[4], v[4], du[4], dv[4];
    vst1q_s32(left, xl), vst1q_s32(right, xr), vst1q_s32(u, uLeft), vst1q_s32(v, vLeft);
    vst1q_s32(du, uStep), vst1q_s32(dv, vStep);
    textureRowSpans(context, rows, RowLanes{left, right, u, v, du, dv});
}

// The rows' set-up four lanes at a time (t by one binary32 division, which for k and n below
// 2^24 is the double quotient rounded once; the edges' lerps and the steps in double lanes),
// then the spans side by side, a row per lane: each lane makes the same binary32 additions
// in the same order as the one-row kernel. While two rows or more still have pixels, four
// steps at a time are transposed so each row takes four pixels in one store; the last row
// finishes alone from the sums its lane holds.
void lightRowsNeon(LightRows& rows) {
    // Edge colours of each row (red, green, blue, 0), then lanes = rows: one register per
    // edge channel.
    uint32x4_t left[kSpanRows], right[kSpanRows];
    float32x4_t leftNow = {rows.colour[0], rows.colour[1], rows.colour[2], 0.0f};
    float32x4_t rightNow = {rows.colour[3], rows.colour[4], rows.colour[5], 0.0f};
    const float32x4_t leftStep = {rows.colourStep[0], rows.colourStep[1], rows.colourStep[2], 0.0f};
    const float32x4_t rightStep = {rows.colourStep[3], rows.colourStep[4], rows.colourStep[5], 0.0f};
    for (int32_t r = 0; r < kSpanRows; ++r) {
        left[r] = vreinterpretq_u32_f32(leftNow), right[r] = vreinterpretq_u32_f32(rightNow);
        if (r < rows.count) leftNow = vaddq_f32(leftNow, leftStep), rightNow = vaddq_f32(rightNow, rightStep);
    }
    for (size_t c = 0; c < 3; ++c) rows.colour[c] = leftNow[c], rows.colour[c + 3] = rightNow[c];
    transposeNeon(left);
    transposeNeon(right);
    const auto channel = [](const uint32x4_t(&m)[kSpanRows], int c) { return vreinterpretq_f32_u32(m[c]); };

    // Columns: t = k / n, the edges' x rounded and kept to the image.
    const int32x4_t lane = {0, 1, 2, 3};
    const int32x4_t k = vaddq_s32(vdupq_n_s32(static_cast<int32_t>(rows.firstK)), lane);
    const float32x4_t t = vdivq_f32(vcvtq_f32_s32(k), vdupq_n_f32(static_cast<float>(rows.n)));
    const int32x4_t xl = vmaxq_s32(roundHalfEvenToIntNeon(lerpFloatNeon(rows.apexX, rows.end1X, t)), vdupq_n_s32(0));
    const int32x4_t xr =
        vminq_s32(roundHalfEvenToIntNeon(lerpFloatNeon(rows.apexX, rows.end2X, t)), vdupq_n_s32(rows.widthPx - 1));
    const uint32x4_t drawn = vandq_u32(vcgeq_s32(xr, xl), vcltq_s32(lane, vdupq_n_s32(rows.count)));
    // Rows that draw nothing divide by 1, not by a count of 0 or less.
    const int32x4_t one = vdupq_n_s32(1);
    const int32x4_t pixels = vbslq_s32(drawn, wrapSubNeon(xr, xl, 1), one);
    float32x4_t red = channel(left, 0), green = channel(left, 1), blue = channel(left, 2);
    const float32x4_t redStep = stepOverNeon(red, channel(right, 0), pixels);
    const float32x4_t greenStep = stepOverNeon(green, channel(right, 1), pixels);
    const float32x4_t blueStep = stepOverNeon(blue, channel(right, 2), pixels);

    int32_t start[4], count[4];
    vst1q_s32(start, xl);
    vst1q_s32(count, vandq_s32(vreinterpretq_s32_u32(drawn), pixels));
    uint8_t* at[kSpanRows] = {};
    int32_t active = 0;  // one bit per row that still has pixels
    for (int32_t r = 0; r < kSpanRows; ++r)
        if (count[r] > 0) at[r] = rows.rows[r] + 4 * static_cast<size_t>(start[r]), active |= 1 << r;

    const auto next = [&]() {
        const uint32x4_t pixelsNow = lightPixelsNeon(red, green, blue);
        red = vaddq_f32(red, redStep), green = vaddq_f32(green, greenStep), blue = vaddq_f32(blue, blueStep);
        return pixelsNow;
    };
    const auto fourPixels = [&](int32_t i, int32_t active) {
        uint32x4_t byRow[4] = {next(), next(), next(), next()};
        transposeNeon(byRow);
        for (int32_t r = 0; r < kSpanRows; ++r)
            if ((active >> r) & 1) vst1q_u8(at[r] + 4 * static_cast<size_t>(i), vreinterpretq_u8_u32(byRow[r]));
    };
    const auto onePixel = [&](int32_t i, int32_t active) {
        uint32_t byRow[4];
        vst1q_u32(byRow, next());
        for (int32_t r = 0; r < kSpanRows; ++r)
            if ((active >> r) & 1) storeWord(at[r] + 4 * static_cast<size_t>(i), byRow[r]);
    };
    const int32_t i = lightRowsSideBySide(count, active, fourPixels, onePixel);  // pixels done in every row
    if (active != 0) {
        // The last row's sums and steps as lanes blue, green, red, 0.
        const int32_t r = std::countr_zero(static_cast<uint32_t>(active));
        const auto laneOf = [r](float32x4_t redLanes, float32x4_t greenLanes, float32x4_t blueLanes) {
            return float32x4_t{blueLanes[r], greenLanes[r], redLanes[r], 0.0f};
        };
        lightSpanLanes(at[r] + 4 * static_cast<size_t>(i), count[r] - i, laneOf(red, green, blue),
                       laneOf(redStep, greenStep, blueStep));
    }
}

}  // namespace velkano::neon
