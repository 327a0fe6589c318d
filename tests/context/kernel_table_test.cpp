#include "context/kernel_table.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velkano {
namespace {

template <typename Kernel, typename Fit>
void expectFilled(const KernelSlot<Kernel, Fit>& slot, const KernelSlot<Kernel, Fit>& scalar, const char* name) {
    EXPECT_NE(slot.packed, nullptr) << name;
    EXPECT_EQ(slot.scalar, scalar.packed) << name << ": a call the fit rule turns away runs the reference";
}
void expectFilled(const KernelSlot<SpanKernels, AnyCall>& slot, const KernelSlot<SpanKernels, AnyCall>& scalar,
                  const char* name) {
    for (size_t mode = 0; mode < kBlendModes; ++mode) {
        EXPECT_EQ(slot.kernels.plain[mode] != nullptr, scalar.kernels.plain[mode] != nullptr) << name << mode;
        EXPECT_EQ(slot.kernels.lit[mode] != nullptr, scalar.kernels.lit[mode] != nullptr) << name << mode;
        EXPECT_EQ(slot.kernels.multiplyLit[mode] != nullptr, scalar.kernels.multiplyLit[mode] != nullptr)
            << name << mode;
    }
}

// Every slot of every level is filled, and every mode the compositor writes has a kernel at
// every level: a level that named nothing would leave a drawing call jumping to null.
TEST(kernelTable, everyLevelFillsEverySlot) {
    const KernelTable& scalar = kernelTable(SimdLevel::Scalar);
    for (const SimdLevel level : kSimdLevels) {
        const KernelTable& table = kernelTable(level);
        EXPECT_EQ(table.level, std::min(level, detectedSimdLevel())) << static_cast<int>(level);
#define VELKANO_EXPECT_FILLED(name, ...) expectFilled(table.name, scalar.name, #name);
        VELKANO_KERNEL_SLOTS(VELKANO_EXPECT_FILLED)
#undef VELKANO_EXPECT_FILLED
    }
}

// Forcing a level swaps the whole table; the scalar table's kernels differ from the packed
// ones, so a drawing call really runs the reference.
TEST(kernelTable, forcingALevelSwapsTheTable) {
    const SimdLevel before = kernels().level;
    forceSimdLevelForTests(SimdLevel::Scalar);
    EXPECT_EQ(&kernels(), &kernelTable(SimdLevel::Scalar));
    EXPECT_NE(kernels().tileRow.packed, kernelTable(kSimdLevels[1]).tileRow.packed);
    forceSimdLevelForTests(kSimdLevels.back());
    EXPECT_EQ(kernels().level, detectedSimdLevel()) << "never above what the machine runs";
    forceSimdLevelForTests(before);
    EXPECT_EQ(kernels().level, before);
}

}  // namespace
}  // namespace velkano
