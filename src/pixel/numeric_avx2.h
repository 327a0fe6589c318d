// numeric_avx2.h: packed AVX2 twins of numeric.h, with the exact lane results of the scalar
// forms. Only files ending _avx2.cpp include this header; what it defines lives in
// velkano::avx2.
#pragma once

#include <immintrin.h>

#include "pixel/numeric.h"

namespace velkano::avx2 {

// floor(x) of four double lanes as int32 lanes, kIntegerIndefinite where x is NaN or outside
// [-2^31, 2^31), as floorToInt. Rounding towards -infinity is exact and ignores the rounding
// mode; the conversion then gives the indefinite value exactly where floor(x) does not fit,
// which is where x does not lie in [-2^31, 2^31).
inline __m128i floorToIntAvx2(__m256d x) {
    return _mm256_cvttpd_epi32(_mm256_round_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}

}  // namespace velkano::avx2
