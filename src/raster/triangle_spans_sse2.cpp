// triangle_spans_sse2.cpp: the texture and light span kernels with packed arithmetic.
// Texture: four pixels a step, addresses and palette conversion packed, reads scalar.
// Light: one pixel a step, its three channel sums in one register (each lane the same
// binary32 addition as the scalar sum), rounded and packed together.
#include <emmintrin.h>

#include <cstddef>

#include "pixel/channel_ops.h"
#include "pixel/channel_ops_sse2.h"
#include "pixel/numeric.h"
#include "raster/triangle_spans.h"
#include "texture/texel_fetch_sse2.h"

namespace velkano {

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

// Four binary32 lanes rounded to nearest, ties to even, and kept to 0..255, whatever the
// rounding mode. Clamping first gives the same bytes as clamping the rounded value (NaN
// becomes 0 either way). Then x - trunc(x) is exact, and a lane rounds up when that exceeds
// 0.5, or reaches it with an odd integer part: a threshold lowered by 2^-25 for odd lanes,
// less than any fraction step of a value of at least 1.
__m128i roundHalfEvenToByteSse2(__m128 x) {
    x = _mm_min_ps(_mm_max_ps(x, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    const __m128i truncated = _mm_cvttps_epi32(x);
    const __m128 fraction = _mm_sub_ps(x, _mm_cvtepi32_ps(truncated));
    const __m128i one = _mm_set1_epi32(1);
    const __m128i odd = _mm_cmpeq_epi32(_mm_and_si128(truncated, one), one);
    const __m128 oddBias = _mm_and_ps(_mm_castsi128_ps(odd), _mm_set1_ps(0x1p-25f));
    const __m128 up = _mm_cmpgt_ps(fraction, _mm_sub_ps(_mm_set1_ps(0.5f), oddBias));
    return _mm_sub_epi32(truncated, _mm_castps_si128(up));  // up is -1 where true
}

}  // namespace

void lightSpanSse2(const LightSpan& span) {
    // Lanes blue, green, red, 0: packed to bytes they are the PixelWord.
    __m128 colour = _mm_setr_ps(span.colour[2], span.colour[1], span.colour[0], 0.0f);
    const __m128 step = _mm_setr_ps(span.step[2], span.step[1], span.step[0], 0.0f);
    for (int32_t i = 0; i < span.count; ++i) {
        const __m128i rounded = roundHalfEvenToByteSse2(colour);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(rounded, rounded), rounded);
        storeWord(span.pixels + 4 * static_cast<size_t>(i),
                  0xFF000000u | static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)));
        colour = _mm_add_ps(colour, step);
    }
}

}  // namespace velkano
