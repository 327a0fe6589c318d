#include "texture/texel_fetch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "../support/image_difference.h"
#include "context/texture_binding.h"

namespace velkano {
namespace {

using testing::hexWord;

// A texture whose index byte is its byte offset (column + width * row), through a palette
// that maps index i to red i, green 0x22, blue 0x33.
struct IndexedTexture {
    IndexedTexture(int32_t width, int32_t height) : indices(static_cast<size_t>(width * height)), palette(256) {
        for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i);
        for (uint32_t i = 0; i < 256; ++i) palette[i] = 0x44332200u | i;
        setTexture(context, indices.data(), width, height, palette.data(), 0);
    }
    // The tile form, composed as the tile blit composes it.
    PixelWord fetchTile(int32_t u, int32_t v) const {
        return paletteColour(context.palette,
                             context.textureIndices[texelRowOffsetTile(context, v) + texelColumn(context, u)]);
    }
    int32_t fetchedIndexTile(int32_t u, int32_t v) const { return (fetchTile(u, v) >> 16) & 0xFF; }
    int32_t fetchedIndexTriangle(int32_t u, int32_t v) const {
        return (texelFetchTriangle(context, u, v) >> 16) & 0xFF;
    }

    RenderContext context{};
    std::vector<uint8_t> indices;
    std::vector<ColourWord> palette;
};

TEST(texelFetch, wrapsByMaskAndConvertsThePaletteEntry) {
    IndexedTexture texture(16, 4);
    EXPECT_EQ(hexWord(texture.fetchTile(5, 0)), hexWord(0x00052233u)) << "red 5, green 0x22, blue 0x33, byte 3 zero";
    static const struct {
        int32_t u, v, column, row;
    } cases[] = {{16, 0, 0, 0},
                 {-16, 0, 0, 0},
                 {17, 0, 1, 0},
                 {-1, 0, 15, 0},
                 {3, 4, 3, 0},
                 {3, -1, 3, 3},
                 {INT32_MIN, INT32_MIN, 0, 0},
                 {INT32_MAX, 6, 15, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(texture.fetchedIndexTile(c.u, c.v), c.column + 16 * c.row) << c.u << "," << c.v;
        EXPECT_EQ(texture.fetchedIndexTriangle(c.u, c.v), c.column + 16 * c.row) << c.u << "," << c.v;
    }
    // Width 1: mask 0 and shift 0, so every column coordinate fetches column 0 (index = row).
    IndexedTexture narrow(1, 4);
    for (const int32_t u : {0, 1, 5, -7, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(narrow.fetchedIndexTile(u, 2), 2) << "u " << u;
        EXPECT_EQ(narrow.fetchedIndexTriangle(u, 2), 2) << "u " << u;
    }
}

TEST(texelFetch, paletteChangesShowAtTheNextFetch) {
    IndexedTexture texture(16, 4);
    const uint8_t bytes[4] = {0x11, 0x22, 0x33, 0x44};  // red, green, blue, ignored
    std::memcpy(&texture.palette[7], bytes, 4);
    EXPECT_EQ(hexWord(texture.fetchTile(7, 0)), hexWord(0x00112233u));
}

// A width of 12 has mask 11 and shift 2: both forms stay inside the 12 x 8 bytes, but only
// the tile form steps rows by 12 bytes, and columns 4 to 7 are never fetched.
TEST(texelFetch, nonPowerOfTwoWidthStaysInside) {
    IndexedTexture texture(12, 8);
    static const struct {
        int32_t u, v, tileOffset, triangleOffset;
    } cases[] = {{4, 0, 0, 0}, {8, 0, 8, 8}, {11, 0, 11, 11}, {0, 1, 12, 4}, {3, 4, 51, 19}, {-1, -1, 95, 39}};
    for (const auto& c : cases) {
        EXPECT_EQ(texture.fetchedIndexTile(c.u, c.v), c.tileOffset) << c.u << "," << c.v;
        EXPECT_EQ(texture.fetchedIndexTriangle(c.u, c.v), c.triangleOffset) << c.u << "," << c.v;
    }
}

TEST(lightmapFetch, deliversTheStoredWordUnchanged) {
    std::vector<PixelWord> lightmap(64 * 4);
    for (uint32_t i = 0; i < lightmap.size(); ++i) lightmap[i] = 0xAB000000u | i;
    const uint8_t bytes[4] = {0x33, 0x22, 0x11, 0x44};
    std::memcpy(&lightmap[2 * 64 + 5], bytes, 4);
    RenderContext context{};
    setLightmap(context, lightmap.data(), 64, 4);
    EXPECT_EQ(hexWord(lightmapFetch(context, 5, 2)), hexWord(0x44112233u));
    EXPECT_EQ(hexWord(lightmapFetch(context, 5 + 64, 2 - 4)), hexWord(0x44112233u)) << "wraps both ways";
    EXPECT_EQ(hexWord(lightmapFetch(context, -1, 3)), hexWord(0xAB000000u | (3 * 64 + 63)));
}

}  // namespace
}  // namespace velkano
