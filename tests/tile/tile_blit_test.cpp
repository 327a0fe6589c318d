#include "tile/tile_blit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "../support/guarded_bytes.h"
#include "../support/image_difference.h"
#include "../support/reference/tile_reference.h"
#include "context/texture_binding.h"
#include "pixel/numeric.h"

namespace velkano {
namespace {

using testing::GuardedBytes;
using testing::hexWord;
using testing::imageDifference;
using testing::Random;
using testing::reference::drawTileLiterally;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Two contexts on guarded images of the same random bytes and one texture: drawTile draws
// into one, the literal walk into the other.
class TileAgainstReference : public ::testing::Test {
protected:
    void bindImages(int32_t width, int32_t height, int32_t pitch) {
        const size_t size = static_cast<size_t>(pitch) * static_cast<size_t>(height);
        got_ = std::make_unique<GuardedBytes>(size);
        want_ = std::make_unique<GuardedBytes>(size);
        rng_.fill(*got_);
        want_->copyFrom(*got_);
        got_context_ = RenderContext{};
        got_context_.target = got_->data();  // the layers are not needed
        got_context_.width = width;
        got_context_.height = height;
        got_context_.pitch = pitch;
        want_context_ = got_context_;
        want_context_.target = want_->data();
    }
    void bindTexture(int32_t width, int32_t height, int32_t blendMode) {
        // Against a guard page: a read past the texture faults.
        indices_ = std::make_unique<GuardedBytes>(static_cast<size_t>(std::max(width * height, 1)));
        for (size_t i = 0; i < indices_->size(); ++i)
            indices_->data()[i] = static_cast<uint8_t>(rng_.next() % 5 == 0 ? 0 : rng_.next());
        palette_.resize(256);
        for (auto& entry : palette_) entry = rng_.next();
        for (RenderContext* c : {&got_context_, &want_context_})
            setTexture(*c, indices_->data(), width, height, palette_.data(), blendMode);
    }
    void drawAndCompare(const TileArgs& t, PixelWord tint) {
        drawTile(got_context_, t, tint);
        drawTileLiterally(want_context_, t, tint);
        ASSERT_EQ(imageDifference("target", *got_, *want_, static_cast<size_t>(got_context_.pitch)), "")
            << "tile " << t.x << "," << t.y << " " << t.w << "x" << t.h << " offset " << t.uOffset << "," << t.vOffset
            << " span " << t.uSpan << "," << t.vSpan << " mode " << got_context_.blendMode << " texture "
            << got_context_.textureWidth << "x" << got_context_.textureHeight;
    }

