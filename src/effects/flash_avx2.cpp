// The AVX2 flash kernels: 64 bytes a step over the whole 32-byte chunks, then the SSE2
// kernel takes the rest.
#include <immintrin.h>

#include "effects/flash.h"
#include "pixel/channel_ops_avx2.h"

namespace velkano::avx2 {
namespace {

inline __m256i load32(const uint8_t* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }
inline void store32(uint8_t* at, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v); }

// Runs `op` over the first whole 32-byte chunks of `sizeBytes`; returns how many bytes it did.
template <typename PackedOp>
size_t flashChunks(uint8_t* block, size_t sizeBytes, uint32_t colour, PackedOp op) {
    const __m256i c = broadcastWordAvx2(colour);
    size_t at = 0;
    for (; sizeBytes - at >= 64; at += 64) {
        const __m256i p0 = load32(block + at), p1 = load32(block + at + 32);
        store32(block + at, op(p0, c));
        store32(block + at + 32, op(p1, c));
    }
    if (sizeBytes - at >= 32) {
        store32(block + at, op(load32(block + at), c));
        at += 32;
    }
    return at;
}

}  // namespace

// The SSE2 kernels finish the tail: `done` is a multiple of 8, so the colour pattern and the
// 8-byte groups line up as if one kernel had walked the whole block.
void flashAddAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    const size_t done =
        flashChunks(block, sizeBytes, colour, [](__m256i p, __m256i c) { return channelAddSatAvx2(p, c); });
    sse2::flashAddSse2(block + done, sizeBytes - done, colour);
}

void flashSubAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    const size_t done =
        flashChunks(block, sizeBytes, colour, [](__m256i p, __m256i c) { return channelSubSatAvx2(p, c); });
    sse2::flashSubSse2(block + done, sizeBytes - done, colour);
}

void flashModAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    const size_t done =
        flashChunks(block, sizeBytes, colour, [](__m256i p, __m256i c) { return channelModulateAvx2(p, c); });
    sse2::flashModSse2(block + done, sizeBytes - done, colour);
}

}  // namespace velkano::avx2
