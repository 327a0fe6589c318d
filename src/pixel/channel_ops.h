// channel_ops.h: the two colour word orders and per-lane arithmetic on 32-bit words.
// A word is four independent unsigned 8-bit lanes, the X byte included; nothing carries
// between lanes. These scalar forms are the reference; channel_ops_sse2.h holds the packed
// twins with identical lane results.
//
// [XXXXXXXX] [RRRRRRRR] [GGGGGGGG] [BBBBBBBB]   PixelWord, bit 31 on the left
// [XXXXXXXX] [BBBBBBBB] [GGGGGGGG] [RRRRRRRR]   ColourWord (palette entries)
#pragma once

#include <cstdint>
#include <cstring>

#include "pixel/instruction_set.h"

namespace velkano {
VELKANO_HELPERS_BEGIN

using PixelWord = uint32_t;
using ColourWord = uint32_t;

namespace detail {
// Applies a per-lane formula to each of the four byte lanes of a and b.
template <typename LaneOp>
constexpr uint32_t perLane(uint32_t a, uint32_t b, LaneOp op) {
    uint32_t result = 0;
    for (uint32_t shift = 0; shift < 32; shift += 8) {
        const uint32_t lane = op((a >> shift) & 0xFFu, (b >> shift) & 0xFFu);
        result |= (lane & 0xFFu) << shift;
    }
    return result;
}
constexpr uint32_t min255(uint32_t v) { return v < 255u ? v : 255u; }
}  // namespace detail

// min(255, a + b)
constexpr uint32_t channelAddSat(uint32_t a, uint32_t b) {
    return detail::perLane(a, b, [](uint32_t x, uint32_t y) { return detail::min255(x + y); });
}
// max(0, a - b)
constexpr uint32_t channelSubSat(uint32_t a, uint32_t b) {
    return detail::perLane(a, b, [](uint32_t x, uint32_t y) { return x > y ? x - y : 0u; });
}
// (a * b) >> 8; at most 254, so 255 * 255 darkens by one step
constexpr uint32_t channelMultiply(uint32_t a, uint32_t b) {
    return detail::perLane(a, b, [](uint32_t x, uint32_t y) { return (x * y) >> 8; });
}
// min(255, (a * b) >> 7); 128 keeps a
constexpr uint32_t channelModulate(uint32_t a, uint32_t b) {
    return detail::perLane(a, b, [](uint32_t x, uint32_t y) { return detail::min255((x * y) >> 7); });
}
// min(255, ((a * (f ^ 255)) >> 8) + ((b * f) >> 8)): each product truncated before the sum.
// Only the low 16 bits of f take part and each product is kept to 16 bits, so a factor
// outside 0..255 (the indefinite integer of a NaN) still has one defined result; for f in
// 0..255 it is the plain formula with weight 255 - f.
constexpr uint32_t channelBlend(uint32_t a, uint32_t b, uint32_t f) {
    const uint32_t weightB = f & 0xFFFFu;
    const uint32_t weightA = (f ^ 0xFFu) & 0xFFFFu;
    return detail::perLane(a, b, [=](uint32_t x, uint32_t y) {
        return detail::min255((((x * weightA) & 0xFFFFu) >> 8) + (((y * weightB) & 0xFFFFu) >> 8));
    });
}

// A 32-bit word at any byte address: image rows, palettes and lightmaps need not be aligned.
inline uint32_t loadWord(const void* at) {
    uint32_t word;
    std::memcpy(&word, at, 4);
    return word;
}
inline void storeWord(void* at, uint32_t word) { std::memcpy(at, &word, 4); }

// ColourWord R,G,B,X bytes in memory -> PixelWord B,G,R,0.
constexpr PixelWord colourToPixel(ColourWord w) { return ((w & 0xFFu) << 16) | (w & 0xFF00u) | ((w >> 16) & 0xFFu); }

VELKANO_HELPERS_END
}  // namespace velkano