    Random rng_{99};
    std::unique_ptr<GuardedBytes> got_, want_;
    RenderContext got_context_{}, want_context_{};
    std::unique_ptr<GuardedBytes> indices_;
    std::vector<ColourWord> palette_;
};

// Random tiles on a padded image, many partly outside it, every mode including ones with
// no case, power-of-two and other texture sizes (byte extents a multiple of 4 or not).
TEST_F(TileAgainstReference, randomTilesMatchTheLiteralWalk) {
    static const struct {
        int32_t width, height, pitch;
    } images[] = {{100, 60, 412}, {37, 9, 149}, {50, 20, 120}};  // the last: pitch / 4 < width
    static const struct {
        int32_t width, height;
    } textures[] = {{16, 16}, {64, 8}, {1, 1}, {12, 5}, {256, 2}, {3, 5}, {2, 6}};
    for (const auto& image : images)
        for (const auto& texture : textures)
            for (int32_t mode = 0; mode <= 5; ++mode) {
                bindImages(image.width, image.height, image.pitch);
                bindTexture(texture.width, texture.height, mode);
                for (int i = 0; i < 40; ++i) {
                    const TileArgs t{rng_.awkwardFloat(-60, 140), rng_.awkwardFloat(-40, 90),
                                     rng_.awkwardFloat(-8, 120),  rng_.awkwardFloat(-8, 80),
                                     rng_.awkwardFloat(-50, 50),  rng_.awkwardFloat(-50, 50),
                                     rng_.awkwardFloat(-90, 90),  rng_.awkwardFloat(-90, 90)};
                    drawAndCompare(t, rng_.next());
                }
            }
}

// Tiles wider than one stretch of precomputed columns, and tiles whose walk starts far to
// the left or above the image, up to the 2^20 limit, or lies beyond it.
TEST_F(TileAgainstReference, wideAndFarTilesMatchTheLiteralWalk) {
    bindImages(1300, 3, 5200);
    bindTexture(32, 32, 2);
    const float edge = static_cast<float>(kFarLimit);
    const TileArgs tiles[] = {
        {-3.5f, 0, 1290, 2, 0, 0, 97, 3},
        {1.0f, -1, 1298, 2, 7, -2, -1000, 40},
        {-edge, -2, edge + 1200, 3, 3, 1, 1e6f, 5},
        {-edge, -edge, edge + 10, edge + 2, 0.25f, 0.75f, 3e5f, 7e5f},
        {-edge - 1, 0, edge + 5, 2, 0, 0, 16, 16},
        {0, 0, edge + 1, 2, 0, 0, 16, 16},
        {5, -edge, 10, edge + 1, 0, 0, 1e-3f, 1e-30f},
    };
    for (const auto& t : tiles) drawAndCompare(t, 0xFFFFFFFF);
}

// Hostile arguments on a small image that ends against a guard page.
TEST_F(TileAgainstReference, hostileArgumentsStayInsideTheImage) {
    bindImages(8, 8, 32);
    bindTexture(16, 16, 0);
    const float big = 3e38f;
    const TileArgs tiles[] = {
        {kNaN, 0, 4, 4, 0, 0, 16, 16},
        {0, kInf, 4, 4, 0, 0, 16, 16},
        {0, 0, kNaN, 4, 0, 0, 16, 16},
        {0, 0, 7, 7, kNaN, kInf, 16, 16},
        {0, 0, 7, 7, big, -big, 16, 16},
        {0, 0, 7, 7, 0, 0, big, -big},
        {0, 0, 7, 7, 0, 0, kInf, kNaN},
        {0, 0, 0, 0, 0, 0, 16, 16},
        {2, 3, -0.0f, 0, 5, 5, 0, 0},
        {7.5f, 7.5f, 100, 100, 0, 0, 1, 1},
        {-100, -100, 107.4f, 107.6f, 1, 1, 1e9f, 1e-9f},
    };
    for (const auto& t : tiles) drawAndCompare(t, 0x00FFFFFF);
}

// Drawing with a texture whose texel at (column, row) shows as a pixel with green 4 * column,
// blue 4 * row and red 254, so each written pixel tells which texel it took.
class TileTexels : public ::testing::Test {
protected:
    // A texture of width x height texels (at most 256 of them) of that kind.
    void bindTexture(int32_t width, int32_t height) {
        indices_.resize(static_cast<size_t>(width * height));
        for (size_t i = 0; i < indices_.size(); ++i) indices_[i] = static_cast<uint8_t>(i);
        palette_.resize(256);
        for (uint32_t i = 0; i < 256; ++i)
            palette_[i] = ((i / width * 4 + 1) << 16) | ((i % width * 4 + 1) << 8) | 0xFF;
        setTexture(context_, indices_.data(), width, height, palette_.data(), 0);
        initContext(context_, image_.data(), 64, 48, 256);
    }
    void TearDown() override { destroyContext(context_); }
    // The texel column and row the pixel took, or {-1, -1} if it was not written.
    std::pair<int, int> texelAt(int px, int py) const {
        const uint32_t p = image_[static_cast<size_t>(py) * 64 + px];
        if ((p >> 16) != 0xFE) return {-1, -1};
        return {static_cast<int>((p >> 8) & 0xFF) / 4, static_cast<int>(p & 0xFF) / 4};
    }

