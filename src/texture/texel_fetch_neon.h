// texel_fetch_neon.h: four texture or lightmap fetches at once, for the NEON kernels.
// Addresses are computed in 32-bit lanes, as in texel_fetch_sse2.h (the caller checks that
// the bound images fit, textureFitsPackedOffsets / lightmapFitsPackedOffsets); the reads
// stay scalar, NEON having no gather. Only files ending _neon.cpp include this header; what
// it defines lives in velkano::neon.
#pragma once

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "pixel/channel_ops_neon.h"
#include "pixel/numeric.h"

namespace velkano::neon {

// Lanes value + k step for k = 0 to 3 (wrapping: the low 32 bits of each product and sum).
inline uint32x4_t steppedLanes(int32_t value, int32_t step) {
    const uint32x4_t k = {0, 1, 2, 3};
    return vaddq_u32(vdupq_n_u32(static_cast<uint32_t>(value)), vmulq_n_u32(k, static_cast<uint32_t>(step)));
}

// The texel of each lane's 22.10 coordinates, as PixelWords: the index at
// ((v >> 10) & maskV) << textureShift + ((u >> 10) & maskU), logical shifts, through the palette.
class TexelQuadNeon {
public:
    explicit TexelQuadNeon(const RenderContext& context)
        : indices_(context.textureIndices), palette_(context.palette),
          maskU_(vdupq_n_u32(static_cast<uint32_t>(context.textureMaskU))),
          maskV_(vdupq_n_u32(static_cast<uint32_t>(context.textureMaskV))),
          rowShift_(vdupq_n_s32(context.textureShift)) {}

    uint32x4_t operator()(uint32x4_t uFx, uint32x4_t vFx) const {
        const uint32x4_t column = vandq_u32(vshrq_n_u32(uFx, kFixedShift), maskU_);
        const uint32x4_t row = vshlq_u32(vandq_u32(vshrq_n_u32(vFx, kFixedShift), maskV_), rowShift_);
        alignas(16) uint32_t offsets[4];
        vst1q_u32(offsets, vaddq_u32(row, column));
        const auto entry = [&](int lane) { return loadWord(palette_ + indices_[offsets[lane]]); };
        return colourToPixelNeon(uint32x4_t{entry(0), entry(1), entry(2), entry(3)});
    }

private:
    const uint8_t* indices_;
    const ColourWord* palette_;
    uint32x4_t maskU_, maskV_;
    int32x4_t rowShift_;
};

// The lightmap word of each lane's 22.10 coordinates, unchanged: the word at byte
// ((v >> 10) & maskV) << rowShift + ((u >> 10) & maskU) << 2, logical shifts.
class LightmapQuadNeon {
public:
    explicit LightmapQuadNeon(const RenderContext& context)
        : words_(reinterpret_cast<const uint8_t*>(context.lightmap)),
          maskU_(vdupq_n_u32(static_cast<uint32_t>(context.lightmapMaskU))),
          maskV_(vdupq_n_u32(static_cast<uint32_t>(context.lightmapMaskV))),
          rowShift_(vdupq_n_s32(context.lightmapRowShift)) {}

    uint32x4_t operator()(uint32x4_t uFx, uint32x4_t vFx) const {
        const uint32x4_t column = vshlq_n_u32(vandq_u32(vshrq_n_u32(uFx, kFixedShift), maskU_), 2);
        const uint32x4_t row = vshlq_u32(vandq_u32(vshrq_n_u32(vFx, kFixedShift), maskV_), rowShift_);
        alignas(16) uint32_t offsets[4];
        vst1q_u32(offsets, vaddq_u32(row, column));
        const auto word = [&](int lane) { return loadWord(words_ + offsets[lane]); };
        return uint32x4_t{word(0), word(1), word(2), word(3)};
    }

private:
    const uint8_t* words_;
    uint32x4_t maskU_, maskV_;
    int32x4_t rowShift_;
};

// `count` pixels from `fetch` at `pixels`, four a step: lanes u and v hold the coordinates of
// the first four, uStep4 and vStep4 four steps (wrapping). A last group of fewer than four
// goes through a buffer: the fetches' masks keep every lane's address inside the bound image,
// so the lanes past the count read nothing outside it.
template <typename Fetch>
inline void fetchRunNeon(uint8_t* pixels, int32_t count, const Fetch& fetch, uint32x4_t u, uint32x4_t v,
                         uint32x4_t uStep4, uint32x4_t vStep4) {
    for (; count >= 4; count -= 4, pixels += 16, u = vaddq_u32(u, uStep4), v = vaddq_u32(v, vStep4))
        vst1q_u8(pixels, vreinterpretq_u8_u32(fetch(u, v)));  // a layer row may start at any byte
    if (count > 0) {
        alignas(16) uint32_t last[4];
        vst1q_u32(last, fetch(u, v));
        std::memcpy(pixels, last, 4 * static_cast<size_t>(count));
    }
}

}  // namespace velkano::neon
