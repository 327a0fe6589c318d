// triangle_spans_sse2.cpp: the texture and light span kernels with packed arithmetic.
// Texture: four pixels a step, addresses and palette conversion packed, reads scalar.
// Light: one pixel a step, its three channel sums in one register (each lane the same
// binary32 addition as the scalar sum), rounded and packed together; or, for several rows,
// a row per lane, one register per channel.
// Row kernels: the per-row set-up of several rows in lanes.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "pixel/channel_ops.h"
#include "pixel/channel_ops_sse2.h"
#include "pixel/numeric.h"
#include "pixel/numeric_sse2.h"
#include "raster/triangle_spans.h"
#include "texture/texel_fetch_sse2.h"

namespace velkano::sse2 {

void textureSpanSse2(const RenderContext& context, const TextureSpan& span) {
    const TexelQuadSse2 texels(context);
    int32_t uFx = span.uFx, vFx = span.vFx;
    int32_t i = 0;
    if (span.count >= 4) {
        __m128i u = steppedLanes(uFx, span.uStepFx), v = steppedLanes(vFx, span.vStepFx);
        const __m128i uStep4 = _mm_set1_epi32(wrapMul(span.uStepFx, 4));
        const __m128i vStep4 = _mm_set1_epi32(wrapMul(span.vStepFx, 4));
        for (; span.count - i >= 4; i += 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(span.pixels + 4 * static_cast<size_t>(i)), texels(u, v));
            u = _mm_add_epi32(u, uStep4);
            v = _mm_add_epi32(v, vStep4);
        }
        uFx = _mm_cvtsi128_si32(u);
        vFx = _mm_cvtsi128_si32(v);
    }
    if (i < span.count)
        textureSpanScalar(context, TextureSpan{span.pixels + 4 * static_cast<size_t>(i), span.count - i, uFx, vFx,
                                               span.uStepFx, span.vStepFx});
}

namespace {

constexpr int32_t kOpaque = static_cast<int32_t>(0xFF000000u);

// (right - left) / pixels per lane, in double, rounded once to binary32.
__m128 stepOverSse2(__m128 left, __m128 right, __m128i pixels) {
    const auto quotient = [](__m128 l, __m128 r, __m128i p) {
        return _mm_cvtpd_ps(_mm_div_pd(_mm_sub_pd(_mm_cvtps_pd(r), _mm_cvtps_pd(l)), _mm_cvtepi32_pd(p)));
    };
    return _mm_movelh_ps(quotient(left, right, pixels), quotient(_mm_movehl_ps(left, left), _mm_movehl_ps(right, right),
                                                                 _mm_shuffle_epi32(pixels, _MM_SHUFFLE(1, 0, 3, 2))));
}

// The light pixels of four rows at one step, a row per lane, from each channel's four sums.
template <bool Nearest>
__m128i lightPixelsSse2(__m128 red, __m128 green, __m128 blue) {
    const __m128i rg = _mm_or_si128(_mm_slli_epi32(roundHalfEvenToByteSse2<Nearest>(red), 16),
                                    _mm_slli_epi32(roundHalfEvenToByteSse2<Nearest>(green), 8));
    return _mm_or_si128(_mm_or_si128(rg, roundHalfEvenToByteSse2<Nearest>(blue)), _mm_set1_epi32(kOpaque));
}

template <bool Nearest>
void lightSpanSse2Mode(const LightSpan& span) {
    // Lanes blue, green, red, 0: packed to bytes they are the PixelWord.
    __m128 colour = _mm_setr_ps(span.colour[2], span.colour[1], span.colour[0], 0.0f);
    const __m128 step = _mm_setr_ps(span.step[2], span.step[1], span.step[0], 0.0f);
    for (int32_t i = 0; i < span.count; ++i) {
        const __m128i rounded = roundHalfEvenToByteSse2<Nearest>(colour);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(rounded, rounded), rounded);
        storeWord(span.pixels + 4 * static_cast<size_t>(i),
                  0xFF000000u | static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)));
        colour = _mm_add_ps(colour, step);
    }
}

}  // namespace

void lightSpanSse2(const LightSpan& span) {
    roundsToNearest() ? lightSpanSse2Mode<true>(span) : lightSpanSse2Mode<false>(span);
}

