#include "raster/affine_triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "../support/guarded_bytes.h"
#include "../support/guarded_context.h"
#include "../support/image_difference.h"
#include "../support/reference/affine_triangle_reference.h"
#include "context/texture_binding.h"
#include "pixel/numeric.h"
#include "raster/triangle_spans.h"
#include "raster/triangle_split.h"
#include "texture/texel_fetch.h"

namespace velkano {
namespace {

using testing::GuardedBytes;
using testing::GuardedContext;
using testing::hexWord;
using testing::hexWords;
using testing::imageDifference;
using testing::Random;
using testing::reference::AffineTriangleWalk;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---- whole triangles against the literal walk ------------------------------------------

class TriangleAgainstReference : public ::testing::Test {
protected:
    void makeImages(int32_t width, int32_t height, int32_t pitch) {
        got_ = std::make_unique<GuardedContext>(width, height, pitch);
        want_ = std::make_unique<GuardedContext>(width, height, pitch);
        got_->fill(rng_);
        want_->copyImagesFrom(*got_);
    }
    void bindTexture(int32_t width, int32_t height, int32_t blendMode) {
        indices_.resize(static_cast<size_t>(std::max(width * height, 1)));
        for (auto& index : indices_) index = static_cast<uint8_t>(rng_.next());
        palette_.resize(256);
        for (auto& entry : palette_) entry = rng_.next();
        for (GuardedContext* c : {got_.get(), want_.get()})
            setTexture(c->context, indices_.data(), width, height, palette_.data(), blendMode);
    }
    void drawAndCompare(const float* p, const float* uv, const ColourWord* colours) {
        drawTriangle(got_->context, p, uv, colours);
        AffineTriangleWalk{want_->context}.drawTriangle(p, uv, colours);
        const std::string difference = got_->differenceFrom(*want_);
        ASSERT_EQ(difference, "") << "triangle (" << p[0] << ", " << p[1] << ") (" << p[2] << ", " << p[3] << ") ("
                                  << p[4] << ", " << p[5] << ") uv " << uv[0] << "," << uv[1] << " " << uv[2] << ","
                                  << uv[3] << " " << uv[4] << "," << uv[5] << " mode " << got_->context.blendMode
                                  << " texture " << got_->context.textureWidth << "x" << got_->context.textureHeight;
    }

