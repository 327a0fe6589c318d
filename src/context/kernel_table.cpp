#include "context/kernel_table.h"

namespace velkano {
namespace {

KernelTable makeTable(SimdLevel level) {
    KernelTable table{};
    table.level = level;
    installFlashKernels(table);
    installTileKernels(table);
    installCompositorKernels(table);
    installTriangleSpanKernels(table);
    installGridKernels(table);
    installBlockKernels(table);
    return table;
}

// Filled before any entry point can run (static initialisation, in this one file, so no
// order between files matters); plain statics keep the entry points free of guards.
const SimdLevel detectedLevel = detectedSimdLevel();
const KernelTable tables[] = {makeTable(SimdLevel::Scalar), makeTable(SimdLevel::Sse2), makeTable(SimdLevel::Avx2)};
const KernelTable* inForce = &kernelTable(detectedLevel);

}  // namespace

const KernelTable& kernels() { return *inForce; }

const KernelTable& kernelTable(SimdLevel level) {
    return tables[static_cast<int>(level > detectedLevel ? detectedLevel : level)];
}

void forceSimdLevelForTests(SimdLevel level) { inForce = &kernelTable(level); }

}  // namespace velkano
