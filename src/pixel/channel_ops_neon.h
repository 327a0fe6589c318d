// channel_ops_neon.h: packed NEON twins of channel_ops.h, four pixel words (sixteen byte
// lanes) at once with the exact lane results of the scalar forms: the widening multiply gives
// the exact 16-bit product, and its high byte or a saturating narrowing shift takes the
// quotient. Also the partial loads and stores of two pixels and one, for the tails. Only files
// ending _neon.cpp include this header; what it defines lives in velkano::neon.
#pragma once

#include <arm_neon.h>

#include <cstdint>

#include "pixel/channel_ops.h"

namespace velkano::neon {

inline uint8x16_t broadcastWordNeon(uint32_t word) { return vreinterpretq_u8_u32(vdupq_n_u32(word)); }

// min(255, a + b)
inline uint8x16_t channelAddSatNeon(uint8x16_t a, uint8x16_t b) { return vqaddq_u8(a, b); }
// max(0, a - b)
inline uint8x16_t channelSubSatNeon(uint8x16_t a, uint8x16_t b) { return vqsubq_u8(a, b); }
// (a * b) >> 8: the high bytes of the 16-bit products, lanes 0 to 7 then 8 to 15.
inline uint8x16_t channelMultiplyNeon(uint8x16_t a, uint8x16_t b) {
    const uint16x8_t lo = vmull_u8(vget_low_u8(a), vget_low_u8(b));
    const uint16x8_t hi = vmull_high_u8(a, b);
    return vuzp2q_u8(vreinterpretq_u8_u16(lo), vreinterpretq_u8_u16(hi));
}
// min(255, (a * b) >> 7): the product shifted right by 7, truncating, narrowed with unsigned
// saturation.
inline uint8x16_t channelModulateNeon(uint8x16_t a, uint8x16_t b) {
    const uint16x8_t lo = vmull_u8(vget_low_u8(a), vget_low_u8(b));
    const uint16x8_t hi = vmull_high_u8(a, b);
    return vqshrn_high_n_u16(vqshrn_n_u16(lo, 7), hi, 7);
}

// Four ColourWords to PixelWords: bytes 0 and 2 exchanged, byte 3 cleared (the table lookup
// gives 0 for an index past the vector).
inline uint32x4_t colourToPixelNeon(uint32x4_t w) {
    const uint8x16_t order = {2, 1, 0, 0xFF, 6, 5, 4, 0xFF, 10, 9, 8, 0xFF, 14, 13, 12, 0xFF};
    return vreinterpretq_u32_u8(vqtbl1q_u8(vreinterpretq_u8_u32(w), order));
}

// Two pixel words at `at` in lanes 0 to 7 (the rest zero), and back.
inline uint8x16_t loadTwoPixelsNeon(const uint8_t* at) { return vcombine_u8(vld1_u8(at), vdup_n_u8(0)); }
inline void storeTwoPixelsNeon(uint8_t* at, uint8x16_t v) { vst1_u8(at, vget_low_u8(v)); }
// One pixel word at `at` in lanes 0 to 3 (the rest zero), and back.
inline uint8x16_t loadPixelNeon(const uint8_t* at) {
    return vreinterpretq_u8_u32(vsetq_lane_u32(loadWord(at), vdupq_n_u32(0), 0));
}
inline void storePixelNeon(uint8_t* at, uint8x16_t v) { storeWord(at, vgetq_lane_u32(vreinterpretq_u32_u8(v), 0)); }

}  // namespace velkano::neon