    Random rng_{2024};
    std::unique_ptr<GuardedContext> got_, want_;
    std::vector<uint8_t> indices_;
    std::vector<ColourWord> palette_;
};

// Triangles in, across and beyond a padded image, drawn one after another without clearing,
// in every mode, with textures of several shapes (some not powers of two).
TEST_F(TriangleAgainstReference, randomTrianglesMatchTheLiteralWalk) {
    static const struct {
        int32_t width, height, pitch;
    } images[] = {{64, 48, 272}, {23, 17, 93}, {40, 30, 100}};  // the last: pitch / 4 < width
    static const struct { int32_t width, height; } textures[] = {{16, 16}, {64, 8}, {1, 1}, {12, 5}};
    for (const auto& image : images)
        for (const auto& texture : textures)
            for (int32_t mode : {0, 1, 2, 3, 4, 5, 6, 7, -1}) {
                makeImages(image.width, image.height, image.pitch);
                bindTexture(texture.width, texture.height, mode);
                for (int i = 0; i < 12; ++i) {
                    float p[6], uv[6];
                    for (int v = 0; v < 3; ++v) {
                        p[2 * v] = rng_.awkwardFloat(-0.6f * image.width, 1.6f * image.width);
                        p[2 * v + 1] = rng_.awkwardFloat(-0.6f * image.height, 1.6f * image.height);
                        uv[2 * v] = rng_.awkwardFloat(-200, 200);
                        uv[2 * v + 1] = rng_.awkwardFloat(-200, 200);
                    }
                    if (i % 4 == 0) p[3] = p[1];  // a horizontal edge
                    const ColourWord colours[3] = {rng_.next(), rng_.next(), rng_.next()};
                    drawAndCompare(p, uv, colours);
                }
            }
}

// Tall and wide triangles far outside the image, up to the +-2^20 limit and past it.
TEST_F(TriangleAgainstReference, farTrianglesMatchTheLiteralWalk) {
    makeImages(64, 48, 256);
    const float limit = 1 << 20;
    static const float positions[][6] = {
        {-limit, -limit, 40, 20, limit, 47},   // from the far corner down into the image
        {10, -limit, 50, -limit + 5, 30, 40},  // a sliver reaching down from far above
        {-limit, 10, limit, 12, 30, 30},       // very wide, across the image
        {5, 5, limit, limit, -limit, limit},   // the apex inside, the rest far below
        {0, 0, limit + 1, 10, 20, 40},         // one vertex past the limit: nothing
        {0, -limit - 1, 30, 10, 20, 40},
    };
    const float uv[6] = {-3000, 70000, 5, 5, 40000, -12};
    const ColourWord colours[3] = {0x00FF8040, 0x00102030, 0x00FFFFFF};
    for (int32_t mode : {0, 2, 6})
        for (const auto& p : positions) {
            bindTexture(16, 16, mode);
            drawAndCompare(p, uv, colours);
        }
}

// The one walk where it reorders most, against the literal walk: M's row inside the image
// (written by both halves, composited by the lower one), halves squeezed below the image,
// mode 6 (which reads target rows the walk has written), and a texture whose indices and
// palette lie in the target, which keeps the pass order.
TEST_F(TriangleAgainstReference, oneWalkKeepsTheBytesWhereItReorders) {
    static const float positions[][6] = {
        {10, 2, 60, 20, 30, 40},    // M's row 20 inside the image
        {50, 3, 5, 25.5f, 40, 45},  // S left of M
        {8, 30, 60, 70, 20, 120},   // M and B below the image: squeezed onto row 47
        {30, 10, 5, 60, 55, 44},    // apex below M, squeezed
        {5, 47, 60, 47, 30, 10},    // flat bottom on the last row
        {62, -9, 1, 30, 40, 200},   // both ends outside the image
    };
    const float uv[6] = {0, 0, 40, 3, 7, 33};
    const ColourWord colours[3] = {0x00FF8040, 0x00204080, 0x0080FF10};
    for (const bool inTarget : {false, true})
        for (const int32_t mode : {0, 2, 4, 5, 6})
            for (const auto& p : positions) {
                makeImages(64, 48, 272);
                bindTexture(16, 16, mode);
                if (inTarget)
                    for (GuardedContext* c : {got_.get(), want_.get()})
                        setTexture(c->context, c->context.target + 272 * 20, 16, 16,
                                   reinterpret_cast<const ColourWord*>(c->context.target + 272 * 30), mode);
                drawAndCompare(p, uv, colours);
            }
}

// ---- the split and the halves ----------------------------------------------------------

TEST(vertexRoles, middleVertexTiesToTheLowestNumber) {
    static const struct {
        float y0, y1, y2;
        int middle, before, after;
    } cases[] = {
        {0, 5, 10, 1, 0, 2},   {5, 0, 10, 0, 2, 1},         {0, 10, 5, 2, 1, 0},
        {10, 5, 0, 1, 0, 2},   {0, 0, 5, 0, 2, 1},  // y0 = y1 < y2: vertex 0 counts as between
        {3, 3, 3, 0, 2, 1},                         // all on one row
        {kNaN, 1, 2, 2, 1, 0}, {kNaN, kNaN, kNaN, 2, 1, 0},
    };
    for (const auto& c : cases) {
        const VertexRoles roles = vertexRoles(c.y0, c.y1, c.y2);
        EXPECT_EQ(roles.middle, c.middle) << c.y0 << " " << c.y1 << " " << c.y2;
        EXPECT_EQ(roles.before, c.before) << c.y0 << " " << c.y1 << " " << c.y2;
        EXPECT_EQ(roles.after, c.after) << c.y0 << " " << c.y1 << " " << c.y2;
    }
}

TEST(splitTriangle, splitPointAndRoundedHalves) {
    // y0 = y1 < y2: M = 0, A = 2, B = 1; t = 1 puts S on vertex 1 with its colour scaled by
    // 255/256 (255 becomes 254), and the second half has no height.
    {
        const float p[6] = {2, 4, 20, 4, 10.5f, 11.5f}, uv[6] = {0, 0, 8, 8, 4, 16};
        const ColourWord colours[3] = {0x00000000, 0x00FF8001, 0x00123456};
        TriangleHalves t;
        ASSERT_TRUE(splitTriangle(p, uv, colours, t));
        EXPECT_EQ(t.half[0].apexX, 10) << "10.5 rounds to even";
        EXPECT_EQ(t.half[0].apexY, 12) << "11.5 rounds to even";
        EXPECT_EQ(t.half[0].baseX1, 2);
        EXPECT_EQ(t.half[0].baseX2, 20);
        EXPECT_EQ(t.half[0].baseY, 4);
        EXPECT_EQ(t.half[1].apexY, t.half[1].baseY);
        EXPECT_EQ(hexWord(t.colours[0].end2), hexWord(0x00FE7F00u));
        EXPECT_EQ(t.texCoords[0].end2U, 8.0f);
        EXPECT_EQ(hexWord(t.colours[0].end1), hexWord(colours[0])) << "base end 1 is M";
    }
    // t = 0.5: the colour factor 127.5 rounds to 128; S halfway along A-B.
    {
        const float p[6] = {0, 0, 7, 5, 20, 10}, uv[6] = {0, 0, 3, 3, 10, 30};
        const ColourWord colours[3] = {0x00FFFFFF, 0x00000000, 0x00000000};
        TriangleHalves t;
        ASSERT_TRUE(splitTriangle(p, uv, colours, t));
        EXPECT_EQ(t.half[0].baseX2, 10);
        EXPECT_EQ(t.texCoords[0].end2U, 5.0f);
        EXPECT_EQ(t.texCoords[0].end2V, 15.0f);
        EXPECT_EQ(hexWord(t.colours[0].end2), hexWord(channelBlend(0x00FFFFFF, 0, 128)));
        EXPECT_EQ(hexWord(t.colours[0].end2), hexWord(0x007E7E7Eu));
    }
    // Beyond +-2^20, or not a number: rejected.
    for (const float x : {1048577.0f, -1048577.0f, kNaN, kInf}) {
        const float p[6] = {0, 0, x, 5, 20, 10}, uv[6] = {};
        const ColourWord colours[3] = {};
        TriangleHalves t;
        EXPECT_FALSE(splitTriangle(p, uv, colours, t)) << x;
    }
}

TEST(normaliseHalf, squeezesRowsBelowTheImageAndPutsTheLeftEndFirst) {
    RenderContext context{};
    context.height = 10;
    HalfTriangle half{5, 30, 40, 8, 12};
    HalfTexCoords tex{1, 2, 3, 4, 5, 6};
    HalfColours colours{7, 8, 9};
    normaliseHalf(context, half, tex, colours);
    EXPECT_EQ(half.apexY, 9);
    EXPECT_EQ(half.baseY, 9);
    EXPECT_EQ(half.apexX, 5) << "x values stay";
    EXPECT_EQ(half.baseX1, 8);
    EXPECT_EQ(half.baseX2, 40);
    EXPECT_EQ(tex.end1U, 5.0f);
    EXPECT_EQ(tex.end1V, 6.0f);
    EXPECT_EQ(tex.end2U, 3.0f);
    EXPECT_EQ(hexWord(colours.end1), hexWord(9u));
    EXPECT_EQ(hexWord(colours.end2), hexWord(8u));
    HalfTriangle above{0, -5, 1, 2, -1};
    normaliseHalf(context, above, tex, colours);
    EXPECT_EQ(above.apexY, -5) << "rows above the image stay";
}

// The half of the design's worked examples: apex (10, 0), base ends x 0 and 20 on row 4.
class WorkedHalf : public ::testing::Test {
protected:
    WorkedHalf() : images_(32, 6, 32 * 4) {
        images_.clear();
        for (uint32_t i = 0; i < 256; ++i) palette_[i] = i;  // index i becomes the PixelWord i << 16
    }
    // The columns a row of a layer holds, first to last (empty when none).
    std::vector<PixelWord> row(const uint8_t* image, int32_t y, int32_t* first) {
        std::vector<PixelWord> pixels;
        *first = -1;
        for (int32_t x = 0; x < 32; ++x) {
            const PixelWord p = images_.pixel(image, x, y);
            if (p == 0) continue;
            if (*first < 0) *first = x;
            pixels.resize(static_cast<size_t>(x - *first + 1));
            pixels.back() = p;
        }
        return pixels;
    }

