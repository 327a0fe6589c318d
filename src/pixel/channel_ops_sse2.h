// channel_ops_sse2.h: packed SSE2 twins of channel_ops.h.
// Each operates on four pixel words (sixteen byte lanes) at once with the exact lane
// result of its scalar form; 16-bit intermediate products, no lookup tables.
// Only files ending _sse2.cpp include this header.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "pixel/instruction_set.h"

namespace velkano {
VELKANO_HELPERS_BEGIN

inline __m128i broadcastWord(uint32_t word) { return _mm_set1_epi32(static_cast<int32_t>(word)); }

// min(255, a + b)
inline __m128i channelAddSatSse2(__m128i a, __m128i b) { return _mm_adds_epu8(a, b); }
// max(0, a - b)
inline __m128i channelSubSatSse2(__m128i a, __m128i b) { return _mm_subs_epu8(a, b); }

namespace detail {
// (a * b) >> (8 - Doubling) per byte lane, clamped to 255: the high half of the 16-bit
// product (a << 8) * (b << Doubling), which is exact, then packed with unsigned saturation.
template <int Doubling>
inline __m128i mulShiftPack(__m128i a, __m128i b) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bLo = _mm_slli_epi16(_mm_unpacklo_epi8(b, zero), Doubling);
    const __m128i bHi = _mm_slli_epi16(_mm_unpackhi_epi8(b, zero), Doubling);
    const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, a), bLo);
    const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, a), bHi);
    return _mm_packus_epi16(lo, hi);
}
}  // namespace detail

// (a * b) >> 8
inline __m128i channelMultiplySse2(__m128i a, __m128i b) { return detail::mulShiftPack<0>(a, b); }
// min(255, (a * b) >> 7)
inline __m128i channelModulateSse2(__m128i a, __m128i b) { return detail::mulShiftPack<1>(a, b); }

// Four ColourWords to PixelWords: bytes 0 and 2 exchanged, byte 3 cleared.
inline __m128i colourToPixelSse2(__m128i w) {
    const __m128i green = _mm_and_si128(w, _mm_set1_epi32(0x0000FF00));
    const __m128i red = _mm_and_si128(_mm_slli_epi32(w, 16), _mm_set1_epi32(0x00FF0000));
    const __m128i blue = _mm_and_si128(_mm_srli_epi32(w, 16), _mm_set1_epi32(0x000000FF));
    return _mm_or_si128(_mm_or_si128(red, green), blue);
}

VELKANO_HELPERS_END
}  // namespace velkano
