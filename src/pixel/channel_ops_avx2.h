// channel_ops_avx2.h: packed AVX2 twins of channel_ops.h, eight pixel words (32 byte lanes) at
// once with the exact lane results of the scalar forms. Unpacking and packing work within each
// 128-bit half, so lane order comes back intact. Only files ending _avx2.cpp include this
// header; what it defines lives in velkano::avx2.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "pixel/instruction_set.h"

namespace velkano::avx2 {

// (a * b) >> (8 - Doubling) per byte lane, clamped to 255: the high half of the exact 16-bit
// product (a << 8) * (b << Doubling), packed with unsigned saturation.
template <int Doubling>
inline __m256i mulShiftPack(__m256i a, __m256i b) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i bLo = _mm256_slli_epi16(_mm256_unpacklo_epi8(b, zero), Doubling);
    const __m256i bHi = _mm256_slli_epi16(_mm256_unpackhi_epi8(b, zero), Doubling);
    const __m256i lo = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, a), bLo);
    const __m256i hi = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, a), bHi);
    return _mm256_packus_epi16(lo, hi);
}

inline __m256i broadcastWordAvx2(uint32_t word) { return _mm256_set1_epi32(static_cast<int32_t>(word)); }
// min(255, a + b)
inline __m256i channelAddSatAvx2(__m256i a, __m256i b) { return _mm256_adds_epu8(a, b); }
// max(0, a - b)
inline __m256i channelSubSatAvx2(__m256i a, __m256i b) { return _mm256_subs_epu8(a, b); }
// (a * b) >> 8
inline __m256i channelMultiplyAvx2(__m256i a, __m256i b) { return mulShiftPack<0>(a, b); }
// min(255, (a * b) >> 7)
inline __m256i channelModulateAvx2(__m256i a, __m256i b) { return mulShiftPack<1>(a, b); }

// Eight ColourWords to PixelWords: bytes 0 and 2 exchanged, byte 3 cleared.
inline __m256i colourToPixelAvx2(__m256i words) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1,  //
                                           2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    return _mm256_shuffle_epi8(words, order);
}

}  // namespace velkano::avx2
