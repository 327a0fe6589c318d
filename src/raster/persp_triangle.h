// persp_triangle.h: DRAWPERSPTRI, a triangle textured with perspective-correct
// coordinates from the grid and, when a lightmap is bound, lit by that lightmap.
//
// What each pixel gets is the outcome of these passes, in this order: split into two
// regions; fill the grid with the texture coordinates; texture both halves into the texture
// layer; with a lightmap, fill the grid with the lightmap coordinates, write both halves'
// light into the light layer and modulate it into the texture layer (Modulate2x, so a light
// lane of 64 keeps the texel); finally write the texture layer into the target with the
// bound blend mode. The walk that gives it (persp_walk.cpp) runs them band by band.
//
// The texturers fill whole 16-pixel blocks between grid columns c and c + 1, clipped to the
// image's columns. Rows are limited to the image: a half crossing its top or bottom is
// squeezed into the rows that remain, and one wholly outside it draws nothing. Nothing is
// drawn (nothing touched) while a layer, the band storage or a usable texture is missing,
// while a lightmap is bound that cannot be read, or when a rounded position lies beyond
// +-kFarLimit.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "context/band_storage.h"
#include "context/kernel_table.h"
#include "context/render_context.h"
#include "pixel/instruction_set.h"
#include "pixel/numeric.h"
#include "raster/span_compositor.h"

namespace velkano {

// DRAWPERSPTRI: positions (x, y per vertex), texture and lightmap coordinates (u, v per
// vertex, in texels), depths (one per vertex). Null arrays draw nothing; the lightmap
// coordinates are read only while a lightmap is bound.
void drawPerspectiveTriangle(RenderContext& context, const float* positions, const float* texCoords,
                             const float* lightmapCoords, const float* depths);

// The walk of DRAWPERSPTRI once the triangle is split into `halves` (not yet ordered) and
// known to be drawable (persp_walk.cpp).
void drawPerspectiveRows(RenderContext& context, const float positions[6], const float texCoords[6],
                         const float lightmapCoords[6], const float depths[3], const SpanRegion (&halves)[2]);

// Rows firstRow to lastRow (both included) of a half, all in one band of the grid: its
// 22.10 edges on firstRow and their steps, the layer the blocks go to, and the band's grid,
// block column c at entry c * stride of u, v, uStep and vStep. Row y takes U[c] = u[c] +
// (y - gridRow + 1) uStep[c] (wrapping), V likewise: the value the band's rows step to from
// grid row gridRow. Blocks past lastBlock, and pixels from widthPx on, lie outside the image.
struct BlockWalk {
    uint8_t* layer;
    size_t pitch;
    int32_t widthPx;
    int32_t lastBlock;
    int32_t firstRow;
    int32_t lastRow;
    int32_t leftFx, rightFx;
    int32_t leftStepFx, rightStepFx;
    const int32_t* u;
    const int32_t* v;
    const int32_t* uStep;
    const int32_t* vStep;
    int32_t gridRow;
    int32_t stride = 1;
};

// One block of row y, or its first `count` pixels: pixel k (column x + k) takes
// uFx + k uStepFx, vFx + k vStepFx, accumulated by wrapping additions.
//   texture:  the texel at column u >> 10, row v >> 10 (logical shifts), as a PixelWord
//   lightmap: the lightmap word at (u + offset u) >> 10, (v + offset v) >> 10, the offsets
//             from lightmapSampleOffsetU/V (texture/texel_fetch.h) of the pixel's column and row
struct BlockSpan {
    uint8_t* pixels;
    int32_t x;
    int32_t y;
    int32_t count;
    int32_t uFx, vFx;
    int32_t uStepFx, vStepFx;
};

// The blocks a row whose 22.10 edges are leftFx and rightFx covers: floor(xl / 16) to
// ceil(xr / 16) - 1, those holding pixels xl to xr - 1, clipped to blocks 0 to lastBlock
// (none when first > last).
struct BlockColumns {
    int32_t first, last;
};
VELKANO_HELPERS_BEGIN
constexpr BlockColumns blockColumns(int32_t leftFx, int32_t rightFx, int32_t lastBlock) {
    const int32_t xl = shiftRightArithmetic(leftFx, kFixedShift), xr = shiftRightArithmetic(rightFx, kFixedShift);
    return {std::max(shiftRightArithmetic(xl, kBlockShift), 0),
            std::min(shiftRightArithmetic(xr + kBlockWidth - 1, kBlockShift) - 1, lastBlock)};
}

// Calls row(y, first, last) for every row of the walk that covers blocks, top to bottom. A
// row whose edges meet covers nothing; any other covers its blockColumns.
template <typename Row>
inline void forEachBlockRow(const BlockWalk& walk, Row row) {
    int32_t leftFx = walk.leftFx, rightFx = walk.rightFx;
    for (int32_t y = walk.firstRow; y <= walk.lastRow;
         ++y, leftFx = wrapAdd(leftFx, walk.leftStepFx), rightFx = wrapAdd(rightFx, walk.rightStepFx)) {
        if (leftFx == rightFx) continue;
        const auto [first, last] = blockColumns(leftFx, rightFx, walk.lastBlock);
        if (first <= last) row(y, first, last);
    }
}

// The blocks of row y from block `first` on, left to right, as next() gives them. Block c
// takes cu = U[c], su = (U[c + 1] - cu) >> 4 (arithmetic), likewise v.
class RowBlocks {
public:
    RowBlocks(const BlockWalk& walk, int32_t y, int32_t first)
        : walk_(walk), pixels_(walk.layer + pixelOffset(walk.pitch, first * kBlockWidth, y)), y_(y),
          steps_(y - walk.gridRow + 1), c_(first), cu_(u(first)), cv_(v(first)) {}

