// numeric_neon.h: packed NEON twins of numeric.h. Each lane gives exactly the result of the
// scalar form named in its comment, whatever the thread's rounding mode. Only files ending
// _neon.cpp include this header; what it defines lives in velkano::neon.
#pragma once

#include <arm_neon.h>

#include <cstdint>

#include "pixel/numeric.h"

namespace velkano::neon {

// floor(x) of two double lanes as int32 lanes, kIntegerIndefinite where x is NaN or outside
// [-2^31, 2^31), as floorToInt. The conversion rounds toward minus infinity whatever the
// mode and is exact in that range; outside it (where it saturates) the mask takes over.
inline int32x2_t floorToIntNeon(float64x2_t x) {
    const uint64x2_t valid =
        vandq_u64(vcgeq_f64(x, vdupq_n_f64(-2147483648.0)), vcltq_f64(x, vdupq_n_f64(2147483648.0)));
    const int64x2_t floored = vbslq_s64(valid, vcvtmq_s64_f64(x), vdupq_n_s64(kIntegerIndefinite));
    return vmovn_s64(floored);  // in int32 range either way
}

}  // namespace velkano::neon
