#include "tile/tile_blit.h"

#include <algorithm>
#include <cstddef>

#include "context/texture_binding.h"
#include "pixel/numeric.h"
#include "texture/texel_fetch.h"

namespace velkano {
namespace {

// Texel columns worked out ahead for one stretch of a tile's columns, on the stack.
constexpr int32_t kChunkColumns = 512;

template <TileMode Mode>
void tileRowScalarMode(const TileRow& row, const TileInk& ink) {
    for (int32_t i = 0; i < row.count; ++i) {
        const uint8_t index = row.texelRow[row.columns[i]];
        const PixelWord colour = channelMultiply(paletteColour(ink.palette, index), ink.tint);
        uint8_t* pixel = row.pixels + 4 * static_cast<size_t>(i);
        if constexpr (Mode == TileMode::Replace) {
            storeWord(pixel, colour);
        } else if constexpr (Mode == TileMode::ReplaceUnlessIndexZero) {
            if (index != 0) storeWord(pixel, colour);  // index 0 is transparent
        } else if constexpr (Mode == TileMode::AddSat) {
            storeWord(pixel, channelAddSat(loadWord(pixel), colour));
        } else {
            static_assert(Mode == TileMode::ModulateTarget);
            storeWord(pixel, channelModulate(loadWord(pixel), colour));
        }
    }
}

}  // namespace

void tileRowScalar(const TileRow& row, const TileInk& ink) {
    withTileMode(ink.mode, [&](auto mode) { tileRowScalarMode<mode>(row, ink); });
}

void drawTile(RenderContext& context, const TileArgs& tile, PixelWord tint) {
    if (!isTileMode(context.blendMode) || !textureUsable(context) || context.target == nullptr) return;
    const int32_t widthPx = drawableWidth(context);
    if (widthPx == 0) return;

    // Covered columns and rows, both ends included; all arithmetic in double.
    const double x = tile.x, y = tile.y, w = tile.w, h = tile.h;
    const int32_t x0 = roundHalfEvenToInt(x), x1 = roundHalfEvenToInt(x + w);
    const int32_t y0 = roundHalfEvenToInt(y), y1 = roundHalfEvenToInt(y + h);
    if (x1 < x0 || y1 < y0) return;
    if (!withinFarLimit(x0) || !withinFarLimit(x1) || !withinFarLimit(y0) || !withinFarLimit(y1)) return;
    const int32_t left = std::max(x0, 0), right = std::min(x1, widthPx - 1);
    const int32_t top = std::max(y0, 0), bottom = std::min(y1, context.height - 1);
    if (left > right || top > bottom) return;

    // Coordinates and steps are binary32. A binary32 sum rounds exactly as the double sum
    // rounded to binary32 would, so the running sums below add in float. Every row starts
    // with the same column coordinate, so the texel columns are the same for every row.
    const float du = static_cast<float>(static_cast<double>(tile.uSpan) / w);
    const float dv = static_cast<float>(static_cast<double>(tile.vSpan) / h);
    const float firstV = static_cast<float>(static_cast<double>(tile.vSpan) * tile.vOffset / h);
    const float topV = stepThrough(firstV, dv, top - y0);
    float u = static_cast<float>(((x0 - x) + tile.uOffset) * tile.uSpan / w);
    u = stepThrough(u, du, left - x0);

    const auto& kernel = kernels().tileRow;
    const TileInk ink{context.palette, tint, static_cast<TileMode>(context.blendMode)};
    const size_t pitch = static_cast<size_t>(context.pitch);
    uint32_t columns[kChunkColumns];
    for (int32_t start = left; start <= right; start += kChunkColumns) {
        const int32_t count = std::min(kChunkColumns, right - start + 1);
        for (int32_t i = 0; i < count; ++i) {
            columns[i] = texelColumn(context, roundHalfEvenToInt(u));
            u = u + du;
        }
        float v = topV;
        uint8_t* pixels = context.target + pixelOffset(pitch, start, top);
        for (int32_t py = top; py <= bottom; ++py, pixels += pitch) {
            const uint8_t* texelRow = context.textureIndices + texelRowOffsetTile(context, roundHalfEvenToInt(v));
            kernel(TileRow{pixels, texelRow, columns, count}, ink);
            v = v + dv;
        }
    }
}

}  // namespace velkano
