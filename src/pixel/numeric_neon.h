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

// Four binary32 lanes rounded to the nearest integer, ties to even, as roundHalfEvenToInt:
// kIntegerIndefinite for NaN and outside [-2^31, 2^31) (where the conversion saturates
// instead). The conversion rounds to nearest, ties to even, whatever the mode.
inline int32x4_t roundHalfEvenToIntNeon(float32x4_t x) {
    const uint32x4_t valid =
        vandq_u32(vcgeq_f32(x, vdupq_n_f32(-2147483648.0f)), vcltq_f32(x, vdupq_n_f32(2147483648.0f)));
    return vbslq_s32(valid, vcvtnq_s32_f32(x), vdupq_n_s32(kIntegerIndefinite));
}

// divideNoTrap of each lane. The double quotient of two 32-bit integers never rounds to or
// across an integer, in any mode, so truncating it gives the integer quotient; 2^31 (from
// -2^31 / -1) keeps its low 32 bits, kIntegerIndefinite, and a division by 0 is masked.
inline int32x4_t divideNoTrapNeon(int32x4_t a, int32x4_t b) {
    const auto half = [](int32x2_t x, int32x2_t y) {
        const float64x2_t quotient = vdivq_f64(vcvtq_f64_s64(vmovl_s32(x)), vcvtq_f64_s64(vmovl_s32(y)));
        return vmovn_s64(vcvtq_s64_f64(quotient));
    };
    const int32x4_t quotient =
        vcombine_s32(half(vget_low_s32(a), vget_low_s32(b)), half(vget_high_s32(a), vget_high_s32(b)));
    return vbslq_s32(vceqzq_s32(b), vdupq_n_s32(kIntegerIndefinite), quotient);
}

// lerpFloat(a, b, t) of four t lanes: a + (b - a) t in double (product rounded before the
// sum), rounded once to binary32.
inline float32x4_t lerpFloatNeon(float a, float b, float32x4_t t) {
    const float64x2_t from = vdupq_n_f64(a), difference = vdupq_n_f64(static_cast<double>(b) - static_cast<double>(a));
    const float32x2_t low = vcvt_f32_f64(vaddq_f64(from, vmulq_f64(difference, vcvt_f64_f32(vget_low_f32(t)))));
    return vcvt_high_f32_f64(low, vaddq_f64(from, vmulq_f64(difference, vcvt_high_f64_f32(t))));
}

}  // namespace velkano::neon
