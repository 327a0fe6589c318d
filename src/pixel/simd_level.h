// simd_level.h: the kernel levels, and the best one this machine runs.
// On x86 SSE2 is the baseline of both targets and AVX2 kernels run where the processor and the
// operating system support them; on ARM64 NEON is part of the architecture, so its level
// always runs. Every level gives the same bytes as the scalar reference. Which level's kernels
// the drawing calls run is chosen once, in context/kernel_table.h.
//
// Each architecture has its own list of levels, so code that names another architecture's
// level does not compile there.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#if defined(__aarch64__)
#  define VELKANO_ARCH_ARM64 1
#elif defined(__i386__) || defined(__x86_64__)
#  define VELKANO_ARCH_X86 1
#else
#  error "Velkano builds for x86 (32 and 64 bits) and ARM64"
#endif

namespace velkano {

#if VELKANO_ARCH_ARM64
enum class SimdLevel { Scalar, Neon };
inline constexpr std::array kSimdLevels{SimdLevel::Scalar, SimdLevel::Neon};
#else
enum class SimdLevel { Scalar, Sse2, Avx2 };
inline constexpr std::array kSimdLevels{SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2};
#endif

// The best level this machine supports.
SimdLevel detectedSimdLevel();

// "scalar", "sse2", "avx2", "neon": how tests, the checker and the benchmarks name a level.
constexpr std::string_view simdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar: return "scalar";
#if VELKANO_ARCH_ARM64
        case SimdLevel::Neon: return "neon";
#else
        case SimdLevel::Sse2: return "sse2";
        case SimdLevel::Avx2: return "avx2";
#endif
    }
    return "?";
}
// The level of this build with that name, if there is one.
constexpr std::optional<SimdLevel> simdLevelNamed(std::string_view name) {
    for (const SimdLevel level : kSimdLevels)
        if (simdLevelName(level) == name) return level;
    return std::nullopt;
}

}  // namespace velkano
