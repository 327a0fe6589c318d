#include "pixel/channel_ops.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "../support/guarded_bytes.h"
#include "../support/image_difference.h"

namespace velkano {
namespace {

using testing::hexWord;

enum class Op { AddSat, SubSat, Multiply, Modulate };

uint32_t apply(Op op, uint32_t a, uint32_t b) {
    switch (op) {
        case Op::AddSat: return channelAddSat(a, b);
        case Op::SubSat: return channelSubSat(a, b);
        case Op::Multiply: return channelMultiply(a, b);
        case Op::Modulate: return channelModulate(a, b);
    }
    return 0;
}

TEST(channelOps, workedCases) {
    static const struct {
        Op op;
        uint32_t a, b, want;
        const char* why;
    } cases[] = {
        {Op::AddSat, 0x00F01020, 0x00203040, 0x00FF4060, "red saturates, the others add"},
        {Op::SubSat, 0x00102030, 0x00203010, 0x00000020, "lanes clamp at 0"},
        {Op::Modulate, 0x80FF4080, 0x80808080, 0x80FF4080, "128 keeps every lane, X included"},
        {Op::Modulate, 0x00804020, 0x00FFFFFF, 0x00FF7F3F, "255 nearly doubles, saturating"},
        {Op::Multiply, 0xFFFFFFFF, 0xFFFFFFFF, 0xFEFEFEFE, "white times white darkens a step"},
        {Op::Multiply, 0x00804020, 0x00808080, 0x00402010, "128 halves"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hexWord(apply(c.op, c.a, c.b)), hexWord(c.want))
            << hexWord(c.a) << " " << hexWord(c.b) << ": " << c.why;
}

// Each lane follows its formula whatever its neighbours hold: no carry, no borrow.
TEST(channelOps, lanesAreIndependent) {
    testing::Random rng(11);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t a = rng.next(), b = rng.next();
        for (uint32_t shift = 0; shift < 32; shift += 8) {
            const uint32_t x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
            const auto lane = [&](uint32_t word) { return (word >> shift) & 0xFF; };
            ASSERT_EQ(lane(channelAddSat(a, b)), std::min(255u, x + y));
            ASSERT_EQ(lane(channelSubSat(a, b)), x > y ? x - y : 0u);
            ASSERT_EQ(lane(channelMultiply(a, b)), (x * y) / 256);
            ASSERT_EQ(lane(channelModulate(a, b)), std::min(255u, (x * y) / 128));
            const uint32_t f = rng.next() & 0xFF;
            ASSERT_EQ(lane(channelBlend(a, b, f)), std::min(255u, x * (255 - f) / 256 + y * f / 256));
        }
    }
}

TEST(channelBlend, workedCases) {
    static const struct {
        uint32_t a, b, f, want;
        const char* why;
    } cases[] = {
        {0x00FF0000, 0x000000FF, 0, 0x00FE0000, "factor 0 is not exact: 255 becomes 254"},
        {0x00FF0000, 0x000000FF, 255, 0x000000FE, "factor 255 the same for b"},
        {0x00FF0000, 0x000000FF, 128, 0x007E007F, "halfway, each product truncated"},
        {0x00FFFFFF, 0x00FFFFFF, 128, 0x00FDFDFD, "a colour blended with itself loses two steps"},
        {0x01010101, 0x00000000, 0, 0x00000000, "1 becomes 0 at factor 0"},
    };
    for (const auto& c : cases) EXPECT_EQ(hexWord(channelBlend(c.a, c.b, c.f)), hexWord(c.want)) << c.why;
}

TEST(colourToPixel, swapsRedAndBlueAndClearsX) {
    EXPECT_EQ(hexWord(colourToPixel(0x44332211u)), hexWord(0x00112233u));
    EXPECT_EQ(hexWord(colourToPixel(0x00FF8040u)), hexWord(0x004080FFu));
    EXPECT_EQ(hexWord(colourToPixel(0xFF000000u)), hexWord(0u));
}

}  // namespace
}  // namespace velkano
