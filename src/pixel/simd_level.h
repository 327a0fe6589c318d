// simd_level.h: which kernel level the drawing calls run.
// SSE2 is the baseline of both targets; AVX2 kernels run where the processor and the
// operating system support them. Every level gives the same bytes as the scalar
// reference. Each module asks once per call, never per pixel.
#pragma once

namespace velkano {

enum class SimdLevel { Scalar, Sse2, Avx2 };

// The level in force: the best the machine supports, unless a test forced another.
SimdLevel simdLevel();
// The best level this machine supports.
SimdLevel detectedSimdLevel();
// For tests only (never exported): run every later call at `level` (at most the detected one).
void forceSimdLevelForTests(SimdLevel level);

}  // namespace velkano
