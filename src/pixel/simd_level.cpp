#include "pixel/simd_level.h"

namespace velkano {

SimdLevel detectedSimdLevel() {
#if VELKANO_ARCH_ARM64
    return SimdLevel::Neon;  // Advanced SIMD is part of every ARMv8-A processor
#else
    // GCC's check covers the operating system too: AVX2 counts only where it saves the
    // 256-bit registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? SimdLevel::Avx2 : SimdLevel::Sse2;
#endif
}

}  // namespace velkano
