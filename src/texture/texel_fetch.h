// texel_fetch.h: the two addressing rules by which the drawing loops turn integer texture
// coordinates into pixels, and where the lightmap is sampled within a texel. The packed
// twins are in texel_fetch_sse2.h.
//
// A coordinate is ANDed with its mask (size - 1) on its two's-complement value, so a
// power-of-two image repeats in both directions and negative coordinates wrap too. For any
// size of at least 1 the masked coordinates stay inside the image, repeating or not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "pixel/instruction_set.h"
#include "pixel/numeric.h"

namespace velkano {
VELKANO_HELPERS_BEGIN

// Texel fetch, in steps a loop can hoist: the masked column and the byte offset of the
// masked row, whose sum addresses the index byte, then paletteColour. Tile form: rows of
// textureWidth bytes (the tile blit walks columns and rows separately).
inline uint32_t texelColumn(const RenderContext& context, int32_t u) {
    return static_cast<uint32_t>(u & context.textureMaskU);
}
inline size_t texelRowOffsetTile(const RenderContext& context, int32_t v) {
    return static_cast<size_t>(static_cast<uint32_t>(v & context.textureMaskV)) *
           static_cast<size_t>(context.textureWidth);
}
// Triangle form: rows of 2^textureShift bytes (the same for a power-of-two width).
inline size_t texelRowOffsetTriangle(const RenderContext& context, int32_t v) {
    return static_cast<size_t>(static_cast<uint32_t>(v & context.textureMaskV)) << context.textureShift;
}
// The palette entry of an index byte as a PixelWord (byte 3 zero), converted at every fetch
// so a palette changed in place shows at once.
inline PixelWord paletteColour(const ColourWord* palette, uint8_t index) {
    return colourToPixel(loadWord(palette + index));
}
inline PixelWord texelFetchTriangle(const RenderContext& context, int32_t u, int32_t v) {
    return paletteColour(context.palette,
                         context.textureIndices[texelRowOffsetTriangle(context, v) + texelColumn(context, u)]);
}

// Lightmap fetch: the word at (row << lightmapRowShift) + (column << 2) bytes, unchanged.
// Only for a usable lightmap.
inline PixelWord lightmapFetch(const RenderContext& context, int32_t u, int32_t v) {
    const size_t row = static_cast<uint32_t>(v & context.lightmapMaskV);
    const size_t column = static_cast<uint32_t>(u & context.lightmapMaskU);
    const auto* bytes = reinterpret_cast<const uint8_t*>(context.lightmap);
    return loadWord(bytes + (row << context.lightmapRowShift) + (column << 2));
}

// The lightmap is sampled a quarter texel apart within each 2 x 2 group of pixels, so the
// group samples four places in one lightmap texel. Offsets in quarter texels, by the row's
// parity, then the column's:
//   even rows: (1/4, 0) on even columns, (3/4, 1/4) on odd ones
//   odd rows:  (0, 1/2) on even columns, (1/2, 3/4) on odd ones
constexpr int32_t kQuarterTexelFx = kFixedOne / 4;
constexpr int32_t kLightmapSampleQuartersU[2][2] = {{1, 3}, {0, 2}};
constexpr int32_t kLightmapSampleQuartersV[2][2] = {{0, 1}, {2, 3}};
// The 22.10 offsets of the sample of the pixel in column x, row y.
constexpr int32_t lightmapSampleOffsetU(int32_t x, int32_t y) {
    return kQuarterTexelFx * kLightmapSampleQuartersU[y & 1][x & 1];
}
constexpr int32_t lightmapSampleOffsetV(int32_t x, int32_t y) {
    return kQuarterTexelFx * kLightmapSampleQuartersV[y & 1][x & 1];
}

VELKANO_HELPERS_END
}  // namespace velkano