    GuardedContext images_;
    ColourWord palette_[256];
    const HalfTriangle half_{10, 0, 0, 20, 4};
};

TEST_F(WorkedHalf, textureHalfSamplesTheDocumentedTexels) {
    // Two 64 x 64 textures: one holds each texel's column + 1, the other its row + 1.
    std::vector<uint8_t> columns(64 * 64), rows(64 * 64);
    for (int i = 0; i < 64 * 64; ++i)
        columns[i] = static_cast<uint8_t>(i % 64 + 1), rows[i] = static_cast<uint8_t>(i / 64 + 1);
    const HalfTexCoords tex{0, 0, 0, 64, 64, 64};
    static const struct {
        int32_t y, first;
        std::vector<uint32_t> texelColumns;
        uint32_t texelRow;
    } want[] = {
        {1, 8, {0, 4, 8, 12, 16}, 16},
        {2, 5, {0, 3, 6, 9, 12, 15, 19, 22, 25, 28, 31}, 32},  // du = 32768 / 10 = 3276
        {3, 2, {0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45, 48}, 48},
        {4, 0, {0, 3, 6, 9, 12, 15, 19, 22, 25, 28, 31, 35, 38, 41, 44, 47, 51, 54, 57, 60, 63}, 0},
    };
    for (const bool byColumn : {true, false}) {
        images_.clear();
        setTexture(images_.context, (byColumn ? columns : rows).data(), 64, 64, palette_, 0);
        rasteriseTextureHalf(images_.context, half_, tex);
        int32_t first;
        EXPECT_TRUE(row(images_.context.textureLayer, 0, &first).empty()) << "the apex row writes nothing";
        for (const auto& w : want) {
            const std::vector<PixelWord> got = row(images_.context.textureLayer, w.y, &first);
            EXPECT_EQ(first, w.first) << "row " << w.y;
            ASSERT_EQ(got.size(), w.texelColumns.size()) << "row " << w.y;
            for (size_t i = 0; i < got.size(); ++i) {
                const uint32_t texel = byColumn ? w.texelColumns[i] : w.texelRow;
                EXPECT_EQ(hexWord(got[i]), hexWord((texel + 1) << 16))
                    << "row " << w.y << " pixel " << i << (byColumn ? " column" : " row");
            }
        }
    }
}

TEST_F(WorkedHalf, lightHalfGivesTheDocumentedColours) {
    // Apex black, base end 1 red, base end 2 blue: five rows, steps of 51.
    rasteriseLightHalf(images_.context, half_, HalfColours{0x00000000, 0x000000FF, 0x00FF0000});
    int32_t first;
    EXPECT_EQ(hexWords(row(images_.context.lightLayer, 0, &first)), hexWords({0xFF000000}));
    EXPECT_EQ(first, 10);
    EXPECT_EQ(hexWords(row(images_.context.lightLayer, 1, &first)),
              hexWords({0xFF330000, 0xFF29000A, 0xFF1F0014, 0xFF14001F, 0xFF0A0029}));
    EXPECT_EQ(first, 8);
    const std::vector<PixelWord> base = row(images_.context.lightLayer, 4, &first);
    EXPECT_EQ(first, 2);
    ASSERT_EQ(base.size(), 17u) << "columns 2 to 18: narrower than the texture half's base row";
    EXPECT_EQ(hexWord(base.front()), hexWord(0xFFCC0000u));
    EXPECT_EQ(hexWord(base.back()), hexWord(0xFF0C00C0u));
    EXPECT_TRUE(row(images_.context.lightLayer, 5, &first).empty());
}

// The compositor floors where the rasterisers round: on row 1 of the worked half it covers
// columns 7 to 11 (7.5 floored, right column left out) while the texture half writes 8 to
// 12, so column 7 takes whatever the layer held there before.
TEST_F(WorkedHalf, compositorCoversAColumnTheRasterisersLeaveOut) {
    const std::vector<uint8_t> texels(64 * 64, 5);  // every texel the PixelWord 0x00050000
    constexpr PixelWord kEarlier = 0x00ABCDEF;
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 32; ++x) storeWord(images_.context.textureLayer + y * 128 + 4 * x, kEarlier);
    setTexture(images_.context, texels.data(), 64, 64, palette_, 0);
    rasteriseTextureHalf(images_.context, half_, HalfTexCoords{0, 0, 0, 64, 64, 64});
    SpanRegion region = spanRegionFromHalf(half_);
    compositeSpans(images_.context, images_.context.target, images_.context.textureLayer, region,
                   CompositeMode::Replace);
    for (int32_t x = 0; x < 32; ++x) {
        const PixelWord want = x == 7 ? kEarlier : x >= 8 && x <= 11 ? 0x00050000u : 0u;
        EXPECT_EQ(hexWord(images_.pixel(images_.context.target, x, 1)), hexWord(want)) << "row 1, column " << x;
        EXPECT_EQ(hexWord(images_.pixel(images_.context.target, x, 0)), hexWord(0))
            << "the apex row is empty, column " << x;
    }
}

// A row whose two ends round to the same column writes nothing. Apex (10, 0), base ends 10
// and 11 on row 4: the right end runs 10.25, 10.5, 10.75, 11, so rows 1 and 2 (10.5 rounds
// to even) are empty like the apex row, and rows 3 and 4 cover columns 10 and 11.
TEST_F(WorkedHalf, rowsWhoseEndsRoundTogetherWriteNothing) {
    const std::vector<uint8_t> texels(64 * 64, 7);
    setTexture(images_.context, texels.data(), 64, 64, palette_, 0);
    rasteriseTextureHalf(images_.context, HalfTriangle{10, 0, 10, 11, 4}, HalfTexCoords{0, 0, 0, 8, 8, 8});
    static const struct {
        int32_t y, first;
        size_t count;
    } want[] = {{0, -1, 0}, {1, -1, 0}, {2, -1, 0}, {3, 10, 2}, {4, 10, 2}};
    for (const auto& w : want) {
        int32_t first;
        const std::vector<PixelWord> pixels = row(images_.context.textureLayer, w.y, &first);
        EXPECT_EQ(first, w.first) << "row " << w.y;
        EXPECT_EQ(pixels.size(), w.count) << "row " << w.y;
    }
}

// One vertex colour on all three corners lights every pixel of the half alike, and mode 4
// then turns each texel lane s into min(255, 2 ((s l) >> 8)) with the light lane l. The
// texel is the PixelWord 0x00FF8001.
TEST_F(WorkedHalf, vertexColoursLightTheTexelsByMode4) {
    static const struct {
        ColourWord colour;
        PixelWord light, lit;
        const char* why;
    } cases[] = {
        {0x00FFFFFF, 0xFFFFFFFF, 0x00FFFE00, "white: 2 x 254 saturates, 128 gives 254, 1 gives 0"},
        {0x00808080, 0xFF808080, 0x00FE8000, "128 keeps each lane with its lowest bit cleared"},
        {0x000000FF, 0xFFFF0000, 0x00FF0000, "red in byte 0 of the colour lights the red lane"},
    };
    for (const auto& c : cases) {
        images_.clear();
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 32; ++x) storeWord(images_.context.textureLayer + y * 128 + 4 * x, 0x00FF8001u);
        rasteriseLightHalf(images_.context, half_, HalfColours{c.colour, c.colour, c.colour});
        size_t written = 0;
        for (int32_t y = 0; y < 6; ++y) {
            int32_t first;
            for (const PixelWord light : row(images_.context.lightLayer, y, &first)) {
                EXPECT_EQ(hexWord(light), hexWord(c.light)) << c.why << ", row " << y;
                ++written;
            }
        }
        EXPECT_EQ(written, 1u + 5 + 9 + 13 + 17) << c.why << ": rows 0 to 4, columns 10, 8-12, 6-14, 4-16, 2-18";
        SpanRegion region = spanRegionFromHalf(half_);
        compositeSpans(images_.context, images_.context.textureLayer, images_.context.lightLayer, region,
                       CompositeMode::Multiply2x);
        for (int32_t y = 1; y <= 3; ++y)
            EXPECT_EQ(hexWord(images_.pixel(images_.context.textureLayer, 10, y)), hexWord(c.lit))
                << c.why << ", row " << y;
    }
}