    BlockSpan next() {
        const int32_t x = c_ * kBlockWidth;
        const int32_t nu = u(c_ + 1), nv = v(c_ + 1);
        const BlockSpan span{pixels_,
                             x,
                             y_,
                             std::min(walk_.widthPx - x, kBlockWidth),
                             cu_,
                             cv_,
                             shiftRightArithmetic(wrapSub(nu, cu_), kBlockShift),
                             shiftRightArithmetic(wrapSub(nv, cv_), kBlockShift)};
        ++c_, pixels_ += 4 * kBlockWidth, cu_ = nu, cv_ = nv;
        return span;
    }

private:
    int32_t u(int32_t c) const { return wrapAdd(walk_.u[at(c)], wrapMul(steps_, walk_.uStep[at(c)])); }
    int32_t v(int32_t c) const { return wrapAdd(walk_.v[at(c)], wrapMul(steps_, walk_.vStep[at(c)])); }
    size_t at(int32_t c) const { return static_cast<size_t>(c) * static_cast<size_t>(walk_.stride); }

    const BlockWalk& walk_;
    uint8_t* pixels_;
    int32_t y_, steps_, c_, cu_, cv_;
};

// Calls block(span) for every block of every row of the walk, top to bottom and left to right.
template <typename Block>
inline void forEachBlock(const BlockWalk& walk, Block block) {
    forEachBlockRow(walk, [&](int32_t y, int32_t first, int32_t last) {
        RowBlocks blocks(walk, y, first);
        for (int32_t c = first; c <= last; ++c) block(blocks.next());
    });
}

// A lit walk: the texture walk's rows and edges, with the light layer and the lightmap's
// coordinates beside the texture's. Calls block(texels, light) for every block, in the order
// of forEachBlock; the two layers are apart, so this writes what the texture walk followed
// by the light walk would.
template <typename Block>
inline void forEachBlockPair(const BlockWalk& texture, const BlockWalk& light, Block block) {
    forEachBlockRow(texture, [&](int32_t y, int32_t first, int32_t last) {
        RowBlocks texels(texture, y, first), words(light, y, first);
        for (int32_t c = first; c <= last; ++c) {
            const BlockSpan t = texels.next();
            block(t, words.next());
        }
    });
}
VELKANO_HELPERS_END

// A lit half's walk: the texture walk and the light layer. The walk's grid holds the four
// coordinate rows of a lit band side by side, as GridBands keeps them for four sets: column c's
// texture u, v and lightmap u, v at u[4c] to u[4c + 3] (v = u + 1, stride 4), the steps
// likewise from uStep.
struct LitBlockWalk {
    BlockWalk texture;
    uint8_t* lightLayer;
};
// The light half of a lit walk: the same rows and edges, the lightmap's coordinates, the light
// layer.
BlockWalk lightWalkOf(const LitBlockWalk& lit);

void textureBlocksScalar(const RenderContext& context, const BlockWalk& walk);
void lightmapBlocksScalar(const RenderContext& context, const BlockWalk& walk);
// Both walks of a lit half, which share rows and edges: texture then light at the scalar
// level, block by block in one walk at the packed ones. The layers are apart, so both write
// the same bytes.
void litBlocksScalar(const RenderContext& context, const LitBlockWalk& walk);
// The lightmap words of one block span.
void lightmapBlockScalar(const RenderContext& context, const BlockSpan& span);
namespace sse2 {
void textureBlocksSse2(const RenderContext& context, const BlockWalk& walk);
void litBlocksSse2(const RenderContext& context, const LitBlockWalk& walk);
}  // namespace sse2
namespace avx2 {
void textureBlocksAvx2(const RenderContext& context, const BlockWalk& walk);
void litBlocksAvx2(const RenderContext& context, const LitBlockWalk& walk);
}  // namespace avx2
namespace neon {
void textureBlocksNeon(const RenderContext& context, const BlockWalk& walk);
void litBlocksNeon(const RenderContext& context, const LitBlockWalk& walk);
}  // namespace neon

}  // namespace velkano
