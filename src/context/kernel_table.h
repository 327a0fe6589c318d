// kernel_table.h: the kernels every drawing call runs, one table per kernel level.
//
// VELKANO_KERNEL_SLOTS is the one list of them. Each row names a slot, its type, its fit rule
// and its kernel at each level: scalar (the reference), SSE2 (velkano::sse2) and AVX2
// (velkano::avx2) on x86, NEON (velkano::neon) on ARM64; a level with no kernel of its own
// names the one below (NEON: the scalar one). Each architecture's build reads only its own
// columns, so the other's kernels are never named there. KernelTable, the
// install code, the table test and the kernel checker (tests/checker) all expand this list, so
// a slot or a level is added here and nowhere else.
//
// The fit rule says when a packed kernel may run: where the call's bound images do not fit the
// packed kernels' 32-bit lane offsets (or another limit of a packed kernel), the slot runs its
// scalar kernel itself. Drawing code calls kernels().slot(...) and never chooses a kernel or
// asks for the level. The table of the level in force is chosen once, when the library loads
// (the best level the machine runs) or when a test forces another.
//
// The kernels' argument types are their modules' own: declared here, defined in the module's
// chief header (effects/flash.h, tile/tile_blit.h, raster/*.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/texture_binding.h"
#include "pixel/simd_level.h"

// name, type, fit rule, scalar, SSE2, AVX2, NEON
#define VELKANO_KERNEL_SLOTS(X)                                                                                     \
  X(flashAdd, FlashKernel, AnyCall, flashAddScalar, sse2::flashAddSse2, avx2::flashAddAvx2, neon::flashAddNeon)     \
  X(flashSub, FlashKernel, AnyCall, flashSubScalar, sse2::flashSubSse2, avx2::flashSubAvx2, neon::flashSubNeon)     \
  X(flashMod, FlashKernel, AnyCall, flashModScalar, sse2::flashModSse2, avx2::flashModAvx2, neon::flashModNeon)     \
  X(tileRow, TileRowKernel, AnyCall, tileRowScalar, sse2::tileRowSse2, avx2::tileRowAvx2, neon::tileRowNeon)        \
  X(spans, SpanKernels, AnyCall, spanKernelsScalar, sse2::spanKernelsSse2, avx2::spanKernelsAvx2,                   \
    neon::spanKernelsNeon)                                                                                          \
  X(textureSpan, TextureSpanKernel, TextureFits, textureSpanScalar, sse2::textureSpanSse2, avx2::textureSpanAvx2,   \
    neon::textureSpanNeon)                                                                                          \
  X(lightSpan, LightSpanKernel, AnyCall, lightSpanScalar, sse2::lightSpanSse2, sse2::lightSpanSse2,                 \
    neon::lightSpanNeon)                                                                                            \
  X(textureRows, TextureRowsKernel, AnyCall, textureRowsScalar, sse2::textureRowsSse2, sse2::textureRowsSse2,       \
    neon::textureRowsNeon)                                                                                          \
  X(lightRows, LightRowsKernel, LightRowsFit, lightRowsScalar, sse2::lightRowsSse2, sse2::lightRowsSse2,            \
    neon::lightRowsNeon)                                                                                            \
  X(gridPoints, GridPointsKernel, AnyCall, gridPointsScalar, sse2::gridPointsSse2, avx2::gridPointsAvx2,            \
    neon::gridPointsNeon)                                                                                           \
  X(textureBlocks, BlockKernel, TextureFits, textureBlocksScalar, sse2::textureBlocksSse2, avx2::textureBlocksAvx2, \
    neon::textureBlocksNeon)                                                                                        \
  X(litBlocks, LitBlockKernel, TextureAndLightmapFit, litBlocksScalar, sse2::litBlocksSse2, avx2::litBlocksAvx2,    \
    neon::litBlocksNeon)

