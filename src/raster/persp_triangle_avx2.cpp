// persp_triangle_avx2.cpp: the block kernels eight pixels a step. A whole block is two
// straight-line steps of eight pixels, coordinates and addresses packed, reads scalar; a
// block cut by the image's right edge goes to the span kernels. Set-up is a few broadcasts,
// so a walk of a single row costs little more than its blocks.
#include <immintrin.h>

#include <cstddef>
#include <utility>

#include "raster/persp_triangle.h"
#include "raster/triangle_spans.h"
#include "texture/texel_fetch.h"
#include "texture/texel_fetch_avx2.h"

namespace velkano::avx2 {
namespace {

// Sixteen pixels from `fetch` at `pixels`: lanes u and v hold the coordinates of the first
// eight, uStep8 and vStep8 eight steps; `uOffset` and `vOffset` are added before the fetch.
template <typename Fetch>
inline void wholeBlockAvx2(uint8_t* pixels, const Fetch& fetch, __m256i u, __m256i v, __m256i uStep8, __m256i vStep8,
                           __m256i uOffset, __m256i vOffset) {
    u = _mm256_add_epi32(u, uOffset), v = _mm256_add_epi32(v, vOffset);
    auto* out = reinterpret_cast<__m256i*>(pixels);
    _mm256_storeu_si256(out, fetch(u, v));
    _mm256_storeu_si256(out + 1, fetch(_mm256_add_epi32(u, uStep8), _mm256_add_epi32(v, vStep8)));
}
template <typename Fetch>
inline void wholeBlockAvx2(const BlockSpan& block, const Fetch& fetch, __m256i uOffset, __m256i vOffset) {
    wholeBlockAvx2(block.pixels, fetch, steppedLanes8(block.uFx, block.uStepFx),
                   steppedLanes8(block.vFx, block.vStepFx), eightSteps(block.uStepFx), eightSteps(block.vStepFx),
                   uOffset, vOffset);
}

// The lightmap's sample offsets of even rows, then of odd rows: blocks start on even columns,
// so the lanes' column parities alternate 0, 1.
struct LightmapOffsetsAvx2 {
    __m256i u[2], v[2];
    LightmapOffsetsAvx2() {
        const auto offsets = [](auto offset, int32_t y) {
            const int32_t even = offset(0, y), odd = offset(1, y);
            return _mm256_setr_epi32(even, odd, even, odd, even, odd, even, odd);
        };
        u[0] = offsets(lightmapSampleOffsetU, 0), u[1] = offsets(lightmapSampleOffsetU, 1);
        v[0] = offsets(lightmapSampleOffsetV, 0), v[1] = offsets(lightmapSampleOffsetV, 1);
    }
};

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

// The block rule of RowBlocks with the four coordinates of the lit walk (texture u, v, then
// lightmap u, v) in the lanes of one register: a row's grid column is one load of the four
// side by side, once per block, and the block's lanes come by broadcasts, so a row's blocks
// take no scalar set-up.
void litBlocksAvx2(const RenderContext& context, const LitBlockWalk& walk) {
    const BlockWalk& texture = walk.texture;
    const TexelOctAvx2 texels(context);
    const LightmapOctAvx2 words(context);
    const LightmapOffsetsAvx2 offsets;
    const __m256i none = _mm256_setzero_si256(), k = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    // Row y's values of grid column c, U[c] = u[c] + (y - gridRow + 1) uStep[c] (wrapping).
    const auto column = [&](int32_t c, __m128i steps) {
        const size_t at = 4 * static_cast<size_t>(c);
        const auto load = [](const int32_t* from) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)); };
        return _mm_add_epi32(load(texture.u + at), _mm_mullo_epi32(load(texture.uStep + at), steps));
    };
    forEachBlockRow(texture, [&](int32_t y, int32_t first, int32_t last) {
        const __m128i steps = _mm_set1_epi32(y - texture.gridRow + 1);
        uint8_t* texelPixels = texture.layer + pixelOffset(texture.pitch, first * kBlockWidth, y);
        uint8_t* lightPixels = walk.lightLayer + pixelOffset(texture.pitch, first * kBlockWidth, y);
        __m128i here = column(first, steps);
        for (int32_t c = first; c <= last; ++c, texelPixels += 4 * kBlockWidth, lightPixels += 4 * kBlockWidth) {
            const __m128i next = column(c + 1, steps);
            const __m128i blockSteps = _mm_srai_epi32(_mm_sub_epi32(next, here), kBlockShift);
            const int32_t x = c * kBlockWidth;
            if (texture.widthPx - x >= kBlockWidth) {
                const __m256i values = _mm256_castsi128_si256(here), stepsOf = _mm256_castsi128_si256(blockSteps);
                // Lane `set` of the values, stepped k times, and eight steps of it.
                const auto lanes = [&](int set) {
                    const __m256i which = _mm256_set1_epi32(set);
                    const __m256i step = _mm256_permutevar8x32_epi32(stepsOf, which);
                    return std::pair{
                        _mm256_add_epi32(_mm256_permutevar8x32_epi32(values, which), _mm256_mullo_epi32(step, k)),
                        _mm256_slli_epi32(step, 3)};
                };
                const auto [u, uStep8] = lanes(0);
                const auto [v, vStep8] = lanes(1);
                wholeBlockAvx2(texelPixels, texels, u, v, uStep8, vStep8, none, none);
                const auto [lu, luStep8] = lanes(2);
                const auto [lv, lvStep8] = lanes(3);
                wholeBlockAvx2(lightPixels, words, lu, lv, luStep8, lvStep8, offsets.u[y & 1], offsets.v[y & 1]);
            } else {
                const int32_t count = texture.widthPx - x;
                textureSpanAvx2(context,
                                TextureSpan{texelPixels, count, _mm_cvtsi128_si32(here), _mm_extract_epi32(here, 1),
                                            _mm_cvtsi128_si32(blockSteps), _mm_extract_epi32(blockSteps, 1)});
                lightmapBlockScalar(
                    context, BlockSpan{lightPixels, x, y, count, _mm_extract_epi32(here, 2), _mm_extract_epi32(here, 3),
                                       _mm_extract_epi32(blockSteps, 2), _mm_extract_epi32(blockSteps, 3)});
            }
            here = next;
        }
    });
}

}  // namespace velkano::avx2
