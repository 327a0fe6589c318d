// kernel_table.h: the kernels every drawing call runs, one table per kernel level.
// The table of the level in force is chosen once, when the library loads (the best level
// the machine runs) or when a test forces another; drawing calls read their kernels from
// kernels() and never ask for the level themselves. Each module fills its own slots with
// its install function, and the types it passes are its own: declared here, defined in the
// module's chief header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pixel/simd_level.h"

namespace velkano {

struct RenderContext;
struct TileRow;
struct TileInk;
struct SpanImages;
struct SpanWalk;
struct TextureSpan;
struct LightSpan;
struct TextureRows;
struct LightRows;
struct GridRange;
struct GridFill;
struct GridPoints;
struct BlockWalk;
enum class CompositeMode : int32_t;

// effects/flash.h
using FlashKernel = void (*)(uint8_t* block, size_t sizeBytes, uint32_t colour);
// tile/tile_blit.h
using TileRowKernel = void (*)(const TileRow& row, const TileInk& ink);
// raster/span_compositor.h; a chooser gives null for a mode that writes nothing
using SpanKernel = void (*)(const SpanImages& images, const SpanWalk& walk);
using SpanKernelChooser = SpanKernel (*)(CompositeMode mode);
// raster/triangle_spans.h
using TextureSpanKernel = void (*)(const RenderContext& context, const TextureSpan& span);
using LightSpanKernel = void (*)(const LightSpan& span);
using TextureRowsKernel = void (*)(const RenderContext& context, TextureRows& rows);
using LightRowsKernel = void (*)(LightRows& rows);
// raster/uv_grid.h
using GridPointsKernel = void (*)(const GridPoints& points);
// raster/persp_triangle.h
using BlockKernel = void (*)(const RenderContext& context, const BlockWalk& walk);
using LitBlockKernel = void (*)(const RenderContext& context, const BlockWalk& texture, const BlockWalk& light);

struct KernelTable {
    SimdLevel level;
    FlashKernel flashAdd, flashSub, flashMod;
    TileRowKernel tileRow;
    SpanKernelChooser spanKernel, litSpanKernel;
    // Lit by mode 4, not 3.
    SpanKernelChooser multiplyLitSpanKernel;
    TextureSpanKernel textureSpan;  // for textures that fit packed offsets; textureSpanScalar otherwise
    LightSpanKernel lightSpan;
    TextureRowsKernel textureRows;
    LightRowsKernel lightRows;
    GridPointsKernel gridPoints;
    BlockKernel textureBlocks, lightmapBlocks;  // likewise for the fit of the bound image
    LitBlockKernel litBlocks;                   // for a texture and a lightmap that both fit
};

// The table of the level in force.
const KernelTable& kernels();
// The table of `level`, or of the detected level if that is lower (benchmarks, tests).
const KernelTable& kernelTable(SimdLevel level);
// For tests only (never exported): every later call runs the kernels of `level` (at most
// the detected one).
void forceSimdLevelForTests(SimdLevel level);

// Each module fills its slots of a level's table: the kernels of that level, or of the
// highest level below it that the module has.
void installFlashKernels(KernelTable& table);         // effects/flash.cpp
void installTileKernels(KernelTable& table);          // tile/tile_blit.cpp
void installCompositorKernels(KernelTable& table);    // raster/span_compositor.cpp
void installTriangleSpanKernels(KernelTable& table);  // raster/triangle_spans.cpp
void installGridKernels(KernelTable& table);          // raster/uv_grid.cpp
void installBlockKernels(KernelTable& table);         // raster/persp_triangle.cpp

}  // namespace velkano