    RenderContext context_{};
    std::vector<uint32_t> image_ = std::vector<uint32_t>(64 * 48);
    std::vector<uint8_t> indices_;
    std::vector<ColourWord> palette_;
};

// The worked examples: which columns and rows a tile covers and which texel each one takes.
TEST_F(TileTexels, workedExamplesTakeTheDocumentedTexels) {
    // clang-format off
    static const struct {
        const char* what;
        int32_t texW, texH;
        TileArgs tile;
        int firstColumn;
        std::vector<int> texelColumns;
        int firstRow;
        std::vector<int> texelRows;
    } cases[] = {
        {"1:1 at whole positions covers 17 x 17", 16, 16, {10, 20, 16, 16, 0, 0, 16, 16},
         10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0},
         20, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0}},
        {"x = 10.5: ties to even skip the odd texels", 16, 16, {10.5f, 0, 16, 16, 0, 0, 16, 16},
         10, {0, 0, 2, 2, 4, 4, 6, 6, 8, 8, 10, 10, 12, 12, 14, 14, 0},
         0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0}},
        {"y = 20.5: the fraction of y does not move the texture", 16, 16, {0, 20.5f, 2, 16, 0, 0, 2, 16},
         0, {0, 1, 2}, 20, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0}},
        {"magnified 8 texels over 16 pixels", 8, 8, {0, 0, 16, 1, 0, 0, 8, 1},
         0, {0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6, 6, 6, 7, 0, 0}, 0, {0, 1}},
        {"an offset of 4 pixels is 8 texels at 2 texels per pixel", 32, 8, {0, 0, 16, 1, 4, 0, 32, 1},
         0, {8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 0, 2, 4, 6, 8}, 0, {0, 1}},
        {"w = 0 covers one column, from texel column 0", 16, 16, {5, 0, 0, 2, 0, 0, 16, 2},
         5, {0}, 0, {0, 1, 2}},
        {"w = -4 draws nothing", 16, 16, {10, 0, -4, 2, 0, 0, 16, 2}, 0, {}, 0, {}},
        {"a negative h that ends above y draws nothing", 16, 16, {0, 10, 2, -1, 0, 0, 2, 2}, 0, {}, 0, {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::fill(image_.begin(), image_.end(), 0u);
        bindTexture(c.texW, c.texH);
        drawTile(context_, c.tile, 0xFFFFFFFF);
        for (int py = 0; py < 48; ++py)
            for (int px = 0; px < 64; ++px) {
                const int i = px - c.firstColumn, j = py - c.firstRow;
                const bool covered = i >= 0 && i < static_cast<int>(c.texelColumns.size()) && j >= 0 &&
                                     j < static_cast<int>(c.texelRows.size());
                const std::pair<int, int> want = covered ? std::pair{c.texelColumns[i], c.texelRows[j]}
                                                         : std::pair{-1, -1};
                ASSERT_EQ(texelAt(px, py), want) << c.what << ": pixel " << px << "," << py;
            }
    }
}

// One texel colour, tint and target pixel through each blend mode.
TEST(drawTile, tintAndBlendModesGiveTheDocumentedPixels) {
    static const struct {
        const char* what;
        int32_t mode;
        uint8_t index;
        ColourWord entry;  // red in byte 0
        PixelWord tint, before, after;
    } cases[] = {
        {"white tint takes one step off", 0, 1, 0x000080FF, 0xFFFFFF, 0x12345678, 0x00FE7F00},
        {"white tint: 1 becomes 0, 0 stays 0", 0, 1, 0x00FF0001, 0xFFFFFF, 0x12345678, 0x000000FE},
        {"half tint", 0, 1, 0x000080FF, 0x808080, 0x12345678, 0x007F4000},
        {"tint 0 gives black", 0, 1, 0xFFFFFFFF, 0x000000, 0x12345678, 0x00000000},
        {"byte 3 of tint and entry have no effect", 0, 1, 0xAB0000FF, 0xFFFF0000, 0x12345678, 0x00FE0000},
        {"index 0 is transparent in mode 1", 1, 0, 0xFFFFFFFF, 0xFFFFFF, 0x12345678, 0x12345678},
        {"a black entry is written in mode 1", 1, 9, 0x00000000, 0xFFFFFF, 0x12345678, 0x00000000},
        {"mode 0 writes index 0 too", 0, 0, 0x00FFFFFF, 0xFFFFFF, 0x12345678, 0x00FEFEFE},
        {"mode 2 saturates and keeps byte 3", 2, 1, 0x00212121, 0xFFFFFF, 0xABF0F0F0, 0xABFFFFFF},
        {"mode 3 with 128 keeps the target", 3, 1, 0x00818181, 0xFFFFFF, 0x00404040, 0x00404040},
        {"mode 3 with 254 nearly doubles, byte 3 cleared", 3, 1, 0x00FFFFFF, 0xFFFFFF, 0xAB404040, 0x007F7F7F},
        {"mode 4 writes nothing", 4, 1, 0x00FFFFFF, 0xFFFFFF, 0x12345678, 0x12345678},
        {"mode -1 writes nothing", -1, 1, 0x00FFFFFF, 0xFFFFFF, 0x12345678, 0x12345678},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> image(8 * 8, c.before);
        const std::vector<uint8_t> indices(16, c.index);
        std::vector<ColourWord> palette(256, 0x00FFFFFF);
        palette[c.index] = c.entry;
        RenderContext context{};
        context.target = reinterpret_cast<uint8_t*>(image.data());
        context.width = context.height = 8;
        context.pitch = 32;
        setTexture(context, indices.data(), 4, 4, palette.data(), c.mode);
        drawTile(context, {1, 1, 5, 5, 0, 0, 4, 4}, c.tint);  // columns and rows 1 to 6
        for (int i = 0; i < 64; ++i) {
            const bool covered = i % 8 >= 1 && i % 8 <= 6 && i / 8 >= 1 && i / 8 <= 6;
            ASSERT_EQ(hexWord(image[i]), hexWord(covered ? c.after : c.before)) << c.what << ": pixel " << i;
        }
    }
}

