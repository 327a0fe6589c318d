// Runs the suite at the normal kernel level, or with --simd=scalar at the scalar reference
// level, so both kernel sets meet the same expectations.
#include <gtest/gtest.h>

#include <cstring>

#include "pixel/simd_level.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--simd=scalar") == 0) velkano::forceSimdLevelForTests(velkano::SimdLevel::Scalar);
    return RUN_ALL_TESTS();
}
