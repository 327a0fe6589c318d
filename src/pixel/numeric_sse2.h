// numeric_sse2.h: packed SSE2 twins of numeric.h. Each lane gives exactly the result of the
// scalar form named in its comment, whatever the thread's rounding mode unless the name or a
// template argument says otherwise. Only files ending _sse2.cpp (and the levels above, which
// take their own namespace) include this header.
#pragma once

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "pixel/instruction_set.h"
#include "pixel/numeric.h"

namespace velkano {
VELKANO_HELPERS_BEGIN

// floor(x) of two double lanes as int32 lanes 0 and 1, kIntegerIndefinite where x is NaN or
// outside [-2^31, 2^31), as floorToInt: truncate, then step down where that rounded up.
inline __m128i floorToIntSse2(__m128d x) {
    const __m128i truncated = _mm_cvttpd_epi32(x);
    const __m128d roundedUp = _mm_cmpgt_pd(_mm_cvtepi32_pd(truncated), x);
    const __m128d valid =
        _mm_and_pd(_mm_cmpge_pd(x, _mm_set1_pd(-2147483648.0)), _mm_cmplt_pd(x, _mm_set1_pd(2147483648.0)));
    // The 64-bit lane masks as 32-bit lanes 0 and 1.
    const auto low32 = [](__m128d mask) { return _mm_shuffle_epi32(_mm_castpd_si128(mask), _MM_SHUFFLE(3, 3, 2, 0)); };
    const __m128i floored = _mm_add_epi32(truncated, low32(roundedUp));  // the mask is -1 where it rounded up
    const __m128i keep = low32(valid);
    return _mm_or_si128(_mm_and_si128(keep, floored), _mm_andnot_si128(keep, _mm_set1_epi32(kIntegerIndefinite)));
}

// Four binary32 lanes rounded to the nearest integer, ties to even, as roundHalfEvenToInt
// rounds them: kIntegerIndefinite for NaN and values outside the int32 range, whatever the
// rounding mode. The truncation and x - trunc(x) are exact; a lane moves away from zero when
// that fraction passes 0.5, or reaches it with an odd integer part (the threshold of
// roundHalfEvenToByteSse2, and its negative). When the thread rounds to nearest, the
// conversion instruction gives exactly that.
template <bool Nearest>
inline __m128i roundHalfEvenToIntSse2(__m128 x) {
    if constexpr (Nearest) return _mm_cvtps_epi32(x);
    const __m128i truncated = _mm_cvttps_epi32(x);  // 0x80000000 for NaN and out of range
    const __m128 fraction = _mm_sub_ps(x, _mm_cvtepi32_ps(truncated));
    const __m128i threshold = _mm_sub_epi32(_mm_set1_epi32(0x3F000000), _mm_and_si128(truncated, _mm_set1_epi32(1)));
    const __m128 up = _mm_cmpgt_ps(fraction, _mm_castsi128_ps(threshold));
    const __m128 down = _mm_cmplt_ps(fraction, _mm_castsi128_ps(_mm_or_si128(threshold, _mm_set1_epi32(INT32_MIN))));
    const __m128i indefinite = _mm_cmpeq_epi32(truncated, _mm_set1_epi32(INT32_MIN));
    const __m128i adjust = _mm_sub_epi32(_mm_castps_si128(down), _mm_castps_si128(up));  // masks are -1
    return _mm_add_epi32(truncated, _mm_andnot_si128(indefinite, adjust));
}

// Four binary32 lanes rounded to nearest, ties to even, and kept to 0..255, whatever the
// rounding mode. Clamping first gives the same bytes as clamping the rounded value (NaN
// becomes 0 either way). Then x - trunc(x) is exact, and a lane rounds up when that exceeds
// 0.5, or reaches it with an odd integer part: for odd lanes the threshold is the float just
// below 0.5 (its bit pattern 0x3F000000 less one, 0.5 - 2^-25), less than any fraction step
// of a value of at least 1. When the thread rounds to nearest (Nearest), the conversion
// instruction rounds so itself.
template <bool Nearest>
inline __m128i roundHalfEvenToByteSse2(__m128 x) {
    x = _mm_min_ps(_mm_max_ps(x, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    if constexpr (Nearest) return _mm_cvtps_epi32(x);
    const __m128i truncated = _mm_cvttps_epi32(x);
    const __m128 fraction = _mm_sub_ps(x, _mm_cvtepi32_ps(truncated));
    const __m128i odd = _mm_and_si128(truncated, _mm_set1_epi32(1));
    const __m128 threshold = _mm_castsi128_ps(_mm_sub_epi32(_mm_set1_epi32(0x3F000000), odd));
    const __m128 up = _mm_cmpgt_ps(fraction, threshold);
    return _mm_sub_epi32(truncated, _mm_castps_si128(up));  // up is -1 where true
}

// divideNoTrap of each lane. Both operands are exact in double and the quotient of two 32-bit
// integers never rounds to or across an integer, so truncating it gives the integer quotient;
// the conversion gives 0x80000000 (kIntegerIndefinite) for x / 0 and for 2^31.
inline __m128i divideNoTrapSse2(__m128i a, __m128i b) {
    const auto half = [](__m128i x, __m128i y) {
        return _mm_cvttpd_epi32(_mm_div_pd(_mm_cvtepi32_pd(x), _mm_cvtepi32_pd(y)));
    };
    const auto high = [](__m128i x) { return _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)); };
    return _mm_unpacklo_epi64(half(a, b), half(high(a), high(b)));
}

// lerpFloat(a, b, t) of four t lanes: a + (b - a) t in double, rounded once to binary32.
inline __m128 lerpFloatSse2(float a, float b, __m128 t) {
    const __m128d from = _mm_set1_pd(a), difference = _mm_set1_pd(static_cast<double>(b) - static_cast<double>(a));
    const __m128 low = _mm_cvtpd_ps(_mm_add_pd(from, _mm_mul_pd(difference, _mm_cvtps_pd(t))));
    const __m128 high = _mm_cvtpd_ps(_mm_add_pd(from, _mm_mul_pd(difference, _mm_cvtps_pd(_mm_movehl_ps(t, t)))));
    return _mm_movelh_ps(low, high);
}

// Signed 32-bit lane maximum and minimum (SSE2 has no pmaxsd).
inline __m128i maxEpi32(__m128i a, __m128i b) {
    const __m128i greater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(greater, a), _mm_andnot_si128(greater, b));
}
inline __m128i minEpi32(__m128i a, __m128i b) {
    const __m128i greater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(greater, b), _mm_andnot_si128(greater, a));
}

// The rounding mode the thread's packed conversions use is round to nearest (the usual case):
// the kernels then convert in one instruction, otherwise by the mode-free sequences.
inline bool roundsToNearest() { return (_mm_getcsr() & _MM_ROUND_MASK) == _MM_ROUND_NEAREST; }
VELKANO_HELPERS_END
}  // namespace velkano
