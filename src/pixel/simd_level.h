// simd_level.h: the kernel levels, and the best one this machine runs.
// SSE2 is the baseline of both targets; AVX2 kernels run where the processor and the
// operating system support them. Every level gives the same bytes as the scalar reference.
// Which level's kernels the drawing calls run is chosen once, in context/kernel_table.h.
#pragma once

namespace velkano {

enum class SimdLevel { Scalar, Sse2, Avx2 };

// The best level this machine supports.
SimdLevel detectedSimdLevel();

}  // namespace velkano