namespace velkano {

struct TileRow;
struct TileInk;
struct SpanImages;
struct SpanWalk;
struct TextureSpan;
struct LightSpan;
struct TextureRows;
struct LightRows;
struct GridPoints;
struct BlockWalk;
struct LitBlockWalk;
enum class CompositeMode : int32_t;

// effects/flash.h
using FlashKernel = void (*)(uint8_t* block, size_t sizeBytes, uint32_t colour);
// tile/tile_blit.h
using TileRowKernel = void (*)(const TileRow& row, const TileInk& ink);
// raster/span_compositor.h
using SpanKernel = void (*)(const SpanImages& images, const SpanWalk& walk);
// raster/triangle_spans.h
using TextureSpanKernel = void (*)(const RenderContext& context, const TextureSpan& span);
using LightSpanKernel = void (*)(const LightSpan& span);
using TextureRowsKernel = void (*)(const RenderContext& context, TextureRows& rows);
using LightRowsKernel = void (*)(LightRows& rows);
// raster/uv_grid.h
using GridPointsKernel = void (*)(const GridPoints& points);
// raster/persp_triangle.h
using BlockKernel = void (*)(const RenderContext& context, const BlockWalk& walk);
using LitBlockKernel = void (*)(const RenderContext& context, const LitBlockWalk& walk);

// The span compositor's kernels of one level by the host's blend mode (0 to 6): plain, lit
// by mode 3 first, lit by mode 4 first. Null where the mode writes nothing, and in a level's
// own sets where the level has no kernel for the mode (the table then takes the scalar one).
constexpr size_t kBlendModes = 7;
struct SpanKernels {
    SpanKernel plain[kBlendModes];
    SpanKernel lit[kBlendModes];
    SpanKernel multiplyLit[kBlendModes];
};
// The kernel of `mode` in one of the sets, null for a mode that writes nothing.
inline SpanKernel spanKernelOf(const SpanKernel (&byMode)[kBlendModes], CompositeMode mode) {
    const auto at = static_cast<uint32_t>(mode);
    return at < kBlendModes ? byMode[at] : nullptr;
}

// Fit rules: whether a call may run the packed kernel.
struct AnyCall {
    static constexpr bool check(const auto&...) { return true; }
};
struct TextureFits {
    static bool check(const RenderContext& context, const auto&...) { return textureFitsPackedOffsets(context); }
};
struct TextureAndLightmapFit {
    static bool check(const RenderContext& context, const auto&...) {
        return textureFitsPackedOffsets(context) && lightmapFitsPackedOffsets(context);
    }
};
struct LightRowsFit {
    static bool check(const LightRows& rows);  // raster/triangle_spans.h
};

// One slot of a table: the level's kernel, and the scalar one that serves the calls the fit
// rule turns away. Called like the kernel itself.
template <typename Kernel, typename Fit>
struct KernelSlot;
template <typename... Args, typename Fit>
struct KernelSlot<void (*)(Args...), Fit> {
    void (*packed)(Args...);
    void (*scalar)(Args...);
    void operator()(Args... args) const {
        if (Fit::check(args...)) packed(args...);
        else scalar(args...);
    }
};
// The compositor's slot: the sets of the level, with the scalar kernels where it has none.
template <>
struct KernelSlot<SpanKernels, AnyCall> {
    SpanKernels kernels;
    SpanKernel plain(CompositeMode mode) const { return spanKernelOf(kernels.plain, mode); }
    SpanKernel lit(CompositeMode mode) const { return spanKernelOf(kernels.lit, mode); }
    SpanKernel multiplyLit(CompositeMode mode) const { return spanKernelOf(kernels.multiplyLit, mode); }
};

struct KernelTable {
    SimdLevel level;
#define VELKANO_SLOT_FIELD(name, Kernel, Fit, ...) KernelSlot<Kernel, Fit> name;
    VELKANO_KERNEL_SLOTS(VELKANO_SLOT_FIELD)
#undef VELKANO_SLOT_FIELD
};

// The table of the level in force.
const KernelTable& kernels();
// The table of `level`, or of the detected level if that is lower (benchmarks, tests).
const KernelTable& kernelTable(SimdLevel level);
// For tests only (never exported): every later call runs the kernels of `level` (at most
// the detected one).
void forceSimdLevelForTests(SimdLevel level);

}  // namespace velkano
