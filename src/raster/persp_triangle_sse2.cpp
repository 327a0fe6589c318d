// persp_triangle_sse2.cpp: the block kernels with packed arithmetic. A whole block is
// four straight-line steps of four pixels (coordinates and addresses packed, reads scalar);
// a block cut by the image's right edge goes to the span kernels.
#include <emmintrin.h>

#include <cstddef>

#include "pixel/numeric.h"
#include "raster/persp_triangle.h"
#include "raster/triangle_spans.h"
#include "texture/texel_fetch_sse2.h"

namespace velkano::sse2 {
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

// The lightmap's sample offsets of even rows, then of odd rows: blocks start on even columns,
// so the lanes' column parities are 0, 1, 0, 1.
struct LightmapOffsetsSse2 {
    __m128i u[2], v[2];
    LightmapOffsetsSse2() {
        const auto offsets = [](auto offset, int32_t y) {
            return _mm_setr_epi32(offset(0, y), offset(1, y), offset(2, y), offset(3, y));
        };
        u[0] = offsets(lightmapSampleOffsetU, 0), u[1] = offsets(lightmapSampleOffsetU, 1);
        v[0] = offsets(lightmapSampleOffsetV, 0), v[1] = offsets(lightmapSampleOffsetV, 1);
    }
};

// One block of a texture walk: a whole block packed, a block cut by the image's right edge by
// the span kernel.
inline void textureBlockSse2(const RenderContext& context, const TexelQuadSse2& texels, const BlockSpan& block) {
    if (block.count == kBlockWidth) {
        const __m128i none = _mm_setzero_si128();
        wholeBlockSse2(block, texels, none, none);
    } else {
        textureSpanSse2(context,
                        TextureSpan{block.pixels, block.count, block.uFx, block.vFx, block.uStepFx, block.vStepFx});
    }
}

// One block of a lightmap walk: a whole block packed, a block cut by the image's right edge
// one word at a time.
inline void lightmapBlockSse2(const RenderContext& context, const LightmapQuadSse2& words,
                              const LightmapOffsetsSse2& offsets, const BlockSpan& block) {
    if (block.count == kBlockWidth) {
        wholeBlockSse2(block, words, offsets.u[block.y & 1], offsets.v[block.y & 1]);
    } else {
        lightmapBlockScalar(context, block);
    }
}

}  // namespace

void textureBlocksSse2(const RenderContext& context, const BlockWalk& walk) {
    const TexelQuadSse2 texels(context);
    forEachBlock(walk, [&](const BlockSpan& block) { textureBlockSse2(context, texels, block); });
}

void litBlocksSse2(const RenderContext& context, const LitBlockWalk& walk) {
    const TexelQuadSse2 texels(context);
    const LightmapQuadSse2 words(context);
    const LightmapOffsetsSse2 offsets;
    forEachBlockPair(walk.texture, lightWalkOf(walk), [&](const BlockSpan& t, const BlockSpan& l) {
        textureBlockSse2(context, texels, t);
        lightmapBlockSse2(context, words, offsets, l);
    });
}

}  // namespace velkano::sse2