// ---- whole calls -----------------------------------------------------------------------

// One texel colour everywhere, one vertex colour: the pixel every inside pixel gets. The
// split point's colour is the vertex colour blended with itself, a step or two darker
// (255 becomes 253 at t = 0.5), so the light varies slightly; texel lanes of at most 0x40
// give the same lit lane for light 253 to 255: 2 ((s 255) >> 8).
TEST(drawTriangle, lightingAndModesGiveTheDocumentedPixels) {
    static const struct {
        ColourWord light;
        int32_t mode;
        PixelWord target, want;
        const char* why;
    } cases[] = {
        {0x00FFFFFF, 0, 0xAA000000, 0x001E3E7E, "copy; byte 3 of the layer is 0"},
        {0x000000FF, 0, 0xAA000000, 0x001E0000, "a red vertex colour lights red"},
        {0x00FFFFFF, 1, 0xAA000000, 0x001E3E7E, "as 0"},
        {0x00FFFFFF, 2, 0x00F00101, 0x00FF3F7F, "add"},
        {0x00FFFFFF, 3, 0x00402010, 0x001E1E1E, "modulate 2x"},
        {0x00FFFFFF, 4, 0x00402010, 0x000E0E0E, "multiply 2x"},
        {0x00FFFFFF, 5, 0x12345678, 0x12345678, "mode 5 writes nothing"},
        {0x00FFFFFF, 7, 0x12345678, 0x12345678, "no such mode"},
        {0x00FFFFFF, -1, 0x12345678, 0x12345678, "no such mode"},
    };
    for (const auto& c : cases) {
        GuardedContext images(40, 30, 160);
        images.clear();
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) storeWord(images.context.target + y * 160 + 4 * x, c.target);
        const uint8_t texels[4] = {3, 3, 3, 3};
        ColourWord palette[256] = {};
        palette[3] = 0x00402010;  // the PixelWord 0x00102040
        setTexture(images.context, texels, 2, 2, palette, c.mode);
        const float p[6] = {2, 2, 38, 6, 10, 28}, uv[6] = {0, 0, 5, 1, 2, 9};
        const ColourWord colours[3] = {c.light, c.light, c.light};
        drawTriangle(images.context, p, uv, colours);
        EXPECT_EQ(hexWord(images.pixel(images.context.target, 15, 10)), hexWord(c.want)) << c.why;
        EXPECT_EQ(hexWord(images.pixel(images.context.target, 0, 29)), hexWord(c.target))
            << c.why << ": outside the triangle";
        EXPECT_NE(hexWord(images.pixel(images.context.textureLayer, 15, 10)), hexWord(0))
            << c.why << ": the layers are written";
    }
}

