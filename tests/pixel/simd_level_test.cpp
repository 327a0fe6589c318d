#include "pixel/simd_level.h"

#include <gtest/gtest.h>

#include <cstdint>

#if VELKANO_ARCH_X86
#  include <cpuid.h>
#endif

namespace velkano {
namespace {

#if VELKANO_ARCH_X86
// AVX2 by asking the processor directly: the AVX2 feature bit, and the operating system
// saving the SSE and AVX register state (OSXSAVE, then XCR0 bits 1 and 2).
bool processorRunsAvx2() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) return false;
    uint32_t xcr0Low, xcr0High;
    __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & 0x6u) != 0x6u) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return (ebx & bit_AVX2) != 0;
}

// Both builds must find AVX2 where it is, or the fast kernels silently never run.
TEST(simdLevel, detectsWhatTheProcessorRuns) {
    EXPECT_EQ(detectedSimdLevel(), processorRunsAvx2() ? SimdLevel::Avx2 : SimdLevel::Sse2);
}
#else
// Every ARM64 processor has Advanced SIMD: the NEON kernels always run.
TEST(simdLevel, detectsWhatTheProcessorRuns) { EXPECT_EQ(detectedSimdLevel(), SimdLevel::Neon); }
#endif

}  // namespace
}  // namespace velkano
