// persp_triangle_avx2.cpp: the block kernels eight pixels a step. A whole block is two
// straight-line steps of eight pixels, coordinates and addresses packed, reads scalar; a
// block cut by the image's right edge goes to the span kernels. Set-up is a few broadcasts,
// so a walk of a single row costs little more than its blocks.
#include <immintrin.h>

#include <cstddef>

#include "raster/persp_triangle.h"
#include "raster/triangle_spans.h"
#include "texture/texel_fetch.h"
#include "texture/texel_fetch_avx2.h"

namespace velkano {
namespace {

// Sixteen pixels from `fetch`, coordinates stepped eight lanes at a time; `uOffset` and
// `vOffset` are added to each step's coordinates before the fetch.
template <typename Fetch>
inline void wholeBlockAvx2(const BlockSpan& block, const Fetch& fetch, __m256i uOffset, __m256i vOffset) {
    const __m256i u = _mm256_add_epi32(steppedLanes8(block.uFx, block.uStepFx), uOffset);
    const __m256i v = _mm256_add_epi32(steppedLanes8(block.vFx, block.vStepFx), vOffset);
    auto* out = reinterpret_cast<__m256i*>(block.pixels);
    _mm256_storeu_si256(out, fetch(u, v));
    _mm256_storeu_si256(
        out + 1, fetch(_mm256_add_epi32(u, eightSteps(block.uStepFx)), _mm256_add_epi32(v, eightSteps(block.vStepFx))));
}

}  // namespace

void textureBlocksAvx2(const RenderContext& context, const BlockWalk& walk) {
    const TexelOctAvx2 texels(context);
    const __m256i none = _mm256_setzero_si256();
    forEachBlock(walk, [&](const BlockSpan& block) {
        if (block.count == kBlockWidth) {
            wholeBlockAvx2(block, texels, none, none);
        } else {
            textureSpanAvx2(context,
                            TextureSpan{block.pixels, block.count, block.uFx, block.vFx, block.uStepFx, block.vStepFx});
        }
    });
}

void lightmapBlocksAvx2(const RenderContext& context, const BlockWalk& walk) {
    const LightmapOctAvx2 words(context);
    // Blocks start on even columns, so the lanes' column parities alternate 0, 1; the
    // offsets of even rows, then of odd rows.
    const auto offsets = [](auto offset, int32_t y) {
        const int32_t even = offset(0, y), odd = offset(1, y);
        return _mm256_setr_epi32(even, odd, even, odd, even, odd, even, odd);
    };
    const __m256i uOffset[2] = {offsets(lightmapSampleOffsetU, 0), offsets(lightmapSampleOffsetU, 1)};
    const __m256i vOffset[2] = {offsets(lightmapSampleOffsetV, 0), offsets(lightmapSampleOffsetV, 1)};
    forEachBlock(walk, [&](const BlockSpan& block) {
        if (block.count == kBlockWidth) {
            wholeBlockAvx2(block, words, uOffset[block.y & 1], vOffset[block.y & 1]);
        } else {
            lightmapBlockScalar(context, block);
        }
    });
}

}  // namespace velkano
