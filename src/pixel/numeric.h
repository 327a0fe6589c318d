// numeric.h: the library's one set of float-to-integer conversions and wrapping integer
// arithmetic. Every drawing path converts through these, so the native library and the
// 32-bit DLL give the same integers bit for bit.
//
// Float to integer: nearest, ties to even (floor where the name says floor). A value that is
// not finite, or whose result lies outside the signed 32-bit range, gives kIntegerIndefinite,
// the value the x86 conversion instructions produce for such inputs. The results do not
// depend on the thread's floating-point rounding mode.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "pixel/instruction_set.h"

namespace velkano {
VELKANO_HELPERS_BEGIN

constexpr int32_t kIntegerIndefinite = INT32_MIN;
constexpr int32_t kFixedShift = 10;  // 22.10 fixed point
constexpr int32_t kFixedOne = 1 << kFixedShift;
constexpr double kFixedScale = kFixedOne;

// Both conversions truncate (cvttsd2si, which ignores the rounding mode) and then correct
// by the exact remainder x - t, so they need no library call.
inline int32_t floorToInt(double x) {
    // The negated test catches NaN as well as values outside [-2^31, 2^31).
    if (!(x >= -2147483648.0 && x < 2147483648.0)) return kIntegerIndefinite;
    const int32_t t = static_cast<int32_t>(x);
    return static_cast<double>(t) > x ? t - 1 : t;  // t > x only for negative non-integers
}

inline int32_t roundHalfEvenToInt(double x) {
    // -2^31 - 0.5 rounds to the even -2^31; 2^31 - 0.5 rounds to 2^31, outside the range.
    if (!(x >= -2147483648.5 && x < 2147483647.5)) return kIntegerIndefinite;
    const int32_t t = static_cast<int32_t>(x);           // towards zero; fits in this range
    const double fraction = x - static_cast<double>(t);  // exact, in (-1, 1), sign of x
    // Branch-free: rows and spans land on ties often, so branches would mispredict.
    const int32_t odd = t & 1;
    const int32_t up = static_cast<int32_t>(fraction > 0.5) | (static_cast<int32_t>(fraction == 0.5) & odd);
    const int32_t down = static_cast<int32_t>(fraction < -0.5) | (static_cast<int32_t>(fraction == -0.5) & odd);
    return t + up - down;  // t is odd when either applies at +-0.5, so no overflow
}

// x * 1024 floored: the entry into 22.10 fixed point.
inline int32_t floorToFx(double x) { return floorToInt(x * kFixedScale); }

// Two's-complement wrapping arithmetic on signed 32-bit values, without undefined behaviour.
constexpr int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t wrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
constexpr int32_t wrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// A wrapping sum after `count` equal steps: the same as adding the step one at a time.
constexpr int32_t wrapAdvance(int32_t value, int32_t step, int64_t count) {
    return wrapAdd(value, wrapMul(static_cast<int32_t>(static_cast<uint32_t>(count)), step));
}

// Truncating division that never traps: a quotient that does not fit (-2^31 / -1) and a
// division by zero both give kIntegerIndefinite.
constexpr int32_t divideNoTrap(int32_t a, int32_t b) {
    if (b == 0 || (a == INT32_MIN && b == -1)) return kIntegerIndefinite;
    return a / b;
}

// ((a - 1) & ~(m - 1)) + m, wrapping: the smallest multiple of m (a power of two) not below
// a (a >= 1); 0 for 0.
constexpr int32_t alignUp(int32_t a, int32_t m) {
    const uint32_t mask = static_cast<uint32_t>(m) - 1u;
    return static_cast<int32_t>(((static_cast<uint32_t>(a) - 1u) & ~mask) + static_cast<uint32_t>(m));
}

// Arithmetic (sign-filling) right shift: floor(a / 2^count), count 0 to 31. C++20 defines >>
// on a negative signed value so (earlier standards left it to the implementation), and it
// compiles to one sar where the spelled-out form took a branch or a cmov.
constexpr int32_t shiftRightArithmetic(int32_t a, int count) { return a >> count; }
// Logical (zero-filling) right shift of the 32-bit pattern.
constexpr uint32_t shiftRightLogical(int32_t a, int count) { return static_cast<uint32_t>(a) >> count; }

// a + (b - a) * t, each step in double, rounded once to float at the end.
inline float lerpFloat(float a, float b, float t) {
    const double difference = static_cast<double>(b) - static_cast<double>(a);
    return static_cast<float>(static_cast<double>(a) + difference * static_cast<double>(t));
}

// Several independent binary32 running sums after `count` additions of their steps, as a
// walk makes them one step at a time (a float sum is not value + count * step). Stops early
// once no sum moves any more or each is NaN: they stay so for every later step.
template <size_t N>
void stepThrough(std::array<float, N>& values, const std::array<float, N>& steps, int64_t count) {
    for (; count > 0; --count) {
        bool settled = true;
        for (size_t i = 0; i < N; ++i) {
            const float next = values[i] + steps[i];
            settled = settled && (next == values[i] || next != next);
            values[i] = next;
        }
        if (settled) break;
    }
}
inline float stepThrough(float value, float step, int64_t count) {
    std::array<float, 1> values{value};
    stepThrough(values, {step}, count);
    return values[0];
}

VELKANO_HELPERS_END
}  // namespace velkano
