// texel_fetch_avx2.h: eight texture or lightmap fetches at once, for the AVX2 kernels.
// Coordinates and addresses are computed in 32-bit lanes, as in texel_fetch_sse2.h (the
// caller checks textureFitsPackedOffsets / lightmapFitsPackedOffsets); the reads stay
// scalar, which measured faster than gathers on the machines we run. Only files ending
// _avx2.cpp include this header; what it defines lives in velkano::avx2.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "pixel/channel_ops_avx2.h"
#include "pixel/numeric.h"

namespace velkano::avx2 {

// Lanes value + k step for k = 0 to 7 (wrapping: the low 32 bits of each product and sum).
inline __m256i steppedLanes8(int32_t value, int32_t step) {
    const __m256i k = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    return _mm256_add_epi32(_mm256_set1_epi32(value), _mm256_mullo_epi32(_mm256_set1_epi32(step), k));
}
// Each lane's step times 8, wrapping.
inline __m256i eightSteps(int32_t step) { return _mm256_slli_epi32(_mm256_set1_epi32(step), 3); }

// Lane k is read(k) for k = 0 to 7: eight scalar reads into one register.
template <typename Read>
inline __m256i eightReads(Read read) {
    return _mm256_setr_epi32(read(0), read(1), read(2), read(3), read(4), read(5), read(6), read(7));
}
// The texel of each lane's 22.10 coordinates, as PixelWords: the index at
// ((v >> 10) & maskV) << textureShift + ((u >> 10) & maskU), logical shifts, through the
// palette.
class TexelOctAvx2 {
public:
    explicit TexelOctAvx2(const RenderContext& context)
        : indices_(context.textureIndices), palette_(context.palette), maskU_(_mm256_set1_epi32(context.textureMaskU)),
          maskV_(_mm256_set1_epi32(context.textureMaskV)), rowShift_(_mm_cvtsi32_si128(context.textureShift)) {}

    __m256i operator()(__m256i uFx, __m256i vFx) const {
        const __m256i column = _mm256_and_si256(_mm256_srli_epi32(uFx, kFixedShift), maskU_);
        const __m256i row = _mm256_sll_epi32(_mm256_and_si256(_mm256_srli_epi32(vFx, kFixedShift), maskV_), rowShift_);
        alignas(32) uint32_t offsets[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(offsets), _mm256_add_epi32(row, column));
        return colourToPixelAvx2(
            eightReads([&](int lane) { return static_cast<int32_t>(loadWord(palette_ + indices_[offsets[lane]])); }));
    }

private:
    const uint8_t* indices_;
    const ColourWord* palette_;
    __m256i maskU_, maskV_;
    __m128i rowShift_;
};

// The lightmap word of each lane's 22.10 coordinates, unchanged: the word at byte
// ((v >> 10) & maskV) << rowShift + ((u >> 10) & maskU) << 2, logical shifts.
class LightmapOctAvx2 {
public:
    explicit LightmapOctAvx2(const RenderContext& context)
        : words_(reinterpret_cast<const uint8_t*>(context.lightmap)), maskU_(_mm256_set1_epi32(context.lightmapMaskU)),
          maskV_(_mm256_set1_epi32(context.lightmapMaskV)), rowShift_(_mm_cvtsi32_si128(context.lightmapRowShift)) {}

    __m256i operator()(__m256i uFx, __m256i vFx) const {
        const __m256i column = _mm256_slli_epi32(_mm256_and_si256(_mm256_srli_epi32(uFx, kFixedShift), maskU_), 2);
        const __m256i row = _mm256_sll_epi32(_mm256_and_si256(_mm256_srli_epi32(vFx, kFixedShift), maskV_), rowShift_);
        alignas(32) uint32_t offsets[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(offsets), _mm256_add_epi32(row, column));
        return eightReads([&](int lane) { return static_cast<int32_t>(loadWord(words_ + offsets[lane])); });
    }

private:
    const uint8_t* words_;
    __m256i maskU_, maskV_;
    __m128i rowShift_;
};

}  // namespace velkano::avx2
