#include "context/texture_binding.h"

#include "pixel/numeric.h"

namespace velkano {

void setTexture(RenderContext& context, const uint8_t* indices, int32_t width, int32_t height,
                const ColourWord* palette, int32_t blendMode) {
    context.textureIndices = indices;
    context.textureWidth = width;
    context.textureHeight = height;
    context.textureMaskU = wrapSub(width, 1);
    context.textureMaskV = wrapSub(height, 1);
    context.textureShift = lowestSetBit(width);
    context.palette = palette;
    context.blendMode = blendMode;
}

void setLightmap(RenderContext& context, const PixelWord* lightmap, int32_t width, int32_t height) {
    context.lightmap = lightmap;
    context.lightmapWidth = width;
    context.lightmapHeight = height;
    context.lightmapMaskU = wrapSub(width, 1);
    context.lightmapMaskV = wrapSub(height, 1);
    context.lightmapRowShift = lowestSetBit(width) + 2;
}

}  // namespace velkano
