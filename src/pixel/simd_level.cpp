#include "pixel/simd_level.h"

namespace velkano {
namespace {

SimdLevel detect() {
    // GCC's check covers the operating system too: AVX2 counts only where it saves the
    // 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? SimdLevel::Avx2 : SimdLevel::Sse2;
}

// Set before any entry point can run; plain statics keep the entry points free of
// initialisation guards.
const SimdLevel detectedLevel = detect();
SimdLevel currentLevel = detectedLevel;

}  // namespace

SimdLevel detectedSimdLevel() { return detectedLevel; }

SimdLevel simdLevel() { return currentLevel; }

void forceSimdLevelForTests(SimdLevel level) { currentLevel = level > detectedLevel ? detectedLevel : level; }

}  // namespace velkano
