// texel_fetch_sse2.h: four texture or lightmap fetches at once, for the packed triangle
// kernels. Addresses are computed in 32-bit lanes (the caller checks that the bound image
// fits, textureFitsPackedOffsets / lightmapFitsPackedOffsets); the reads stay scalar.
// Only files ending _sse2.cpp include this header.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "pixel/channel_ops.h"
#include "pixel/channel_ops_sse2.h"
#include "pixel/instruction_set.h"
#include "pixel/numeric.h"
#include "texture/texel_fetch.h"

namespace velkano {
VELKANO_HELPERS_BEGIN

// Lanes value, value + step, value + 2 step, value + 3 step (wrapping).
inline __m128i steppedLanes(int32_t value, int32_t step) {
    const int32_t step2 = wrapAdd(step, step);
    return _mm_setr_epi32(value, wrapAdd(value, step), wrapAdd(value, step2), wrapAdd(value, wrapAdd(step2, step)));
}

// The texel of each lane's 22.10 coordinates, as PixelWords: the index at
// ((v >> 10) & maskV) << textureShift + ((u >> 10) & maskU), logical shifts, through the palette.
class TexelQuadSse2 {
public:
    explicit TexelQuadSse2(const RenderContext& context)
        : indices_(context.textureIndices), palette_(context.palette), maskU_(_mm_set1_epi32(context.textureMaskU)),
          maskV_(_mm_set1_epi32(context.textureMaskV)), rowShift_(_mm_cvtsi32_si128(context.textureShift)) {}

    __m128i operator()(__m128i uFx, __m128i vFx) const {
        const __m128i column = _mm_and_si128(_mm_srli_epi32(uFx, kFixedShift), maskU_);
        const __m128i row = _mm_sll_epi32(_mm_and_si128(_mm_srli_epi32(vFx, kFixedShift), maskV_), rowShift_);
        alignas(16) uint32_t offsets[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(offsets), _mm_add_epi32(row, column));
        const auto entry = [&](int lane) { return static_cast<int32_t>(loadWord(palette_ + indices_[offsets[lane]])); };
        return colourToPixelSse2(_mm_setr_epi32(entry(0), entry(1), entry(2), entry(3)));
    }

private:
    const uint8_t* indices_;
    const ColourWord* palette_;
    __m128i maskU_, maskV_, rowShift_;
};

// The lightmap word of each lane's 22.10 coordinates, unchanged: the word at byte
// ((v >> 10) & maskV) << rowShift + ((u >> 10) & maskU) << 2, logical shifts.
class LightmapQuadSse2 {
public:
    explicit LightmapQuadSse2(const RenderContext& context)
        : words_(reinterpret_cast<const uint8_t*>(context.lightmap)), maskU_(_mm_set1_epi32(context.lightmapMaskU)),
          maskV_(_mm_set1_epi32(context.lightmapMaskV)), rowShift_(_mm_cvtsi32_si128(context.lightmapRowShift)) {}

    __m128i operator()(__m128i uFx, __m128i vFx) const {
        const __m128i column = _mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(uFx, kFixedShift), maskU_), 2);
        const __m128i row = _mm_sll_epi32(_mm_and_si128(_mm_srli_epi32(vFx, kFixedShift), maskV_), rowShift_);
        alignas(16) uint32_t offsets[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(offsets), _mm_add_epi32(row, column));
        const auto word = [&](int lane) { return static_cast<int32_t>(loadWord(words_ + offsets[lane])); };
        return _mm_setr_epi32(word(0), word(1), word(2), word(3));
    }

private:
    const uint8_t* words_;
    __m128i maskU_, maskV_, rowShift_;
};

VELKANO_HELPERS_END
}  // namespace velkano
