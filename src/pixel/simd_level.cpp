#include "pixel/simd_level.h"

namespace velkano {
namespace {
SimdLevel currentLevel = SimdLevel::Sse2;
}

SimdLevel simdLevel() { return currentLevel; }

void forceSimdLevelForTests(SimdLevel level) { currentLevel = level; }

}  // namespace velkano