// 16-wide tiles at x = 0 and x = 16 both cover column 16: in mode 2 it receives both
// additions, in mode 0 the later tile's texel replaces the earlier one's.
TEST(drawTile, neighbouringTilesShareAColumn) {
    static const struct {
        int32_t mode;
        PixelWord column15, column16, column17;
    } cases[] = {{2, 0x00010203, 0x00030609, 0x00020406}, {0, 0x00010203, 0x00020406, 0x00020406}};
    for (const auto& c : cases) {
        std::vector<uint32_t> image(40 * 2, 0);
        RenderContext context{};
        context.target = reinterpret_cast<uint8_t*>(image.data());
        context.width = 40;
        context.height = 2;
        context.pitch = 160;
        const uint8_t first[1] = {1}, second[1] = {2};
        std::vector<ColourWord> palette(256, 0);
        palette[1] = 0x00060402;  // the PixelWord 0x00020406, halved by the tint: 0x00010203
        palette[2] = 0x000C0804;  // 0x0004080C, halved: 0x00020406
        setTexture(context, first, 1, 1, palette.data(), c.mode);
        drawTile(context, {0, 0, 16, 1, 0, 0, 1, 1}, 0x808080);
        setTexture(context, second, 1, 1, palette.data(), c.mode);
        drawTile(context, {16, 0, 16, 1, 0, 0, 1, 1}, 0x808080);
        for (int32_t y = 0; y < 2; ++y) {
            EXPECT_EQ(hexWord(image[y * 40 + 15]), hexWord(c.column15)) << "mode " << c.mode << " row " << y;
            EXPECT_EQ(hexWord(image[y * 40 + 16]), hexWord(c.column16)) << "mode " << c.mode << " row " << y;
            EXPECT_EQ(hexWord(image[y * 40 + 17]), hexWord(c.column17)) << "mode " << c.mode << " row " << y;
            EXPECT_EQ(hexWord(image[y * 40 + 32]), hexWord(c.column17)) << "the second tile ends at column 32";
            EXPECT_EQ(hexWord(image[y * 40 + 33]), hexWord(0)) << "nothing past it";
        }
    }
}

TEST(drawTile, drawsNothingWithoutAUsableTextureOrImage) {
    const uint8_t indices[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const ColourWord palette[2] = {0, 0x00FFFFFF};
    static const struct {
        bool indices, palette;
        int32_t texW, texH, width, height, pitch;
    } cases[] = {{false, true, 4, 4, 8, 8, 32}, {true, false, 4, 4, 8, 8, 32}, {true, true, 0, 4, 8, 8, 32},
                 {true, true, 4, -4, 8, 8, 32}, {true, true, 4, 4, 0, 8, 32},  {true, true, 4, 4, 8, 8, 3}};
    for (const auto& c : cases) {
        std::vector<uint32_t> image(64, 0x12345678);
        RenderContext context{};
        context.target = reinterpret_cast<uint8_t*>(image.data());
        context.width = c.width;
        context.height = c.height;
        context.pitch = c.pitch;
        setTexture(context, c.indices ? indices : nullptr, c.texW, c.texH, c.palette ? palette : nullptr, 0);
        drawTile(context, {0, 0, 7, 7, 0, 0, 4, 4}, 0xFFFFFFFF);
        for (uint32_t p : image)
            ASSERT_EQ(hexWord(p), hexWord(0x12345678u)) << c.indices << c.palette << " " << c.texW << "x" << c.texH;
    }
}

}  // namespace
}  // namespace velkano
