// triangle_spans_avx2.cpp: the texture span kernel eight pixels a step: coordinates,
// addresses and palette conversion packed, reads scalar. The last pixels of a span, fewer
// than eight, are fetched as a whole step (every lane's coordinates address a texel inside
// the texture, in the span or not) and only the span's lanes are stored.
#include <immintrin.h>

#include <cstddef>

#include "raster/triangle_spans.h"
#include "texture/texel_fetch_avx2.h"

namespace velkano::avx2 {

void textureSpanAvx2(const RenderContext& context, const TextureSpan& span) {
    const TexelOctAvx2 texels(context);
    __m256i u = steppedLanes8(span.uFx, span.uStepFx), v = steppedLanes8(span.vFx, span.vStepFx);
    const __m256i uStep8 = eightSteps(span.uStepFx), vStep8 = eightSteps(span.vStepFx);
    int32_t i = 0;
    for (; span.count - i >= 8; i += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(span.pixels + 4 * static_cast<size_t>(i)), texels(u, v));
        u = _mm256_add_epi32(u, uStep8);
        v = _mm256_add_epi32(v, vStep8);
    }
    if (i < span.count) {
        const __m256i inSpan =
            _mm256_cmpgt_epi32(_mm256_set1_epi32(span.count - i), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        _mm256_maskstore_epi32(reinterpret_cast<int*>(span.pixels + 4 * static_cast<size_t>(i)), inSpan, texels(u, v));
    }
}

}  // namespace velkano::avx2
