// The AVX2 flash kernels: 64 bytes a step over the whole 32-byte chunks, then the SSE2
// kernel takes the rest. This file is built with AVX2 enabled and so includes no header
// with inline code that the rest of the library shares.
#include <immintrin.h>

#include "effects/flash.h"

namespace velkano::avx2 {
namespace {

inline __m256i load32(const uint8_t* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }
inline void store32(uint8_t* at, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v); }

struct AddSat {
    explicit AddSat(uint32_t colour) : c(_mm256_set1_epi32(static_cast<int32_t>(colour))) {}
    __m256i operator()(__m256i p) const { return _mm256_adds_epu8(p, c); }
    __m256i c;
};

struct SubSat {
    explicit SubSat(uint32_t colour) : c(_mm256_set1_epi32(static_cast<int32_t>(colour))) {}
    __m256i operator()(__m256i p) const { return _mm256_subs_epu8(p, c); }
    __m256i c;
};

// min(255, (p * c) >> 7) as the high half of (p << 8) * (c << 1), packed with saturation.
// Unpack and pack both work within 128-bit halves, so the byte order comes back intact.
struct Modulate {
    explicit Modulate(uint32_t colour) {
        const __m256i c = _mm256_set1_epi32(static_cast<int32_t>(colour));
        doubled = _mm256_slli_epi16(_mm256_unpacklo_epi8(c, _mm256_setzero_si256()), 1);
    }
    __m256i operator()(__m256i p) const {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i lo = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, p), doubled);
        const __m256i hi = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, p), doubled);
        return _mm256_packus_epi16(lo, hi);
    }
    __m256i doubled;  // the colour's 4-byte pattern repeats, so low and high halves share it
};

// Runs `op` over the first whole 32-byte chunks of `sizeBytes`; returns how many bytes it did.
template <typename PackedOp>
size_t flashChunks(uint8_t* block, size_t sizeBytes, PackedOp op) {
    size_t at = 0;
    for (; sizeBytes - at >= 64; at += 64) {
        const __m256i p0 = load32(block + at), p1 = load32(block + at + 32);
        store32(block + at, op(p0));
        store32(block + at + 32, op(p1));
    }
    if (sizeBytes - at >= 32) {
        store32(block + at, op(load32(block + at)));
        at += 32;
    }
    return at;
}

}  // namespace

// The SSE2 kernels finish the tail: `done` is a multiple of 8, so the colour pattern and the
// 8-byte groups line up as if one kernel had walked the whole block.
void flashAddAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    const size_t done = flashChunks(block, sizeBytes, AddSat(colour));
    sse2::flashAddSse2(block + done, sizeBytes - done, colour);
}

void flashSubAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    const size_t done = flashChunks(block, sizeBytes, SubSat(colour));
    sse2::flashSubSse2(block + done, sizeBytes - done, colour);
}

void flashModAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    const size_t done = flashChunks(block, sizeBytes, Modulate(colour));
    sse2::flashModSse2(block + done, sizeBytes - done, colour);
}

}  // namespace velkano::avx2
