#include "effects/flash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "../support/guarded_bytes.h"
#include "../support/image_difference.h"
#include "pixel/channel_ops.h"

namespace velkano {
namespace {

using testing::GuardedBytes;
using testing::hexWord;
using testing::imageDifference;
using testing::Random;
// Flashes through a context: the whole pitch x height block, padding included.
class FlashOnImage : public ::testing::Test {
protected:
    void SetUp() override { rng_ = Random(21); }
    void TearDown() override { destroyContext(context_); }

    // Binds a guarded image of pitch x height bytes filled with random bytes.
    void bind(int32_t width, int32_t height, int32_t pitch) {
        image_ = std::make_unique<GuardedBytes>(static_cast<size_t>(pitch) * height);
        rng_.fill(*image_);
        before_.assign(image_->data(), image_->data() + image_->size());
        initContext(context_, image_->data(), width, height, pitch);
        pitch_ = static_cast<size_t>(pitch);
    }
    // What the block must hold after `op` on its first `changedBytes` bytes.
    template <typename Op>
    std::vector<uint8_t> expected(size_t changedBytes, Op op) const {
        std::vector<uint8_t> want = before_;
        for (size_t at = 0; at + 4 <= changedBytes; at += 4) {
            uint32_t word;
            std::memcpy(&word, want.data() + at, 4);
            word = op(word);
            std::memcpy(want.data() + at, &word, 4);
        }
        return want;
    }
    void expectImage(const std::vector<uint8_t>& want, const char* what) const {
        EXPECT_EQ(imageDifference("image", *image_, want, pitch_), "") << what;
    }

    RenderContext context_{};
    std::unique_ptr<GuardedBytes> image_;
    size_t pitch_ = 0;
    std::vector<uint8_t> before_;
    Random rng_{1};
};

// How far each flash reaches through a context: add and sub stop at the last whole 8-byte
// group of pitch x height, mod at the last whole word, whatever the rows look like.
TEST_F(FlashOnImage, extentFollowsTheBlockSize) {
    using Flash = void (*)(RenderContext&, uint32_t);
    static const struct {
        int32_t width, height, pitch;
        Flash flash;
        uint32_t (*channelOp)(uint32_t, uint32_t);
        size_t changedBytes;
        const char* why;
    } cases[] = {
        {3, 3, 12, flashAdd, channelAddSat, 32, "36 bytes: add keeps the lone ninth pixel"},
        {3, 3, 12, flashSub, channelSubSat, 32, "36 bytes: sub keeps the lone ninth pixel"},
        {3, 3, 12, flashMod, channelModulate, 36, "36 bytes: mod changes all nine"},
        {3, 3, 13, flashAdd, channelAddSat, 32, "39 bytes, rows at odd addresses: whole groups"},
        {3, 3, 13, flashMod, channelModulate, 36, "39 bytes, rows at odd addresses: whole words"},
    };
    const uint32_t colour = 0x40302010;
    for (const auto& c : cases) {
        bind(c.width, c.height, c.pitch);
        c.flash(context_, colour);
        expectImage(expected(c.changedBytes, [&](uint32_t p) { return c.channelOp(p, colour); }), c.why);
    }
}

TEST_F(FlashOnImage, rowPaddingIsFlashedToo) {
    bind(100, 3, 512);
    flashAdd(context_, 0x00FFFFFF);
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 128; ++x) {  // 100 pixels and 28 words of padding per row
            const uint8_t* p = image_->data() + row * 512 + 4 * x;
            ASSERT_EQ(p[0] & p[1] & p[2], 0xFF) << "row " << row << " word " << x;
            ASSERT_EQ(p[3], before_[row * 512 + 4 * x + 3]) << "X byte kept, row " << row << " word " << x;
        }
}

TEST_F(FlashOnImage, identityColoursLeaveTheImage) {
    bind(7, 5, 36);
    flashAdd(context_, 0);
    flashSub(context_, 0);
    flashMod(context_, 0x80808080);
    expectImage(before_, "add 0, sub 0, mod 0x80808080");
}

TEST_F(FlashOnImage, whiteAndBlackKeepTheXByte) {
    bind(4, 2, 16);
    flashAdd(context_, 0x00FFFFFF);
    expectImage(expected(32, [](uint32_t p) { return p | 0x00FFFFFFu; }), "add white");
    flashSub(context_, 0x00FFFFFF);
    std::vector<uint8_t> black = before_;
    for (size_t i = 0; i < black.size(); ++i)
        if (i % 4 != 3) black[i] = 0;
    expectImage(black, "sub white");
    flashMod(context_, 0x00808080);
    for (size_t i = 3; i < black.size(); i += 4) black[i] = 0;
    expectImage(black, "mod 0x00808080 clears X");
}

// Each colour byte meets its own lane of every pixel: byte 0 blue, byte 3 X.
TEST(flash, colourBytesMeetTheirOwnLanes) {
    using Flash = void (*)(RenderContext&, uint32_t);
    static const struct {
        Flash flash;
        uint32_t colour;
        uint32_t before, after;
        const char* why;
    } cases[] = {
        {flashAdd, 0x00000040, 0xAB102030, 0xAB102070, "0x40 adds 64 to blue only"},
        {flashAdd, 0x00000040, 0x12FFC0F0, 0x12FFC0FF, "blue saturates at 255"},
        {flashAdd, 0x40000000, 0xAB102030, 0xEB102030, "0x40000000 changes only X"},
        {flashAdd, 0x40000000, 0xF0FFFFFF, 0xFFFFFFFF, "X saturates too"},
        {flashSub, 0x00000040, 0xAB102050, 0xAB102010, "64 off blue only"},
        {flashSub, 0x00FFFFFF, 0xAB102050, 0xAB000000, "white turns black, X kept"},
        {flashMod, 0x00FFFFFF, 0x00804020, 0x00FF7F3F, "255 nearly doubles, saturating"},
        {flashMod, 0x00808080, 0xAB804020, 0x00804020, "128 keeps blue, green, red; X becomes 0"},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> image(4 * 2, c.before);  // 32 bytes: four whole groups
        RenderContext context{};
        initContext(context, image.data(), 4, 2, 16);
        c.flash(context, c.colour);
        for (size_t i = 0; i < image.size(); ++i)
            EXPECT_EQ(hexWord(image[i]), hexWord(c.after)) << c.why << ", pixel " << i;
        destroyContext(context);
    }
}

TEST(flash, doesNothingWithoutAnImage) {
    static const struct {
        int32_t width, height, pitch;
    } cases[] = {{0, 0, 0}, {4, 0, 16}, {4, 4, 0}, {4, -4, -16}, {4, -4, 16}, {4, 4, -16}};
    for (const auto& c : cases) {
        RenderContext context{};
        flashAdd(context, 0xFFFFFFFF);  // before any init: target null, nothing happens
        uint8_t image[64] = {};
        initContext(context, image, c.width, c.height, c.pitch);
        flashAdd(context, 0xFFFFFFFF);
        flashSub(context, 0xFFFFFFFF);
        flashMod(context, 0xFFFFFFFF);
        for (uint8_t b : image) ASSERT_EQ(b, 0) << c.width << " x " << c.height << " pitch " << c.pitch;
        initContext(context, nullptr, 4, 4, 16);  // a null target is never written through
        flashAdd(context, 0xFFFFFFFF);
        destroyContext(context);
    }
}

}  // namespace
}  // namespace velkano
