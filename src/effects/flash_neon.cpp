// The NEON flash kernels: 64 bytes a step, then 16-byte steps, then one 8-byte group and (mod
// only) one last word. Unaligned loads and stores: rows may start at any byte address.
#include <arm_neon.h>

#include "effects/flash.h"
#include "pixel/channel_ops_neon.h"

namespace velkano::neon {
namespace {

// Runs `op` over the first `wordsBytes` bytes (a multiple of 4, or of 8 for add and sub).
// Every 4-byte word meets the same colour word.
template <typename PackedOp>
void flashPacked(uint8_t* block, size_t wordsBytes, uint32_t colour, PackedOp op) {
    const uint8x16_t c = broadcastWordNeon(colour);
    size_t at = 0;
    for (; wordsBytes - at >= 64; at += 64) {
        const uint8x16_t p0 = vld1q_u8(block + at), p1 = vld1q_u8(block + at + 16);
        const uint8x16_t p2 = vld1q_u8(block + at + 32), p3 = vld1q_u8(block + at + 48);
        vst1q_u8(block + at, op(p0, c));
        vst1q_u8(block + at + 16, op(p1, c));
        vst1q_u8(block + at + 32, op(p2, c));
        vst1q_u8(block + at + 48, op(p3, c));
    }
    for (; wordsBytes - at >= 16; at += 16) vst1q_u8(block + at, op(vld1q_u8(block + at), c));
    if (wordsBytes - at >= 8) {
        storeTwoPixelsNeon(block + at, op(loadTwoPixelsNeon(block + at), c));
        at += 8;
    }
    if (at < wordsBytes) storePixelNeon(block + at, op(loadPixelNeon(block + at), c));
}

}  // namespace

void flashAddNeon(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    flashPacked(block, sizeBytes & ~size_t{7}, colour,
                [](uint8x16_t p, uint8x16_t c) { return channelAddSatNeon(p, c); });
}

void flashSubNeon(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    flashPacked(block, sizeBytes & ~size_t{7}, colour,
                [](uint8x16_t p, uint8x16_t c) { return channelSubSatNeon(p, c); });
}

void flashModNeon(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    flashPacked(block, sizeBytes & ~size_t{3}, colour,
                [](uint8x16_t p, uint8x16_t c) { return channelModulateNeon(p, c); });
}

}  // namespace velkano::neon