TEST(drawTriangle, rowsAreCompositedOnceAndTheLowestRowNever) {
    // Mode 2 adds 0x020202 per composite over a black target: a pixel composited twice would
    // hold 0x040404. M lies on row 5; the lowest vertex on row 9, or far below the image,
    // which squeezes the rows to end at the last image row, itself not composited. With the
    // lowest vertex on M's row the bottom edge is horizontal and M's row is the lowest row,
    // so it is not composited either.
    static const struct {
        float lowY;
        int32_t lastRow;
    } cases[] = {{9, 8}, {100, 8}, {5000, 8}, {5, 4}};
    for (const auto& c : cases) {
        GuardedContext images(30, 10, 120);
        images.clear();
        const uint8_t texel = 1;
        ColourWord palette[256] = {0, 0x00030303};
        setTexture(images.context, &texel, 1, 1, palette, 2);
        const float p[6] = {15, 0, 28, 5, 2, c.lowY}, uv[6] = {};
        const ColourWord colours[3] = {0x00808080, 0x00808080, 0x00808080};
        drawTriangle(images.context, p, uv, colours);
        int32_t lastRow = -1;
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 30; ++x) {
                const PixelWord got = images.pixel(images.context.target, x, y);
                ASSERT_TRUE(got == 0 || got == 0x00020202)
                    << "x " << x << " y " << y << " low " << c.lowY << ": " << hexWord(got);
                if (got != 0) lastRow = y;
            }
        EXPECT_EQ(lastRow, c.lastRow) << "low " << c.lowY;
        EXPECT_EQ(images.pixel(images.context.target, 20, 5) != 0, c.lastRow >= 5) << "M's row, low " << c.lowY;
    }
}

