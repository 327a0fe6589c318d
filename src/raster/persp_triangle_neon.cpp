// persp_triangle_neon.cpp: the block kernels four pixels a step, coordinates and addresses
// packed, reads scalar. A block cut by the image's right edge takes its whole steps alike and
// its last, partial one through a buffer: the masks keep every lane's address inside the
// bound image whatever its coordinates, so the lanes past the edge read nothing outside it.
#include <arm_neon.h>

#include <algorithm>
#include <cstddef>

#include "raster/persp_triangle.h"
#include "texture/texel_fetch.h"
#include "texture/texel_fetch_neon.h"

namespace velkano::neon {
namespace {

// The first `count` (1 to 16) pixels of a block from `fetch` at `pixels`: lanes u and v hold
// the coordinates of the first four, uStep4 and vStep4 four steps. A whole block unrolled.
template <typename Fetch>
inline void blockNeon(uint8_t* pixels, int32_t count, const Fetch& fetch, uint32x4_t u, uint32x4_t v, uint32x4_t uStep4,
                      uint32x4_t vStep4) {
    if (count != kBlockWidth) {
        fetchRunNeon(pixels, count, fetch, u, v, uStep4, vStep4);
        return;
    }
    for (int q = 0; q < kBlockWidth / 4; ++q, u = vaddq_u32(u, uStep4), v = vaddq_u32(v, vStep4))
        vst1q_u8(pixels + 16 * q, vreinterpretq_u8_u32(fetch(u, v)));  // any byte alignment
}

// Four steps of each lane, wrapping.
inline uint32x4_t fourSteps(uint32x4_t steps) { return vshlq_n_u32(steps, 2); }

// Lane `Lane` of `values` stepped 0 to 3 times by lane `Lane` of `steps` (wrapping).
template <int Lane>
inline uint32x4_t steppedLane(uint32x4_t values, uint32x4_t steps) {
    const uint32x4_t k = {0, 1, 2, 3};
    return vaddq_u32(vdupq_laneq_u32(values, Lane), vmulq_laneq_u32(k, steps, Lane));
}

// The lightmap's sample offsets of even rows, then of odd rows: blocks start on even columns,
// so the lanes' column parities are 0, 1, 0, 1.
struct LightmapOffsetsNeon {
    uint32x4_t u[2], v[2];
    LightmapOffsetsNeon() {
        const auto offsets = [](auto offset, int32_t y) {
            const auto even = static_cast<uint32_t>(offset(0, y)), odd = static_cast<uint32_t>(offset(1, y));
            return uint32x4_t{even, odd, even, odd};
        };
        u[0] = offsets(lightmapSampleOffsetU, 0), u[1] = offsets(lightmapSampleOffsetU, 1);
        v[0] = offsets(lightmapSampleOffsetV, 0), v[1] = offsets(lightmapSampleOffsetV, 1);
    }
};

}  // namespace

void textureBlocksNeon(const RenderContext& context, const BlockWalk& walk) {
    const TexelQuadNeon texels(context);
    const auto fourStepsOf = [](int32_t step) { return vdupq_n_u32(static_cast<uint32_t>(wrapMul(step, 4))); };
    forEachBlock(walk, [&](const BlockSpan& block) {
        blockNeon(block.pixels, block.count, texels, steppedLanes(block.uFx, block.uStepFx),
                  steppedLanes(block.vFx, block.vStepFx), fourStepsOf(block.uStepFx), fourStepsOf(block.vStepFx));
    });
}

// The block rule of RowBlocks with the four coordinates of the lit walk (texture u, v, then
// lightmap u, v) in the lanes of one register: a row's grid column is one load of the four
// side by side, once per block, and each block's lanes come by lane broadcasts.
void litBlocksNeon(const RenderContext& context, const LitBlockWalk& walk) {
    const BlockWalk& texture = walk.texture;
    const TexelQuadNeon texels(context);
    const LightmapQuadNeon words(context);
    const LightmapOffsetsNeon offsets;
    // Row y's values of grid column c, U[c] = u[c] + (y - gridRow + 1) uStep[c] (wrapping): one
    // load takes column c's texture u, v and lightmap u, v, side by side in a lit walk (stride 4).
    const auto column = [&](int32_t c, uint32_t steps) {
        const size_t at = 4 * static_cast<size_t>(c);
        const auto load = [](const int32_t* from) { return vreinterpretq_u32_s32(vld1q_s32(from)); };
        return vaddq_u32(load(texture.u + at), vmulq_n_u32(load(texture.uStep + at), steps));
    };
    forEachBlockRow(texture, [&](int32_t y, int32_t first, int32_t last) {
        const auto steps = static_cast<uint32_t>(y - texture.gridRow + 1);
        uint8_t* texelPixels = texture.layer + pixelOffset(texture.pitch, first * kBlockWidth, y);
        uint8_t* lightPixels = walk.lightLayer + pixelOffset(texture.pitch, first * kBlockWidth, y);
        const uint32x4_t uOffset = offsets.u[y & 1], vOffset = offsets.v[y & 1];
        uint32x4_t here = column(first, steps);
        for (int32_t c = first; c <= last; ++c, texelPixels += 4 * kBlockWidth, lightPixels += 4 * kBlockWidth) {
            const uint32x4_t next = column(c + 1, steps);
            const uint32x4_t blockSteps =
                vreinterpretq_u32_s32(vshrq_n_s32(vreinterpretq_s32_u32(vsubq_u32(next, here)), kBlockShift));
            const uint32x4_t steps4 = fourSteps(blockSteps);
            const int32_t count = std::min(texture.widthPx - c * kBlockWidth, kBlockWidth);
            blockNeon(texelPixels, count, texels, steppedLane<0>(here, blockSteps), steppedLane<1>(here, blockSteps),
                      vdupq_laneq_u32(steps4, 0), vdupq_laneq_u32(steps4, 1));
            blockNeon(lightPixels, count, words, vaddq_u32(steppedLane<2>(here, blockSteps), uOffset),
                      vaddq_u32(steppedLane<3>(here, blockSteps), vOffset), vdupq_laneq_u32(steps4, 2),
                      vdupq_laneq_u32(steps4, 3));
            here = next;
        }
    });
}

}  // namespace velkano::neon
