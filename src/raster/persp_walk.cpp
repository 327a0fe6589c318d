// persp_walk.cpp: DRAWPERSPTRI's walk, band by band down the triangle's rows.
//
// The whole-triangle passes (texels of both halves, light of both halves, then light into
// texture and texture into the target, half by half) touch, on each row, only that row of the
// layers and of the target. So the rows of one band of the grid (16 rows) can take all their
// passes at once, in their order, while they are in L1:
//   - the texels of every half on those rows, then the light of every half on them (the
//     middle row is walked by both halves; whole blocks overlap there, and both write the
//     same values, since a pixel's value depends only on its block, row and column);
//   - then those rows' lighting and final write, each row by the one half that composites it.
// The texture and light layers are apart, so where one kernel can write both (litBlocks), each
// lit half's texels and light go in one walk of its blocks, which writes what the two passes
// over both halves would.
// No later pass writes a row the walk has left behind. Squeezed halves keep their limited
// rows and edges, and the edges of a band's first row are the exact 22.10 sums the whole
// walk reaches there. Two cases keep the final write as a pass of its own, half by half after
// every band: Displace, whose final write reads target pixels of other rows in half order,
// and hosts whose texture, palette or lightmap lies in the target (a row written early would
// change what a later row reads).
//
// The grid is evaluated once for both coordinate sets (the weights and the reciprocal of the
// interpolated 1/z are shared), only at the grid rows and block columns the walk reads, and a
// band's rows are stepped from its two grid rows as the walk reaches them: the values the
// 16-row fill of the whole grid would give those rows. The context's BandStorage holds the
// band's grid rows and steps.
#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "context/texture_binding.h"
#include "raster/persp_triangle.h"
#include "raster/uv_grid.h"
#include "texture/texel_fetch.h"

