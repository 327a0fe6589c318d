// Runs the suite at the best kernel level of the machine, or at the one forced with
// --simd=scalar or --simd=sse2, so every kernel set meets the same expectations.
#include <gtest/gtest.h>

#include <cstring>

#include "context/kernel_table.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simd=scalar") == 0) velkano::forceSimdLevelForTests(velkano::SimdLevel::Scalar);
        if (std::strcmp(argv[i], "--simd=sse2") == 0) velkano::forceSimdLevelForTests(velkano::SimdLevel::Sse2);
    }
    return RUN_ALL_TESTS();
}
