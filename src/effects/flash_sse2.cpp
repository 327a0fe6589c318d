// The SSE2 flash kernels: 64 bytes a step, then 16-byte steps, then the last 8-byte group
// (add, sub) or the last whole words one at a time (mod). Unaligned loads and stores: rows
// may start at any byte address, and on aligned data they cost the same.
#include <emmintrin.h>

#include <cstring>

#include "effects/flash.h"
#include "pixel/channel_ops_sse2.h"

namespace velkano::sse2 {
namespace {

inline __m128i load16(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
inline void store16(uint8_t* at, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); }

// Runs `op` over the first `wordsBytes` bytes (a multiple of 4, or of 8 for the 8-byte
// tail of add and sub). Every 4-byte word meets the same colour word.
template <typename PackedOp>
void flashPacked(uint8_t* block, size_t wordsBytes, uint32_t colour, PackedOp op) {
    const __m128i c = broadcastWord(colour);
    size_t at = 0;
    for (; wordsBytes - at >= 64; at += 64) {
        const __m128i p0 = load16(block + at), p1 = load16(block + at + 16);
        const __m128i p2 = load16(block + at + 32), p3 = load16(block + at + 48);
        store16(block + at, op(p0, c));
        store16(block + at + 16, op(p1, c));
        store16(block + at + 32, op(p2, c));
        store16(block + at + 48, op(p3, c));
    }
    for (; wordsBytes - at >= 16; at += 16) store16(block + at, op(load16(block + at), c));
    for (; at < wordsBytes; at += 4) {
        int32_t word;
        std::memcpy(&word, block + at, 4);
        word = _mm_cvtsi128_si32(op(_mm_cvtsi32_si128(word), c));
        std::memcpy(block + at, &word, 4);
    }
}

}  // namespace

void flashAddSse2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    flashPacked(block, sizeBytes & ~size_t{7}, colour, [](__m128i p, __m128i c) { return channelAddSatSse2(p, c); });
}

void flashSubSse2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    flashPacked(block, sizeBytes & ~size_t{7}, colour, [](__m128i p, __m128i c) { return channelSubSatSse2(p, c); });
}

void flashModSse2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    flashPacked(block, sizeBytes & ~size_t{3}, colour, [](__m128i p, __m128i c) { return channelModulateSse2(p, c); });
}

}  // namespace velkano::sse2
