// perspective_triangle_sse2.cpp: the block row kernels with packed arithmetic. A whole block
// is four straight-line steps of four pixels (coordinates and addresses packed, reads
// scalar); a block cut by the image's right edge goes to the span kernels.
#include <emmintrin.h>

#include <cstddef>

#include "pixel/numeric.h"
#include "raster/affine_triangle.h"
#include "raster/perspective_triangle.h"
#include "raster/texel_fetch_sse2.h"

namespace velkano {
namespace {

// Sixteen pixels from `fetch`, coordinates stepped four lanes at a time; `uOffset` and
// `vOffset` are added to each step's coordinates before the fetch.
template <typename Fetch>
inline void wholeBlockSse2(const BlockSpan& block, const Fetch& fetch, __m128i uOffset, __m128i vOffset) {
    __m128i u = steppedLanes(block.uFx, block.uStepFx), v = steppedLanes(block.vFx, block.vStepFx);
    const __m128i uStep4 = _mm_set1_epi32(wrapMul(block.uStepFx, 4));
    const __m128i vStep4 = _mm_set1_epi32(wrapMul(block.vStepFx, 4));
    auto* out = reinterpret_cast<__m128i*>(block.pixels);
    _mm_storeu_si128(out + 0, fetch(_mm_add_epi32(u, uOffset), _mm_add_epi32(v, vOffset)));
    u = _mm_add_epi32(u, uStep4);
    v = _mm_add_epi32(v, vStep4);
    _mm_storeu_si128(out + 1, fetch(_mm_add_epi32(u, uOffset), _mm_add_epi32(v, vOffset)));
    u = _mm_add_epi32(u, uStep4);
    v = _mm_add_epi32(v, vStep4);
    _mm_storeu_si128(out + 2, fetch(_mm_add_epi32(u, uOffset), _mm_add_epi32(v, vOffset)));
    u = _mm_add_epi32(u, uStep4);
    v = _mm_add_epi32(v, vStep4);
    _mm_storeu_si128(out + 3, fetch(_mm_add_epi32(u, uOffset), _mm_add_epi32(v, vOffset)));
}

}  // namespace

void textureBlockRowSse2(const RenderContext& context, const BlockRow& row) {
    const TexelQuadSse2 texels(context);
    const __m128i none = _mm_setzero_si128();
    forEachBlock(row, [&](const BlockSpan& block) {
        if (block.count == kBlockWidth) {
            wholeBlockSse2(block, texels, none, none);
        } else {
            textureSpanSse2(context, TextureSpan{block.pixels, block.count, block.uFx, block.vFx, block.uStepFx, block.vStepFx});
        }
    });
}

void lightmapBlockRowSse2(const RenderContext& context, const BlockRow& row) {
    const LightmapQuadSse2 words(context);
    // Blocks start on even columns, so the lanes' column parities are 0, 1, 0, 1.
    const __m128i uOffset = _mm_setr_epi32(lightmapSampleOffsetU(0, row.y), lightmapSampleOffsetU(1, row.y),
                                           lightmapSampleOffsetU(2, row.y), lightmapSampleOffsetU(3, row.y));
    const __m128i vOffset = _mm_setr_epi32(lightmapSampleOffsetV(0, row.y), lightmapSampleOffsetV(1, row.y),
                                           lightmapSampleOffsetV(2, row.y), lightmapSampleOffsetV(3, row.y));
    forEachBlock(row, [&](const BlockSpan& block) {
        if (block.count == kBlockWidth) {
            wholeBlockSse2(block, words, uOffset, vOffset);
        } else {
            lightmapBlockScalar(context, block, row.y);
        }
    });
}

}  // namespace velkano
