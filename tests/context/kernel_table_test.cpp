#include "context/kernel_table.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velkano {
namespace {

// Every slot of every level is filled: a module that forgot its install function would
// leave a drawing call jumping to null.
TEST(kernelTable, everyLevelFillsEverySlot) {
    for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2}) {
        const KernelTable& table = kernelTable(level);
        EXPECT_EQ(table.level, std::min(level, detectedSimdLevel())) << static_cast<int>(level);
        const void* slots[] = {
            reinterpret_cast<const void*>(table.flashAdd),      reinterpret_cast<const void*>(table.flashSub),
            reinterpret_cast<const void*>(table.flashMod),      reinterpret_cast<const void*>(table.tileRow),
            reinterpret_cast<const void*>(table.spanKernel),    reinterpret_cast<const void*>(table.litSpanKernel),
            reinterpret_cast<const void*>(table.textureSpan),   reinterpret_cast<const void*>(table.lightSpan),
            reinterpret_cast<const void*>(table.gridPoints),    reinterpret_cast<const void*>(table.textureBlocks),
            reinterpret_cast<const void*>(table.lightmapBlocks)};
        for (size_t i = 0; i < std::size(slots); ++i)
            EXPECT_NE(slots[i], nullptr) << "level " << static_cast<int>(level) << ", slot " << i;
        EXPECT_TRUE(table.multiplyLitSpanKernel != nullptr && table.textureRows != nullptr &&
                    table.lightRows != nullptr)
            << "level " << static_cast<int>(level);
    }
}

// Forcing a level swaps the whole table; the scalar table's kernels differ from the packed
// ones, so a drawing call really runs the reference.
TEST(kernelTable, forcingALevelSwapsTheTable) {
    const SimdLevel before = kernels().level;
    forceSimdLevelForTests(SimdLevel::Scalar);
    EXPECT_EQ(&kernels(), &kernelTable(SimdLevel::Scalar));
    EXPECT_NE(kernels().tileRow, kernelTable(SimdLevel::Sse2).tileRow);
    forceSimdLevelForTests(SimdLevel::Avx2);
    EXPECT_EQ(kernels().level, detectedSimdLevel()) << "never above what the machine runs";
    forceSimdLevelForTests(before);
    EXPECT_EQ(kernels().level, before);
}

}  // namespace
}  // namespace velkano
