// kernel_tables.cpp: the kernel table of every level, filled from VELKANO_KERNEL_SLOTS. It
// sees every module's kernels, so it lives with the entry points above them.
#include "context/kernel_table.h"

#include <array>
#include <utility>

#include "effects/flash.h"
#include "raster/persp_triangle.h"
#include "raster/span_compositor.h"
#include "raster/triangle_spans.h"
#include "raster/uv_grid.h"
#include "tile/tile_blit.h"

namespace velkano {
namespace {

#if VELKANO_ARCH_ARM64
template <typename Kernel>
Kernel atLevel(SimdLevel level, Kernel scalar, Kernel neon) {
    return level == SimdLevel::Neon ? neon : scalar;
}
// A row's kernels of this architecture's levels: scalar, NEON.
#  define VELKANO_LEVEL_KERNELS(scalar, sse2, avx2, neon) scalar, neon
#else
template <typename Kernel>
Kernel atLevel(SimdLevel level, Kernel scalar, Kernel sse2, Kernel avx2) {
    switch (level) {
        case SimdLevel::Scalar: return scalar;
        case SimdLevel::Sse2: return sse2;
        case SimdLevel::Avx2: return avx2;
    }
    return scalar;
}
// A row's kernels of this architecture's levels: scalar, SSE2, AVX2.
#  define VELKANO_LEVEL_KERNELS(scalar, sse2, avx2, neon) scalar, sse2, avx2
#endif

template <typename Fit, typename Kernel>
KernelSlot<Kernel, Fit> slotOf(Kernel kernel, Kernel scalar) {
    return {kernel, scalar};
}
// The compositor's sets take the scalar kernel of every mode the level has none for.
template <typename Fit>
KernelSlot<SpanKernels, Fit> slotOf(const SpanKernels& level, const SpanKernels& scalar) {
    KernelSlot<SpanKernels, Fit> slot{level};
    for (const auto set : {&SpanKernels::plain, &SpanKernels::lit, &SpanKernels::multiplyLit})
        for (size_t mode = 0; mode < kBlendModes; ++mode)
            if ((slot.kernels.*set)[mode] == nullptr) (slot.kernels.*set)[mode] = (scalar.*set)[mode];
    return slot;
}

KernelTable makeTable(SimdLevel level) {
    KernelTable table{};
    table.level = level;
#define VELKANO_INSTALL_SLOT(name, Kernel, Fit, scalar, ...) \
  table.name =                                               \
      slotOf<Fit>(atLevel<Kernel>(level, VELKANO_LEVEL_KERNELS(scalar, __VA_ARGS__)), static_cast<Kernel>(scalar));
    VELKANO_KERNEL_SLOTS(VELKANO_INSTALL_SLOT)
#undef VELKANO_INSTALL_SLOT
    return table;
}

// Filled before any entry point can run (static initialisation, in this one file, so no
// order between files matters: the compositor's sets are constants); plain statics keep the
// entry points free of guards.
const SimdLevel detectedLevel = detectedSimdLevel();
// One table per level of this architecture, indexed by the level.
template <size_t... I>
std::array<KernelTable, sizeof...(I)> makeTables(std::index_sequence<I...>) {
    return {makeTable(kSimdLevels[I])...};
}
const auto tables = makeTables(std::make_index_sequence<kSimdLevels.size()>());
const KernelTable* inForce = &kernelTable(detectedLevel);

}  // namespace

const KernelTable& kernels() { return *inForce; }

const KernelTable& kernelTable(SimdLevel level) {
    return tables[static_cast<int>(level > detectedLevel ? detectedLevel : level)];
}

void forceSimdLevelForTests(SimdLevel level) { inForce = &kernelTable(level); }

}  // namespace velkano