TEST(drawTriangle, drawsNothingWithoutLayersTextureOrArrays) {
    const uint8_t texels[4] = {1, 2, 3, 4};
    const ColourWord palette[256] = {1, 2, 3, 4, 5};
    const float p[6] = {1, 1, 30, 5, 8, 20}, uv[6] = {0, 0, 1, 0, 1, 1};
    const ColourWord colours[3] = {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF};
    static const struct {
        const char* why;
        void (*spoil)(RenderContext&);
        bool nullArrays;
    } cases[] = {
        {"no texture layer", [](RenderContext& c) { c.textureLayer = nullptr; }, false},
        {"no light layer", [](RenderContext& c) { c.lightLayer = nullptr; }, false},
        {"no target", [](RenderContext& c) { c.target = nullptr; }, false},
        {"no indices", [](RenderContext& c) { c.textureIndices = nullptr; }, false},
        {"no palette", [](RenderContext& c) { c.palette = nullptr; }, false},
        {"texture width 0", [](RenderContext& c) { c.textureWidth = 0; }, false},
        {"texture height -1", [](RenderContext& c) { c.textureHeight = -1; }, false},
        {"pitch 0", [](RenderContext& c) { c.pitch = 0; }, false},
        {"null arrays", [](RenderContext&) {}, true},
        {"all on one row", [](RenderContext&) {}, false},
    };
    Random rng(5);
    for (const auto& c : cases) {
        GuardedContext images(32, 24, 128), before(32, 24, 128);
        images.fill(rng);
        before.copyImagesFrom(images);
        setTexture(images.context, texels, 2, 2, palette, 0);
        c.spoil(images.context);
        float flat[6] = {1, 7, 30, 7, 8, 7};
        const bool oneRow = std::string(c.why) == "all on one row";
        if (c.nullArrays) {
            drawTriangle(images.context, nullptr, uv, colours);
            drawTriangle(images.context, p, nullptr, colours);
            drawTriangle(images.context, p, uv, nullptr);
        } else {
            drawTriangle(images.context, oneRow ? flat : p, uv, colours);
        }
        if (oneRow) {  // the rasterisers may write their end rows; the target stays
            EXPECT_EQ(imageDifference("target", images.context.target, before.context.target, 128 * 24, 128), "")
                << c.why;
        } else {
            EXPECT_EQ(images.differenceFrom(before), "") << c.why;
        }
    }
}