namespace velkano {
namespace {

// A half as the texturers leave it: its rows limited to the image, walked top to bottom (both
// included; composited on all but the last), and its 22.10 edges on the first. The light pass
// finds the limited record and, like the compositor, takes a half whose limited rows have
// shrunk to one row for a flat one: that row gets texels but no light.
struct LimitedHalf {
    bool active = false;
    SpanWalk walk{};
    bool lit() const { return walk.firstRow != walk.lastRow; }
};

LimitedHalf limitedHalf(const RenderContext& context, SpanRegion& region) {
    normaliseSpanRegion(region);
    if (region.top == region.bottom) return {};  // flat: written by no pass
    region.bottom = std::min(region.bottom, context.height - 1);
    region.top = std::max(region.top, 0);
    if (region.top > region.bottom) return {};  // wholly above or below the image
    const int32_t rows = region.bottom - region.top;
    return {true,
            {region.top, region.bottom, wrapMul(region.topLeftX, kFixedOne), wrapMul(region.topRightX, kFixedOne),
             rows == 0 ? 0 : edgeStepFx(region.topLeftX, region.bottomLeftX, rows),
             rows == 0 ? 0 : edgeStepFx(region.topRightX, region.bottomRightX, rows)}};
}

// The grid columns a half's rows read: its blocks and the grid column right of the last. The
// edges are straight, so their extremes lie on the first and last rows.
std::pair<int32_t, int32_t> gridColumnsRead(const SpanWalk& walk, int32_t lastBlock) {
    const int32_t rows = walk.lastRow - walk.firstRow;
    const int32_t leftFx = std::min(walk.leftFx, wrapAdvance(walk.leftFx, walk.leftStepFx, rows));
    const int32_t rightFx = std::max(walk.rightFx, wrapAdvance(walk.rightFx, walk.rightStepFx, rows));
    const auto [first, last] = blockColumns(leftFx, rightFx, lastBlock);
    return {first, last + 1};
}

}  // namespace

void drawPerspectiveRows(RenderContext& context, const float positions[6], const float texCoords[6],
                         const float lightmapCoords[6], const float depths[3], const SpanRegion (&halves)[2]) {
    const bool lit = context.lightmap != nullptr;
    const auto mode = static_cast<CompositeMode>(context.blendMode);
    const BandStorage& storage = context.bandStorage;
    const int32_t widthPx = drawableWidth(context);
    const int32_t lastBlock = std::min((widthPx - 1) / kBlockWidth, storage.lastColumn() - 1);

    SpanRegion regions[2] = {halves[0], halves[1]};
    LimitedHalf rows[2];
    int32_t firstRow = INT32_MAX, lastRow = INT32_MIN, firstColumn = INT32_MAX, lastColumn = INT32_MIN;
    for (int h = 0; h < 2; ++h) {
        rows[h] = limitedHalf(context, regions[h]);
        if (!rows[h].active) continue;
        firstRow = std::min(firstRow, rows[h].walk.firstRow);
        lastRow = std::max(lastRow, rows[h].walk.lastRow);
        const auto [first, last] = gridColumnsRead(rows[h].walk, lastBlock);
        if (first < last) firstColumn = std::min(firstColumn, first), lastColumn = std::max(lastColumn, last);
    }
    if (firstRow > lastRow) return;  // no half on the image's rows: nothing is written

    // The grid this triangle's fill would write: the walk reads inside it (a block's right
    // grid column included). Only a triangle taller than some 6000 rows can read past its left
    // column, where earlier fills' entries used to stand; such columns take no values here.
    const GridRange range = gridRange(storage.lastColumn(), context.height, positions);
    const bool blocks = firstColumn <= lastColumn && !range.empty();
    const int32_t evaluateFirst = std::max(firstColumn, range.firstColumn);
    const int32_t evaluateLast = std::min(lastColumn, range.lastColumn);
    const GridFill textureFill = gridFill(range, positions, texCoords, depths);
    const GridFill lightFill = lit ? gridFillWithCoordinates(textureFill, lightmapCoords) : GridFill{};
    const KernelTable& table = kernels();
    GridBands band(storage.entries, storage.columns, lit ? 4 : 2);
    const auto evaluate = [&](int32_t j, const std::array<int32_t*, GridBands::kMaxSets>& out) {
        const int32_t r = range.firstRow + j * kGridBandRows;
        table.gridPoints(GridPoints{&textureFill, lit ? &lightFill : nullptr,
                                    gridRowWeightsAt(textureFill, range, r, evaluateFirst), evaluateFirst, evaluateLast,
                                    static_cast<size_t>(band.stride()), out[0], out[1], out[2], out[3]});
    };

    const size_t pitch = static_cast<size_t>(context.pitch);
    // The bands' compositing: lit and combined in one step, or only lit when the mode writes
    // nothing or its write is a pass of its own, or only combined without a lightmap.
    const bool finalPass = mode == CompositeMode::Displace || boundImagesMeetTarget(context, lit);
    SpanKernel composite = lit ? table.spans.lit(mode) : table.spans.plain(mode);
    SpanImages images{context.target,       context.textureLayer, pitch, widthPx, context.height,
                      context.textureLayer, context.lightLayer};
    if (lit && (composite == nullptr || finalPass)) {
        composite = table.spans.plain(CompositeMode::Modulate2x);
        images = SpanImages{context.textureLayer, context.lightLayer, pitch, widthPx, context.height};
    } else if (!lit && finalPass) {
        composite = nullptr;
    }

    // Band by band: rows firstRow to lastRow, cut where the grid rows r = rmin + 16 j lie.
    for (int32_t top = firstRow; top <= lastRow;) {
        const int32_t j = blocks ? shiftRightArithmetic(top - range.firstRow, kGridBandShift) : 0;
        const int32_t bottom = blocks ? std::min(lastRow, range.firstRow + (j + 1) * kGridBandRows - 1) : lastRow;
        if (blocks) band.moveTo(j, evaluateFirst, evaluateLast, evaluate);
        // Each half's texels, then its light, on this band's rows; then their lighting and final
        // write, each by the half that composites it (all its rows but the last).
        SpanWalk part{};
        // The texture walk of `part`; a lit walk's lightmap coordinates stand beside its own.
        const auto textureWalk = [&] {
            return BlockWalk{context.textureLayer,
                             pitch,
                             widthPx,
                             lastBlock,
                             part.firstRow,
                             part.lastRow,
                             part.leftFx,
                             part.rightFx,
                             part.leftStepFx,
                             part.rightStepFx,
                             band.gridRow(0),
                             band.gridRow(1),
                             band.steps(0),
                             band.steps(1),
                             range.firstRow + j * kGridBandRows,
                             band.stride()};
        };
        // The layers are apart: each lit half's texels and light in one walk write what the
        // texels of both halves and then the light of both would.
        for (const LimitedHalf& half : rows) {
            if (!blocks || !half.active || !spanWalkRows(half.walk, top, bottom, part)) continue;
            if (lit && half.lit()) table.litBlocks(context, LitBlockWalk{textureWalk(), context.lightLayer});
            else table.textureBlocks(context, textureWalk());
        }
        for (const LimitedHalf& half : rows) {
            SpanWalk composited = half.walk;
            --composited.lastRow;
            if (half.active && composite != nullptr && spanWalkRows(composited, top, bottom, part))
                composite(images, part);
        }
        top = bottom + 1;
    }

    if (finalPass)
        for (int h = 0; h < 2; ++h)
            if (rows[h].active) compositeSpans(context, context.target, context.textureLayer, regions[h], mode);
}

}  // namespace velkano
