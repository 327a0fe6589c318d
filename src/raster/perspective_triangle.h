// perspective_triangle.h: DRAWPERSPTRI, a triangle textured with perspective-correct
// coordinates from the UvGrid and, when a lightmap is bound, lit by that lightmap.
//
// Order: split into two regions; fill the grid with the texture coordinates; texture both
// halves into the texture layer; with a lightmap, fill the grid with the lightmap
// coordinates, write both halves' light into the light layer and modulate it into the
// texture layer (compositor mode 3, so a light lane of 64 keeps the texel); finally write
// the texture layer into the target with the bound blend mode.
//
// The texturers fill whole 16-pixel blocks between grid columns c and c + 1, clipped to the
// image's columns. Rows are limited to the image: a half crossing its top or bottom is
// squeezed into the rows that remain, and one wholly outside it draws nothing. Nothing is
// drawn (nothing touched) while a layer, a grid table or a usable texture is missing, while
// a lightmap is bound that cannot be read, or when a rounded position lies beyond +-2^20.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/render_context.h"
#include "pixel/numeric.h"
#include "raster/span_compositor.h"

namespace velkano {

// DRAWPERSPTRI: positions (x, y per vertex), texture and lightmap coordinates (u, v per
// vertex, in texels), depths (one per vertex). Null arrays draw nothing; the lightmap
// coordinates are read only while a lightmap is bound.
void drawPerspectiveTriangle(RenderContext& context, const float* positions, const float* texCoords,
                             const float* lightmapCoords, const float* depths);

// Normalise the region and limit its rows to 0..height - 1 in place (not when top equals
// bottom), then fill every block a row's span touches. Pixel k of block c on row y takes
// u = U[c][y] + k su, su = (U[c + 1][y] - U[c][y]) >> 4 (arithmetic), v likewise.
//   texture:  the texel at column u >> 10, row v >> 10 (logical shifts), as a PixelWord
//   lightmap: the lightmap word at (u + offset u) >> 10, (v + offset v) >> 10, the offsets
//             from lightmapSampleOffsetU/V of the pixel's column and row
void textureBlockSpans(RenderContext& context, SpanRegion& region);
void lightmapBlockSpans(RenderContext& context, SpanRegion& region);

// Quarter-texel offsets (22.10) of the lightmap sample by the parities of column x and row y.
constexpr int32_t lightmapSampleOffsetU(int32_t x, int32_t y) { return 256 + 512 * (x & 1) - 256 * (y & 1); }
constexpr int32_t lightmapSampleOffsetV(int32_t x, int32_t y) { return 256 * (x & 1) + 512 * (y & 1); }

// The blocks one row of a region covers, clipped to the image: blocks firstBlock to
// firstBlock + blockCount - 1 of row y, of which the last is cut to lastBlockPixels (1 to 16)
// at the image's right edge. U[c][y] is uRow[c * stride], likewise V.
struct BlockRow {
    uint8_t* pixels;  // the layer's pixel (16 firstBlock, y)
    int32_t y;
    int32_t firstBlock;
    int32_t blockCount;
    int32_t lastBlockPixels;
    const int32_t* uRow;
    const int32_t* vRow;
    size_t stride;
};

// One block, or its first `count` pixels: pixel k (column x + k) takes uFx + k uStepFx,
// vFx + k vStepFx, accumulated by wrapping additions.
struct BlockSpan {
    uint8_t* pixels;
    int32_t x;
    int32_t count;
    int32_t uFx, vFx;
    int32_t uStepFx, vStepFx;
};

// Calls block(span) for each block of the row, left to right, with the block's grid values
// and steps: cu = U[c][y], su = (U[c + 1][y] - cu) >> 4 (arithmetic), likewise v.
template <typename Block>
inline void forEachBlock(const BlockRow& row, Block block) {
    const int32_t* u = row.uRow + static_cast<size_t>(row.firstBlock) * row.stride;
    const int32_t* v = row.vRow + static_cast<size_t>(row.firstBlock) * row.stride;
    uint8_t* pixels = row.pixels;
    for (int32_t b = 0; b < row.blockCount; ++b, u += row.stride, v += row.stride, pixels += 4 * kBlockWidth) {
        const int32_t cu = u[0], cv = v[0];
        block(BlockSpan{pixels, (row.firstBlock + b) * kBlockWidth, b + 1 == row.blockCount ? row.lastBlockPixels : kBlockWidth,
                        cu, cv, shiftRightArithmetic(wrapSub(u[row.stride], cu), 4),
                        shiftRightArithmetic(wrapSub(v[row.stride], cv), 4)});
    }
}

using BlockRowKernel = void (*)(const RenderContext& context, const BlockRow& row);
void textureBlockRowScalar(const RenderContext& context, const BlockRow& row);
void textureBlockRowSse2(const RenderContext& context, const BlockRow& row);
void lightmapBlockRowScalar(const RenderContext& context, const BlockRow& row);
void lightmapBlockRowSse2(const RenderContext& context, const BlockRow& row);
// The lightmap words of one block span on row y.
void lightmapBlockScalar(const RenderContext& context, const BlockSpan& span, int32_t y);

}  // namespace velkano
