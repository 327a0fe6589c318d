// simd_level.h: which kernel level the drawing calls run.
// SSE2 is the baseline of both targets, so it is the level unless a test forces the scalar
// reference kernels. Each module asks once per call, never per pixel.
#pragma once

namespace velkano {

enum class SimdLevel { Scalar, Sse2 };

SimdLevel simdLevel();
// For tests only (never exported): run every later call at `level`.
void forceSimdLevelForTests(SimdLevel level);

}  // namespace velkano
