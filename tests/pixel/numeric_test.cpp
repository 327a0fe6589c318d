#include "pixel/numeric.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>

#include "../support/guarded_bytes.h"
#include "pixel/simd_level.h"

#if VELKANO_ARCH_X86
#  include <emmintrin.h>
#endif

namespace velkano {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct ConversionCase {
    double x;
    int32_t nearest, floor;
};
const ConversionCase kConversions[] = {
    {0.5, 0, 0},
    {1.5, 2, 1},
    {2.5, 2, 2},
    {-0.5, 0, -1},
    {-1.5, -2, -2},
    {-2.5, -2, -3},
    {-0.1, 0, -1},
    {2.4999999999999996, 2, 2},
    {2147483647.0, INT32_MAX, INT32_MAX},
    {2147483647.49, INT32_MAX, INT32_MAX},
    {2147483647.5, INT32_MIN, INT32_MAX},  // rounds to 2^31: outside the range
    {2147483648.0, INT32_MIN, INT32_MIN},
    {-2147483648.0, INT32_MIN, INT32_MIN},  // in range: the genuine minimum
    {-2147483648.5, INT32_MIN, INT32_MIN},  // nearest is the even -2^31; floor is below it
    {-2147483649.0, INT32_MIN, INT32_MIN},
    {1e300, INT32_MIN, INT32_MIN},
    {kNaN, INT32_MIN, INT32_MIN},
    {kInf, INT32_MIN, INT32_MIN},
    {-kInf, INT32_MIN, INT32_MIN},
};

// The conversions must not depend on the thread's rounding mode, which a host may change.
TEST(conversions, workedCasesInEveryRoundingMode) {
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const auto& c : kConversions) {
            EXPECT_EQ(roundHalfEvenToInt(c.x), c.nearest) << "nearest " << c.x << " mode " << mode;
            EXPECT_EQ(floorToInt(c.x), c.floor) << "floor " << c.x << " mode " << mode;
        }
    }
    std::fesetround(FE_TONEAREST);
}

#if VELKANO_ARCH_X86
// The rule is the one the x86 conversion instructions follow: cvtsd2si (nearest) and
// cvttsd2si of the floored value give the same answers for any double.
int32_t x86Nearest(double x) { return _mm_cvtsd_si32(_mm_set_sd(x)); }
int32_t x86Truncate(double x) { return _mm_cvttsd_si32(_mm_set_sd(x)); }
#else
// ARM64's conversions saturate instead; the x86 rule there: the integer when it is in range,
// kIntegerIndefinite otherwise (NaN included).
int32_t inRangeOrIndefinite(double integral) {
    return integral >= -2147483648.0 && integral < 2147483648.0 ? static_cast<int32_t>(integral) : INT32_MIN;
}
int32_t x86Nearest(double x) { return inRangeOrIndefinite(std::nearbyint(x)); }
int32_t x86Truncate(double x) { return inRangeOrIndefinite(std::trunc(x)); }
#endif

TEST(conversions, agreeWithTheX86Conversion) {
    testing::Random rng(5);
    for (int i = 0; i < 1000000; ++i) {
        double x;
        if (i % 2 == 0) {
            uint64_t bits = (uint64_t{rng.next()} << 32) | rng.next();
            std::memcpy(&x, &bits, sizeof x);
        } else {  // values near halves and the range ends, where the rules matter
            x = static_cast<double>(static_cast<int32_t>(rng.next())) + 0.5 * (rng.next() % 5) - 1.0;
        }
        ASSERT_EQ(roundHalfEvenToInt(x), x86Nearest(x)) << x;
        ASSERT_EQ(floorToInt(x), x86Truncate(std::floor(x))) << x;
    }
}

TEST(conversions, fixedPointFloorsTowardsMinusInfinity) {
    EXPECT_EQ(floorToFx(-0.3), -308);  // not -307
    EXPECT_EQ(floorToFx(0.3), 307);
    EXPECT_EQ(floorToFx(2.0), 2048);
    EXPECT_EQ(floorToFx(2097152.0), INT32_MIN);  // 2^21 * 1024 leaves the range
    EXPECT_EQ(floorToFx(kNaN), INT32_MIN);
}

TEST(wrappingArithmetic, neverTraps) {
    EXPECT_EQ(wrapAdd(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(wrapSub(INT32_MIN, 1), INT32_MAX);
    EXPECT_EQ(wrapMul(0x10000, 0x10000), 0);
    EXPECT_EQ(wrapMul(-3, 7), -21);
    EXPECT_EQ(divideNoTrap(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(divideNoTrap(7, 0), INT32_MIN);
    EXPECT_EQ(divideNoTrap(-7, 2), -3);  // truncates
    EXPECT_EQ(shiftRightArithmetic(-1025, 10), -2);
    EXPECT_EQ(shiftRightArithmetic(INT32_MIN, 31), -1);
    EXPECT_EQ(shiftRightArithmetic(1025, 10), 1);
    EXPECT_EQ(shiftRightLogical(-1, 28), 15u);
}

TEST(alignUp, workedCases) {
    static const struct {
        int32_t a, m, up;
    } cases[] = {
        {1, 16, 16},
        {16, 16, 16},
        {17, 16, 32},
        {0, 16, 0},
        {31, 16, 32},
        {-1, 16, 0},
        {-16, 16, -16},
        {-17, 16, -16},
        {5, 1, 5},
        {INT32_MIN, 16, INT32_MIN},
        {INT32_MAX, 16, INT32_MIN},  // wraps
    };
    for (const auto& c : cases) EXPECT_EQ(alignUp(c.a, c.m), c.up) << "alignUp(" << c.a << ", " << c.m << ")";
}

TEST(lerpFloat, roundsOnceAtTheEnd) {
    // In float arithmetic 1e8 + (1 - 1e8) * 1 would lose the 1; in double it survives.
    EXPECT_EQ(lerpFloat(1e8f, 1.0f, 1.0f), 1.0f);
    EXPECT_EQ(lerpFloat(0.0f, 10.0f, 0.5f), 5.0f);
    EXPECT_EQ(lerpFloat(-3.0f, 5.0f, 0.25f), -1.0f);
}

}  // namespace
}  // namespace velkano