// ---- kernels ---------------------------------------------------------------------------

// Coordinates left of or above the texture repeat it: the unsigned shift and the mask take
// u = -1 texel (-1024) to column 15 of a 16-texel-wide texture and -1.5 (-1536) to column 14.
TEST(textureSpanKernels, negativeCoordinatesWrap) {
    uint8_t indices[16 * 2];
    ColourWord palette[256];
    for (uint8_t i = 0; i < 32; ++i) indices[i] = i;    // index = column + 16 * row
    for (uint32_t i = 0; i < 256; ++i) palette[i] = i;  // index i becomes the PixelWord i << 16
    RenderContext context{};
    setTexture(context, indices, 16, 2, palette, 0);
    static const struct {
        int32_t uFx, vFx;
        uint32_t want[4];
    } cases[] = {
        {-1024, 0, {15, 0, 1, 2}},
        {-1536, -1024, {14 + 16, 15 + 16, 0 + 16, 1 + 16}},
    };
    for (const TextureSpanKernel kernel : {textureSpanScalar, kernels().textureSpan.packed})
        for (const auto& c : cases) {
            GuardedBytes pixels(16);
            kernel(context, TextureSpan{pixels.data(), 4, c.uFx, c.vFx, 1024, 0});
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(hexWord(loadWord(pixels.data() + 4 * i)), hexWord(c.want[i] << 16))
                    << "u " << c.uFx << " pixel " << i;
        }
}

// Every quarter from -2 to 258 in each channel: ties go to even, values past a byte are kept
// to 0..255.
TEST(lightSpanKernels, roundTiesToEvenAndKeepToAByte) {
    const int32_t count = (258 + 2) * 4 + 1;
    for (const LightSpanKernel kernel : {lightSpanScalar, kernels().lightSpan.packed}) {
        GuardedBytes pixels(4 * static_cast<size_t>(count));
        kernel(LightSpan{pixels.data(), count, {-1.75f, -2.0f, -0.5f}, {0.25f, 0.25f, 0.25f}});
        EXPECT_EQ(hexWord(loadWord(pixels.data() + 4 * 10)), hexWord(0xFF010002u))
            << "red 0.75, green 0.5, blue 2.0: 1, 0 (ties to even), 2";
        EXPECT_EQ(hexWord(loadWord(pixels.data())), hexWord(0xFF000000u)) << "below 0: 0";
        EXPECT_EQ(hexWord(loadWord(pixels.data() + 4 * (count - 1))), hexWord(0xFFFFFFFFu)) << "above 255: 255";
    }
}

}  // namespace
}  // namespace velkano