namespace {

// The rows' edges and steps four lanes at a time: x sums in order, rounded in lanes, both
// divisions of every row in double lanes; then each row's span.
template <bool Nearest>
void textureRowsSse2Mode(const RenderContext& context, TextureRows& rows) {
    __m128 xNow = _mm_setr_ps(rows.x[0], rows.x[1], 0.0f, 0.0f);
    const __m128 xStep = _mm_setr_ps(rows.xStep[0], rows.xStep[1], 0.0f, 0.0f);
    __m128 x[4];
    for (int32_t r = 0; r < kSpanRows; ++r) {
        x[r] = xNow;
        if (r < rows.count) xNow = _mm_add_ps(xNow, xStep);
    }
    alignas(16) float after[4];
    _mm_store_ps(after, xNow);
    rows.x = {after[0], after[1]};
    const __m128 x01 = _mm_unpacklo_ps(x[0], x[1]), x23 = _mm_unpacklo_ps(x[2], x[3]);  // left, left, right, right
    const __m128i xl = roundHalfEvenToIntSse2<Nearest>(_mm_movelh_ps(x01, x23));
    const __m128i xr = roundHalfEvenToIntSse2<Nearest>(_mm_movehl_ps(x23, x01));
    const __m128i columns = _mm_sub_epi32(xr, xl);
    const __m128i uLeft = steppedLanes(rows.uLeftFx, rows.uLeftStepFx);
    const __m128i vLeft = steppedLanes(rows.vLeftFx, rows.vLeftStepFx);
    const __m128i uStep =
        divideNoTrapSse2(_mm_sub_epi32(steppedLanes(rows.uRightFx, rows.uRightStepFx), uLeft), columns);
    const __m128i vStep =
        divideNoTrapSse2(_mm_sub_epi32(steppedLanes(rows.vRightFx, rows.vRightStepFx), vLeft), columns);
    alignas(16) int32_t left[4], right[4], u[4], v[4], du[4], dv[4];
    const auto store = [](int32_t* to, __m128i lanes) { _mm_store_si128(reinterpret_cast<__m128i*>(to), lanes); };
    store(left, xl), store(right, xr), store(u, uLeft), store(v, vLeft), store(du, uStep), store(dv, vStep);
    textureRowSpans(context, rows, RowLanes{left, right, u, v, du, dv});
}

// The rows' set-up four lanes at a time (t by one binary32 division, which for k and n below
// 2^24 is the double quotient rounded once; the edges' lerps and the steps in double lanes),
// then the spans side by side, a row per lane: each lane makes the same binary32 additions
// in the same order as the one-row kernel. While two rows or more still have pixels, four
// steps at a time are transposed so each row takes four pixels in one store; the last row
// finishes alone from the sums its lane holds.
template <bool Nearest>
void lightRowsSse2Mode(LightRows& rows) {
    // Edge colours of each row, then lanes = rows: one register per edge channel.
    __m128 left[4], right[4];
    __m128 leftNow = _mm_setr_ps(rows.colour[0], rows.colour[1], rows.colour[2], 0.0f);
    __m128 rightNow = _mm_setr_ps(rows.colour[3], rows.colour[4], rows.colour[5], 0.0f);
    const __m128 leftStep = _mm_setr_ps(rows.colourStep[0], rows.colourStep[1], rows.colourStep[2], 0.0f);
    const __m128 rightStep = _mm_setr_ps(rows.colourStep[3], rows.colourStep[4], rows.colourStep[5], 0.0f);
    for (int32_t r = 0; r < kSpanRows; ++r) {
        left[r] = leftNow, right[r] = rightNow;
        if (r < rows.count) leftNow = _mm_add_ps(leftNow, leftStep), rightNow = _mm_add_ps(rightNow, rightStep);
    }
    alignas(16) float after[8];
    _mm_store_ps(after, leftNow), _mm_store_ps(after + 4, rightNow);
    for (size_t c = 0; c < 3; ++c) rows.colour[c] = after[c], rows.colour[c + 3] = after[c + 4];
    _MM_TRANSPOSE4_PS(left[0], left[1], left[2], left[3]);
    _MM_TRANSPOSE4_PS(right[0], right[1], right[2], right[3]);

    // Columns: t = k / n, the edges' x rounded and kept to the image.
    const __m128i k = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(rows.firstK)), _mm_setr_epi32(0, 1, 2, 3));
    const __m128 t = _mm_div_ps(_mm_cvtepi32_ps(k), _mm_set1_ps(static_cast<float>(rows.n)));
    const __m128i xl =
        maxEpi32(roundHalfEvenToIntSse2<Nearest>(lerpFloatSse2(rows.apexX, rows.end1X, t)), _mm_setzero_si128());
    const __m128i xr = minEpi32(roundHalfEvenToIntSse2<Nearest>(lerpFloatSse2(rows.apexX, rows.end2X, t)),
                                _mm_set1_epi32(rows.widthPx - 1));
    const __m128i lanes = _mm_cmplt_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(rows.count));
    const __m128i drawn = _mm_andnot_si128(_mm_cmplt_epi32(xr, xl), lanes);
    // Rows that draw nothing divide by 1, not by a count of 0 or less.
    const __m128i one = _mm_set1_epi32(1);
    const __m128i pixels =
        _mm_or_si128(_mm_and_si128(drawn, _mm_add_epi32(_mm_sub_epi32(xr, xl), one)), _mm_andnot_si128(drawn, one));
    __m128 red = left[0], green = left[1], blue = left[2];
    const __m128 redStep = stepOverSse2(left[0], right[0], pixels);
    const __m128 greenStep = stepOverSse2(left[1], right[1], pixels);
    const __m128 blueStep = stepOverSse2(left[2], right[2], pixels);

    alignas(16) int32_t start[4], count[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(start), xl);
    _mm_store_si128(reinterpret_cast<__m128i*>(count), _mm_and_si128(drawn, pixels));
    uint8_t* at[4] = {};
    int32_t active = 0;  // one bit per row that still has pixels
    for (int32_t r = 0; r < kSpanRows; ++r)
        if (count[r] > 0) at[r] = rows.rows[r] + 4 * static_cast<size_t>(start[r]), active |= 1 << r;

    const auto next = [&]() {
        const __m128i pixelsNow = lightPixelsSse2<Nearest>(red, green, blue);
        red = _mm_add_ps(red, redStep), green = _mm_add_ps(green, greenStep), blue = _mm_add_ps(blue, blueStep);
        return pixelsNow;
    };
    const auto fourPixels = [&](int32_t i, int32_t active) {
        const __m128i p0 = next(), p1 = next(), p2 = next(), p3 = next();
        const __m128i low01 = _mm_unpacklo_epi32(p0, p1), low23 = _mm_unpacklo_epi32(p2, p3);
        const __m128i high01 = _mm_unpackhi_epi32(p0, p1), high23 = _mm_unpackhi_epi32(p2, p3);
        const __m128i byRow[4] = {_mm_unpacklo_epi64(low01, low23), _mm_unpackhi_epi64(low01, low23),
                                  _mm_unpacklo_epi64(high01, high23), _mm_unpackhi_epi64(high01, high23)};
        for (int32_t r = 0; r < kSpanRows; ++r)
            if ((active >> r) & 1)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(at[r] + 4 * static_cast<size_t>(i)), byRow[r]);
    };
    const auto onePixel = [&](int32_t i, int32_t active) {
        alignas(16) uint32_t byRow[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(byRow), next());
        for (int32_t r = 0; r < kSpanRows; ++r)
            if ((active >> r) & 1) storeWord(at[r] + 4 * static_cast<size_t>(i), byRow[r]);
    };
    const int32_t i = lightRowsSideBySide(count, active, fourPixels, onePixel);  // pixels done in every row
    if (active != 0) {
        const int32_t r = std::countr_zero(static_cast<uint32_t>(active));
        alignas(16) float now[3][4], step[3][4];
        _mm_store_ps(now[0], red), _mm_store_ps(now[1], green), _mm_store_ps(now[2], blue);
        _mm_store_ps(step[0], redStep), _mm_store_ps(step[1], greenStep), _mm_store_ps(step[2], blueStep);
        lightSpanSse2Mode<Nearest>(LightSpan{at[r] + 4 * static_cast<size_t>(i),
                                             count[r] - i,
                                             {now[0][r], now[1][r], now[2][r]},
                                             {step[0][r], step[1][r], step[2][r]}});
    }
}

}  // namespace

void textureRowsSse2(const RenderContext& context, TextureRows& rows) {
    roundsToNearest() ? textureRowsSse2Mode<true>(context, rows) : textureRowsSse2Mode<false>(context, rows);
}

void lightRowsSse2(LightRows& rows) {
    roundsToNearest() ? lightRowsSse2Mode<true>(rows) : lightRowsSse2Mode<false>(rows);
}

}  // namespace velkano::sse2
