// Runs the suite at the best kernel level of the machine, or at the one forced with
// --simd=NAME (scalar, sse2, avx2 on x86; scalar, neon on ARM64), so every kernel set meets the
// same expectations.
#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>

#include "context/kernel_table.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!arg.starts_with("--simd=")) continue;
        const auto level = velkano::simdLevelNamed(arg.substr(7));
        if (!level) {
            std::fprintf(stderr, "%s: this build has no kernel level %s\n", argv[0], argv[i]);
            return 2;
        }
        velkano::forceSimdLevelForTests(*level);
    }
    return RUN_ALL_TESTS();
}
