#include "context/texture_binding.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace velkano {
namespace {

TEST(setTexture, derivesMasksAndRowShift) {
    static const struct {
        int32_t width, height, maskU, maskV, shift;
    } cases[] = {
        {16, 8, 15, 7, 4},     {1, 1, 0, 0, 0},   {64, 32, 63, 31, 6},
        {256, 64, 255, 63, 8}, {12, 5, 11, 4, 2},  // not a power of two: lowest bit of 12
        {0, -4, -1, -5, 0},                        // stored as given; never drawn from
    };
    for (const auto& c : cases) {
        RenderContext context{};
        const PixelWord lightmap = 0;
        setLightmap(context, &lightmap, 4, 4);
        const auto* indices = reinterpret_cast<const uint8_t*>(0x1000);  // never read
        const auto* palette = reinterpret_cast<const ColourWord*>(0x2000);
        setTexture(context, indices, c.width, c.height, palette, 7);
        EXPECT_EQ(context.textureIndices, indices);
        EXPECT_EQ(context.palette, palette);
        EXPECT_EQ(context.blendMode, 7);
        EXPECT_EQ(context.textureWidth, c.width);
        EXPECT_EQ(context.textureHeight, c.height);
        EXPECT_EQ(context.textureMaskU, c.maskU) << c.width;
        EXPECT_EQ(context.textureMaskV, c.maskV) << c.height;
        EXPECT_EQ(context.textureShift, c.shift) << c.width;
        EXPECT_EQ(context.lightmap, &lightmap) << "the lightmap binding stays";
    }
}

TEST(setLightmap, derivesMasksAndRowShiftInBytes) {
    static const struct {
        int32_t width, height, maskU, maskV, rowShift;
    } cases[] = {{64, 32, 63, 31, 8}, {256, 1, 255, 0, 10}, {1, 2, 0, 1, 2}, {0, 0, -1, -1, 2}};
    for (const auto& c : cases) {
        RenderContext context{};
        const uint8_t indices = 0;
        setTexture(context, &indices, 1, 1, nullptr, 2);
        setLightmap(context, reinterpret_cast<const PixelWord*>(0x3000), c.width, c.height);
        EXPECT_EQ(context.lightmapMaskU, c.maskU);
        EXPECT_EQ(context.lightmapMaskV, c.maskV);
        EXPECT_EQ(context.lightmapRowShift, c.rowShift) << c.width;
        EXPECT_EQ(context.textureIndices, &indices) << "the texture binding stays";
        EXPECT_EQ(context.blendMode, 2);
        setLightmap(context, nullptr, c.width, c.height);
        EXPECT_FALSE(lightmapUsable(context)) << "a null address unbinds";
    }
}

}  // namespace
}  // namespace velkano
