// texture_binding.h: binding the caller's texture, palette and lightmap. Binding records
// addresses and sizes and derives masks and shifts; it never reads the data, which stays the
// caller's and is read afresh by every draw call. The addressing rules that read the bound
// images are in texture/texel_fetch.h.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "pixel/instruction_set.h"

namespace velkano {

VELKANO_HELPERS_BEGIN
// Index of the lowest 1 bit of `size`: log2 of a power of two. 0 for a size of 0, so every
// derived shift lies in 0..31.
constexpr int32_t lowestSetBit(int32_t size) { return size == 0 ? 0 : std::countr_zero(static_cast<uint32_t>(size)); }
VELKANO_HELPERS_END

// SETTEXTURE: indices, sizes, masks (size - 1), the row shift of the triangle form, the
// palette and the blend mode, stored as given. The lightmap binding stays.
void setTexture(RenderContext& context, const uint8_t* indices, int32_t width, int32_t height,
                const ColourWord* palette, int32_t blendMode);
// SETLIGHTMAP: address (null unbinds), sizes, masks and the row length in bytes as a shift
// (lowest bit of the width + 2). The texture binding stays.
void setLightmap(RenderContext& context, const PixelWord* lightmap, int32_t width, int32_t height);

VELKANO_HELPERS_BEGIN
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

// Whether the bound texture indices or palette (and the lightmap too, with `lightmap`) share
// memory with the target: a drawing call that wrote target rows before reading the texture
// for later rows would then read what it wrote. Distances only, so no address sum wraps.
inline bool boundImagesMeetTarget(const RenderContext& context, bool lightmap) {
    const auto begin = reinterpret_cast<uintptr_t>(context.target);
    const size_t targetBytes = targetSizeBytes(context);
    const auto meets = [&](const void* data, size_t sizeBytes) {
        const auto at = reinterpret_cast<uintptr_t>(data);
        return at >= begin ? at - begin < targetBytes : begin - at < sizeBytes;
    };
    const auto area = [](int32_t width, int32_t height) {
        return static_cast<size_t>(width > 0 ? width : 0) * static_cast<size_t>(height > 0 ? height : 0);
    };
    return meets(context.textureIndices, area(context.textureWidth, context.textureHeight)) ||
           meets(context.palette, 256 * sizeof(ColourWord)) ||
           (lightmap && meets(context.lightmap, 4 * area(context.lightmapWidth, context.lightmapHeight)));
}

VELKANO_HELPERS_END

}  // namespace velkano
