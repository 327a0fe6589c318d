#include "raster/persp_triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../support/guarded_bytes.h"
#include "../support/guarded_context.h"
#include "../support/image_difference.h"
#include "../support/reference/persp_triangle_reference.h"
#include "context/texture_binding.h"
#include "pixel/numeric.h"
#include "raster/triangle_split.h"
#include "raster/uv_grid.h"
#include "texture/texel_fetch.h"

namespace velkano {
namespace {

using testing::GuardedBytes;
using testing::GuardedContext;
using testing::hexWord;
using testing::Random;
using testing::reference::PerspTriangleWalk;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class PerspectiveAgainstReference : public ::testing::Test {
protected:
    void makeImages(int32_t width, int32_t height, int32_t pitch) {
        got_ = std::make_unique<GuardedContext>(width, height, pitch, true);
        want_ = std::make_unique<GuardedContext>(width, height, pitch, true);
        got_->fill(rng_);
        want_->copyImagesFrom(*got_);
    }
    void bind(int32_t textureWidth, int32_t textureHeight, int32_t lightmapWidth, int32_t lightmapHeight,
              int32_t mode) {
        indices_.resize(static_cast<size_t>(textureWidth * textureHeight));
        for (auto& index : indices_) index = static_cast<uint8_t>(rng_.next());
        palette_.resize(256);
        for (auto& entry : palette_) entry = rng_.next();
        lightmap_.resize(static_cast<size_t>(std::max(lightmapWidth * lightmapHeight, 1)));
        for (auto& word : lightmap_) word = rng_.next();
        for (GuardedContext* c : {got_.get(), want_.get()}) {
            setTexture(c->context, indices_.data(), textureWidth, textureHeight, palette_.data(), mode);
            setLightmap(c->context, lightmapWidth > 0 ? lightmap_.data() : nullptr, lightmapWidth, lightmapHeight);
        }
    }
    void drawAndCompare(const float* p, const float* uv, const float* light, const float* z) {
        drawPerspectiveTriangle(got_->context, p, uv, light, z);
        PerspTriangleWalk{want_->context}.draw(p, uv, light, z);
        // The band storage is the call's own scratch: what a host sees is the images.
        const std::string difference = got_->differenceFrom(*want_, false);
        ASSERT_EQ(difference, "") << "triangle (" << p[0] << ", " << p[1] << ") (" << p[2] << ", " << p[3] << ") ("
                                  << p[4] << ", " << p[5] << ") depths " << z[0] << " " << z[1] << " " << z[2]
                                  << " mode " << got_->context.blendMode << " texture " << got_->context.textureWidth
                                  << "x" << got_->context.textureHeight << " lightmap " << got_->context.lightmapWidth;
    }

    Random rng_{77};
    std::unique_ptr<GuardedContext> got_, want_;
    std::vector<uint8_t> indices_;
    std::vector<ColourWord> palette_;
    std::vector<PixelWord> lightmap_;
};

// Triangles in, across and beyond images whose widths are not multiples of 16 (one with
// pitch / 4 < width), drawn one after another without clearing, in every mode, with and
// without lightmaps, textures and lightmaps of several shapes, awkward depths included.
TEST_F(PerspectiveAgainstReference, randomTrianglesMatchTheLiteralWalk) {
    static const struct { int32_t width, height, pitch; } images[] = {{64, 48, 272}, {37, 21, 150}, {40, 30, 100}};
    static const struct {
        int32_t textureWidth, textureHeight, lightmapWidth, lightmapHeight;
    } bindings[] = {{16, 16, 0, 0}, {64, 8, 2, 2}, {1, 1, 16, 16}, {12, 5, 3, 5}};
    for (const auto& image : images)
        for (const auto& binding : bindings)
            for (int32_t mode : {0, 1, 2, 3, 4, 5, 6, 7, -1}) {
                makeImages(image.width, image.height, image.pitch);
                bind(binding.textureWidth, binding.textureHeight, binding.lightmapWidth, binding.lightmapHeight, mode);
                for (int i = 0; i < 10; ++i) {
                    float p[6], uv[6], light[6], z[3];
                    for (int v = 0; v < 3; ++v) {
                        p[2 * v] = rng_.awkwardFloat(-0.7f * image.width, 1.7f * image.width);
                        p[2 * v + 1] = rng_.awkwardFloat(-0.7f * image.height, 1.7f * image.height);
                        for (float* coordinates : {uv, light}) {
                            coordinates[2 * v] = rng_.awkwardFloat(-100, 100);
                            coordinates[2 * v + 1] = rng_.awkwardFloat(-100, 100);
                        }
                        z[v] = i % 5 == 4 ? rng_.awkwardFloat(-2, 2) : rng_.awkwardFloat(0.5f, 30);
                    }
                    if (i % 4 == 0) p[3] = p[1];  // a horizontal edge
                    drawAndCompare(p, uv, light, z);
                }
            }
}

// The band walk where it reorders most, against the literal walk: M's row inside the image
// (whole blocks of both halves overlap there), triangles over several bands, halves squeezed
// below the image or to one row, mode 6 (which reads target rows the walk has written), and a
// texture, palette and lightmap lying in the target, which keep the pass order.
TEST_F(PerspectiveAgainstReference, bandWalkKeepsTheBytesWhereItReorders) {
    static const float positions[][6] = {
        {10, 2, 60, 20, 30, 40},      // M's row 20 inside the image, three bands
        {50, 3, 5, 25.5f, 40, 45},    // S left of M
        {8, 30, 60, 70, 20, 120},     // M and B below the image: squeezed onto row 47
        {30, 10, 5, 60, 55, 44},      // apex below M, squeezed
        {5, 47, 60, 47, 30, 10},      // flat bottom on the last row
        {62, -9, 1, 30, 40, 200},     // both ends outside the image
        {3, -40, 60, -20, 20, 0.4f},  // a half squeezed onto row 0
    };
    const float uv[6] = {0, 0, 40, 3, 7, 33}, light[6] = {1, 1, 5, 2, 3, 6}, z[3] = {1, 3, 2};
    for (const bool inTarget : {false, true})
        for (const int32_t mode : {0, 3, 5, 6})
            for (const auto& p : positions) {
                SCOPED_TRACE(inTarget ? "host data in the target" : "host data elsewhere");
                makeImages(64, 48, 272);
                bind(16, 16, 4, 4, mode);
                if (inTarget)
                    for (GuardedContext* c : {got_.get(), want_.get()}) {
                        setTexture(c->context, c->context.target + 272 * 20, 16, 16,
                                   reinterpret_cast<const ColourWord*>(c->context.target + 272 * 30), mode);
                        setLightmap(c->context, reinterpret_cast<const PixelWord*>(c->context.target + 272 * 40), 4, 4);
                    }
                drawAndCompare(p, uv, light, z);
            }
}

// Triangles reaching far outside the image, up to the +-2^20 limit and past it.
TEST_F(PerspectiveAgainstReference, farTrianglesMatchTheLiteralWalk) {
    makeImages(64, 48, 256);
    const float limit = 1 << 20;
    static const float positions[][6] = {
        {-limit, -limit, 40, 20, limit, 47}, {10, -limit, 50, -limit + 5, 30, 40}, {-limit, 10, limit, 12, 30, 30},
        {5, 5, limit, limit, -limit, limit}, {0, 0, limit + 1, 10, 20, 40},        {0, -limit - 1, 30, 10, 20, 40},
    };
    const float uv[6] = {-3000, 70000, 5, 5, 40000, -12}, light[6] = {0, 0, 9, 1, 3, 7}, z[3] = {1, 7, 2};
    for (int32_t lightmapWidth : {0, 4}) {
        bind(16, 16, lightmapWidth, 4, 0);
        for (const auto& p : positions) drawAndCompare(p, uv, light, z);
    }
}

// ---- the pixel rules -------------------------------------------------------------------

// Grid values 0 and 16384 (texel 16) either side of a block step by 1024: texel columns 0 to 15.
TEST(textureBlocks, blockStepsFromGridColumnToGridColumn) {
    uint8_t indices[32];
    ColourWord palette[256];
    for (uint8_t i = 0; i < 32; ++i) indices[i] = i;
    for (uint32_t i = 0; i < 256; ++i) palette[i] = i << 16;  // blue byte = index as a PixelWord
    RenderContext context{};
    setTexture(context, indices, 32, 1, palette, 0);
    const int32_t u[2] = {0, 16384}, v[2] = {5000, 5000}, steps[2] = {0, 0};
    for (BlockKernel kernel : {textureBlocksScalar, kernels().textureBlocks.packed}) {
        GuardedBytes pixels(64);
        kernel(context, BlockWalk{pixels.data(), 64, 16, 0, 0, 0, 0, 16 << 10, 0, 0, u, v, steps, steps, 0});
        for (uint32_t k = 0; k < 16; ++k)
            EXPECT_EQ(hexWord(loadWord(pixels.data() + 4 * k)), hexWord(k)) << "pixel " << k;
    }
}

// The sample offsets in 1/1024 texel, by the parities of row and column: an even row samples
// (256, 0) at an even column and (768, 256) at an odd one, an odd row (0, 512) and (512, 768).
// Every grid entry holds b, so pixel x of row y takes lightmap texel (b + offset u) >> 10,
// (b + offset v) >> 10; b runs over a whole texel, which pins each offset to the value at
// which its sample moves on to the next texel.
TEST(lightmapBlocks, sampleOffsetsFollowThePixelParities) {
    static const int32_t kOffsets[2][2][2] = {{{256, 0}, {768, 256}}, {{0, 512}, {512, 768}}};  // [y & 1][x & 1]
    const PixelWord lightmap[4] = {0xA0, 0xA1, 0xA2, 0xA3};  // texel (column, row) holds 0xA0 + column + 2 row
    RenderContext context{};
    setLightmap(context, lightmap, 2, 2);
    for (const BlockKernel kernel : {lightmapBlocksScalar})
        for (const int32_t y : {0, 1})
            for (int32_t b = 0; b < 1024; ++b) {
                const int32_t grid[2] = {b, b}, steps[2] = {0, 0};  // grid columns 0 and 1
                GuardedBytes layer(2 * 64);
                kernel(context,
                       BlockWalk{layer.data(), 64, 16, 0, y, y, 0, 16 << 10, 0, 0, grid, grid, steps, steps, 0});
                for (int32_t x = 0; x < 16; ++x) {
                    const int32_t* offset = kOffsets[y][x & 1];
                    const uint32_t column = ((b + offset[0]) >> 10) & 1, row = ((b + offset[1]) >> 10) & 1;
                    ASSERT_EQ(hexWord(loadWord(layer.data() + 64 * y + 4 * x)), hexWord(0xA0 + column + 2 * row))
                        << "b " << b << " at " << x << ", " << y
                        << (kernel == lightmapBlocksScalar ? " scalar" : " sse2");
                }
            }
}

// Lightmap coordinates 0.875 everywhere on a 2 x 2 lightmap: the sample offsets pick the
// texel by the parities of the pixel's row and column.
TEST(drawPerspectiveTriangle, lightmapSamplesFollowThePixelParities) {
    GuardedContext image(48, 40, 192, true);
    const uint8_t index = 0;
    const ColourWord white = 0x00FFFFFF;
    const PixelWord lightmap[4] = {0x00000001, 0x00000002, 0x00000003, 0x00000004};  // (0,0) (1,0) (0,1) (1,1)
    setTexture(image.context, &index, 1, 1, &white, 0);
    setLightmap(image.context, lightmap, 2, 2);
    const float p[6] = {0, 0, 47, 0, 0, 39}, uv[6] = {}, light[6] = {0.875f, 0.875f, 0.875f, 0.875f, 0.875f, 0.875f},
                z[3] = {1, 2, 3};
    drawPerspectiveTriangle(image.context, p, uv, light, z);
    const PixelWord want[2][2] = {{0x2, 0x4}, {0x3, 0x4}};  // [row parity][column parity]
    for (int32_t y = 2; y < 12; ++y)
        for (int32_t x = 2; x < 12; ++x)
            EXPECT_EQ(hexWord(image.pixel(image.context.lightLayer, x, y)), hexWord(want[y & 1][x & 1]))
                << x << ", " << y;
}

// A flat texel lit by a flat lightmap: 64 keeps each lane with its lowest bit cleared, 128
// doubles it, 0 blacks it; with no lightmap the light layer is left alone.
TEST(drawPerspectiveTriangle, lightModulatesTheTexel) {
    static const struct {
        PixelWord light;
        bool bound;
        PixelWord want;
    } cases[] = {{0x40404040, true, 0x00A0FE80},
                 {0x00808080, true, 0x00FFFFFF},
                 {0, true, 0},
                 {0xFFFFFFFF, true, 0x00FFFFFF},
                 {0, false, 0x00A1FF80}};
    for (const auto& c : cases) {
        GuardedContext image(64, 48, 256, true);
        Random rng(3);
        image.fill(rng);
        const PixelWord lightBefore = image.pixel(image.context.lightLayer, 20, 20);
        const uint8_t index = 0;
        const ColourWord texel = 0x0080FFA1;  // PixelWord 0x00A1FF80
        const PixelWord lightmap[4] = {c.light, c.light, c.light, c.light};
        setTexture(image.context, &index, 1, 1, &texel, 0);
        setLightmap(image.context, c.bound ? lightmap : nullptr, 2, 2);
        const float p[6] = {-5, -3, 70, 2, 10, 60}, uv[6] = {0, 0, 30, 1, 2, 40}, z[3] = {1, 4, 2};
        drawPerspectiveTriangle(image.context, p, uv, uv, z);
        EXPECT_EQ(hexWord(image.pixel(image.context.target, 20, 20)), hexWord(c.want)) << "light " << hexWord(c.light);
        if (!c.bound) {
            EXPECT_EQ(hexWord(image.pixel(image.context.lightLayer, 20, 20)), hexWord(lightBefore));
        }
    }
}

// Calls that must touch nothing at all: target, layers and band storage keep every byte.
TEST(drawPerspectiveTriangle, touchesNothingWithoutWhatItNeeds) {
    const uint8_t indices[4] = {1, 2, 3, 4};
    const ColourWord palette[256] = {};
    const PixelWord lightmap[4] = {};
    const float p[6] = {3, 2, 60, 10, 20, 40}, uv[6] = {0, 0, 4, 0, 0, 4}, z[3] = {1, 2, 3};
    const float distant[6] = {3, 2, 60, 10, 20, (1 << 20) + 1};
    static const struct {
        const char* what;
        void (*spoil)(RenderContext&);
        bool farTriangle;
    } cases[] = {
        {"no texture layer", [](RenderContext& c) { c.textureLayer = nullptr; }, false},
        {"no light layer", [](RenderContext& c) { c.lightLayer = nullptr; }, false},
        {"no target", [](RenderContext& c) { c.target = nullptr; }, false},
        {"no band storage", [](RenderContext& c) { c.bandStorage.entries = nullptr; }, false},
        {"no texture", [](RenderContext& c) { c.textureIndices = nullptr; }, false},
        {"texture height 0", [](RenderContext& c) { c.textureHeight = 0; }, false},
        {"lightmap width 0", [](RenderContext& c) { setLightmap(c, c.lightmap, 0, 2); }, false},
        {"lightmap height -1", [](RenderContext& c) { setLightmap(c, c.lightmap, 2, -1); }, false},
        {"beyond 2^20", [](RenderContext&) {}, true},
    };
    for (const auto& c : cases) {
        GuardedContext image(64, 48, 256, true), before(64, 48, 256, true);
        Random rng(11);
        image.fill(rng);
        before.copyImagesFrom(image);
        setTexture(image.context, indices, 2, 2, palette, 0);
        setLightmap(image.context, lightmap, 2, 2);
        c.spoil(image.context);
        drawPerspectiveTriangle(image.context, c.farTriangle ? distant : p, uv, uv, z);
        EXPECT_EQ(image.differenceFrom(before), "") << c.what;
    }
    GuardedContext image(64, 48, 256, true), before(64, 48, 256, true);
    setTexture(image.context, indices, 2, 2, palette, 0);
    setLightmap(image.context, lightmap, 2, 2);  // so the lightmap coordinates are needed
    const std::array<const float*, 4> nullArrays[] = {
        {nullptr, uv, uv, z}, {p, nullptr, uv, z}, {p, uv, nullptr, z}, {p, uv, uv, nullptr}};
    for (const auto& arrays : nullArrays) {
        drawPerspectiveTriangle(image.context, arrays[0], arrays[1], arrays[2], arrays[3]);
        EXPECT_EQ(image.differenceFrom(before), "") << "a null array";
    }
}

// Rows: a half wholly above or below the image leaves the target alone, and the last row
// is never written, however far the triangle reaches down; a triangle reaching the last row
// is composited down to the row above it.
TEST(drawPerspectiveTriangle, rowsOutsideTheImageAreNotDrawn) {
    static const struct {
        float p[6];
        bool changesTarget;
    } cases[] = {{{3, -40, 60, -20, 20, -1}, false},
                 {{3, 48, 60, 70, 20, 90}, false},
                 {{3, 10, 60, 47, 20, 300}, true},
                 {{3, -100, 60, 47, 20, 10}, true}};
    for (const auto& c : cases) {
        GuardedContext image(64, 48, 256, true), before(64, 48, 256, true);
        Random rng(13);
        image.fill(rng);
        before.copyImagesFrom(image);
        const uint8_t index = 0;
        const ColourWord white = 0x00FFFFFF;
        setTexture(image.context, &index, 1, 1, &white, 0);
        const float uv[6] = {}, z[3] = {1, 1, 1};
        drawPerspectiveTriangle(image.context, c.p, uv, uv, z);
        bool changed = false;
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) {
                const bool differs = image.pixel(image.context.target, x, y) !=
                                     before.pixel(before.context.target, x, y);
                changed = changed || differs;
                if (y == 47) {
                    EXPECT_FALSE(differs) << "the last row, x " << x;
                }
            }
        EXPECT_EQ(changed, c.changesTarget) << c.p[1] << " to " << c.p[5];
        bool rowAboveLastChanged = false;
        for (int32_t x = 0; x < 64; ++x)
            rowAboveLastChanged = rowAboveLastChanged || image.pixel(image.context.target, x, 46) !=
                                                             before.pixel(before.context.target, x, 46);
        EXPECT_EQ(rowAboveLastChanged, c.changesTarget) << "row 46, " << c.p[1] << " to " << c.p[5];
    }
}

}  // namespace
}  // namespace velkano
