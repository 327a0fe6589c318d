// texture_binding.h: binding the caller's texture, palette and lightmap, and the two
// addressing rules by which the drawing loops turn integer texture coordinates into pixels.
// Binding records addresses and sizes and derives masks and shifts; it never reads the
// data, which stays the caller's and is read afresh by every draw call.
//
// A coordinate is ANDed with its mask (size - 1) on its two's-complement value, so a
// power-of-two image repeats in both directions and negative coordinates wrap too. For any
// size of at least 1 the masked coordinates stay inside the image, repeating or not.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "context/render_context.h"
#include "pixel/channel_ops.h"

namespace velkano {

// Index of the lowest 1 bit of `size`: log2 of a power of two. 0 for a size of 0, so every
// derived shift lies in 0..31.
constexpr int32_t lowestSetBit(int32_t size) {
    return size == 0 ? 0 : std::countr_zero(static_cast<uint32_t>(size));
}

// SETTEXTURE: indices, sizes, masks (size - 1), the row shift of the triangle form, the
// palette and the blend mode, stored as given. The lightmap binding stays.
void setTexture(RenderContext& context, const uint8_t* indices, int32_t width, int32_t height,
                const ColourWord* palette, int32_t blendMode);
// SETLIGHTMAP: address (null unbinds), sizes, masks and the row length in bytes as a shift
// (lowest bit of the width + 2). The texture binding stays.
void setLightmap(RenderContext& context, const PixelWord* lightmap, int32_t width, int32_t height);

// The texture can be drawn from: both addresses set and both sizes at least 1, so every
// fetch stays inside width x height bytes. Drawing calls draw nothing otherwise.
inline bool textureUsable(const RenderContext& context) {
    return context.textureIndices != nullptr && context.palette != nullptr && context.textureWidth >= 1 &&
           context.textureHeight >= 1;
}
// Likewise for the lightmap (null means no lightmap); a row must also be shorter than 2^32
// bytes, so the row shift is a valid shift count.
inline bool lightmapUsable(const RenderContext& context) {
    return context.lightmap != nullptr && context.lightmapWidth >= 1 && context.lightmapHeight >= 1 &&
           context.lightmapRowShift < 32;
}

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

// The packed kernels address the bound image with 32-bit lane sums: both hold when every
// masked address stays below 2^31.
inline bool textureFitsPackedOffsets(const RenderContext& context) {
    return (static_cast<uint64_t>(context.textureHeight) << context.textureShift) <= (uint64_t{1} << 31);
}
inline bool lightmapFitsPackedOffsets(const RenderContext& context) {
    return (static_cast<uint64_t>(context.lightmapHeight) << context.lightmapRowShift) +
               4 * static_cast<uint64_t>(context.lightmapWidth) <=
           (uint64_t{1} << 31);
}

}  // namespace velkano
