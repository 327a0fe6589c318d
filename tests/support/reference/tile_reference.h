// tile_reference.h: DRAWTILE walked literally, the reference the tile blit is checked
// against.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "context/render_context.h"
#include "context/texture_binding.h"
#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "tile/tile_blit.h"

namespace velkano::testing::reference {

// The tile rules walked literally: every covered row and column in order, with the sums
// made in double and rounded to binary32, writing only pixels inside the image. Columns past
// the image's right edge and rows outside it change nothing, so they are not walked.
inline void drawTileLiterally(const RenderContext& c, const TileArgs& t, PixelWord tint) {
    if (c.blendMode < 0 || c.blendMode > 3 || !textureUsable(c) || c.target == nullptr) return;
    const int32_t x0 = roundHalfEvenToInt(t.x), x1 = roundHalfEvenToInt(double{t.x} + t.w);
    const int32_t y0 = roundHalfEvenToInt(t.y), y1 = roundHalfEvenToInt(double{t.y} + t.h);
    if (x1 < x0 || y1 < y0 || x0 < -kFarLimit || x1 > kFarLimit || y0 < -kFarLimit || y1 > kFarLimit) return;
    const float du = static_cast<float>(double{t.uSpan} / t.w), dv = static_cast<float>(double{t.vSpan} / t.h);
    float v = static_cast<float>(double{t.vSpan} * t.vOffset / t.h);
    for (int32_t py = y0; py <= y1; ++py, v = static_cast<float>(double{v} + dv)) {
        if (py < 0 || py >= c.height) continue;
        float u = static_cast<float>(((x0 - double{t.x}) + t.uOffset) * t.uSpan / t.w);
        for (int32_t px = x0; px <= std::min(x1, drawableWidth(c) - 1); ++px, u = static_cast<float>(double{u} + du)) {
            if (px < 0) continue;
            const int32_t column = roundHalfEvenToInt(u) & c.textureMaskU, row = roundHalfEvenToInt(v) & c.textureMaskV;
            const uint8_t index = c.textureIndices[row * c.textureWidth + column];
            const PixelWord colour = channelMultiply(colourToPixel(c.palette[index]), tint);
            uint8_t* pixel = c.target + static_cast<size_t>(py) * c.pitch + 4 * static_cast<size_t>(px);
            const PixelWord old = loadWord(pixel);
            const PixelWord result[4] = {colour, index != 0 ? colour : old, channelAddSat(old, colour),
                                         channelModulate(old, colour)};
            storeWord(pixel, result[c.blendMode]);
        }
    }
}

}  // namespace velkano::testing::reference
