// The packed twins against their scalar references over every pair of lane values, with
// every pair visiting every one of the sixteen lane positions.
#include <emmintrin.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "../support/guarded_bytes.h"
#include "../support/image_difference.h"
#include "pixel/channel_ops.h"
#include "pixel/channel_ops_sse2.h"

namespace velkano {
namespace {

using testing::hexWord;

using PackedOp = __m128i (*)(__m128i, __m128i);
using ScalarOp = uint32_t (*)(uint32_t, uint32_t);

// The first disagreement between packed and scalar over all 65,536 lane pairs, or nothing.
// Pass `rotation` puts pair k into lane (k + rotation) mod 16, so sixteen passes place every
// pair in every lane.
template <typename Packed, typename Scalar>
std::optional<std::string> firstMismatch(Packed packed, Scalar scalar) {
    alignas(16) uint8_t a[16], b[16];
    alignas(16) uint32_t got[4];
    for (uint32_t rotation = 0; rotation < 16; ++rotation)
        for (uint32_t group = 0; group < 65536 / 16; ++group) {
            for (uint32_t lane = 0; lane < 16; ++lane) {
                const uint32_t pair = group * 16 + (lane + rotation) % 16;
                a[lane] = static_cast<uint8_t>(pair >> 8);
                b[lane] = static_cast<uint8_t>(pair);
            }
            const __m128i result = packed(_mm_load_si128(reinterpret_cast<const __m128i*>(a)),
                                          _mm_load_si128(reinterpret_cast<const __m128i*>(b)));
            _mm_store_si128(reinterpret_cast<__m128i*>(got), result);
            for (int word = 0; word < 4; ++word) {
                uint32_t wa, wb;
                std::memcpy(&wa, a + 4 * word, 4);
                std::memcpy(&wb, b + 4 * word, 4);
                const uint32_t want = scalar(wa, wb);
                if (got[word] != want) {
                    char text[96];
                    std::snprintf(text, sizeof text, "a=%08X b=%08X packed %08X scalar %08X", wa, wb, got[word], want);
                    return text;
                }
            }
        }
    return std::nullopt;
}

TEST(channelOpsSse2, everyLanePairMatchesScalar) {
    static const struct {
        const char* name;
        PackedOp packed;
        ScalarOp scalar;
    } ops[] = {
        {"addSat", channelAddSatSse2, [](uint32_t a, uint32_t b) { return channelAddSat(a, b); }},
        {"subSat", channelSubSatSse2, [](uint32_t a, uint32_t b) { return channelSubSat(a, b); }},
        {"multiply", channelMultiplySse2, [](uint32_t a, uint32_t b) { return channelMultiply(a, b); }},
        {"modulate", channelModulateSse2, [](uint32_t a, uint32_t b) { return channelModulate(a, b); }},
    };
    for (const auto& op : ops) {
        const auto mismatch = firstMismatch(op.packed, op.scalar);
        EXPECT_FALSE(mismatch) << op.name << ": " << *mismatch;
    }
}

// The harness must be able to fail: a packed operation paired with the wrong reference.
TEST(channelOpsSse2, harnessCatchesAWrongKernel) {
    EXPECT_TRUE(firstMismatch(channelModulateSse2, [](uint32_t a, uint32_t b) { return channelMultiply(a, b); }));
    EXPECT_TRUE(firstMismatch(channelAddSatSse2, [](uint32_t a, uint32_t b) { return a + b; }));  // carries
}

TEST(colourToPixelSse2, matchesScalar) {
    testing::Random rng(3);
    alignas(16) uint32_t words[4], got[4];
    for (int i = 0; i < 100000; ++i) {
        for (auto& w : words) w = rng.next();
        _mm_store_si128(reinterpret_cast<__m128i*>(got),
                        colourToPixelSse2(_mm_load_si128(reinterpret_cast<const __m128i*>(words))));
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(hexWord(got[k]), hexWord(colourToPixel(words[k]))) << "colour " << hexWord(words[k]);
    }
}

}  // namespace
}  // namespace velkano
