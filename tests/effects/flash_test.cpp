#include "effects/flash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "../support/guarded_bytes.h"
#include "../support/image_difference.h"
#include "context/kernel_table.h"
#include "pixel/channel_ops.h"

namespace velkano {
namespace {

using namespace sse2;
using namespace avx2;

using testing::GuardedBytes;
using testing::hexWord;
using testing::imageDifference;
using testing::Random;
using Kernel = void (*)(uint8_t*, size_t, uint32_t);

struct KernelSet {
    const char* name;
    Kernel scalar, sse2, avx2;
};
const KernelSet kKernels[] = {
    {"add", flashAddScalar, flashAddSse2, flashAddAvx2},
    {"sub", flashSubScalar, flashSubSse2, flashSubAvx2},
    {"mod", flashModScalar, flashModSse2, flashModAvx2},
};

// The packed kernels this machine can run, each with its level's name.
struct PackedKernel {
    const char* level;
    Kernel kernel;
};
std::vector<PackedKernel> packedKernels(const KernelSet& set) {
    std::vector<PackedKernel> kernels{{"sse2", set.sse2}};
    if (detectedSimdLevel() == SimdLevel::Avx2) kernels.push_back({"avx2", set.avx2});
    return kernels;
}

TEST(flashKernels, packedMatchScalarForEveryTailAndStartAlignment) {
    Random rng(7);
    for (const auto& k : kKernels)
        for (const auto& packed : packedKernels(k))
            for (size_t size = 0; size <= 200; ++size)
                for (size_t misalign = 0; misalign < 32; misalign += 5) {
                    // Each block ends against a guard page: a step past the end faults.
                    GuardedBytes want(size + misalign), got(size + misalign);
                    rng.fill(want);
                    got.copyFrom(want);
                    const uint32_t colour = rng.next();
                    k.scalar(want.data() + misalign, size, colour);
                    packed.kernel(got.data() + misalign, size, colour);
                    ASSERT_EQ(imageDifference("block", got, want, want.size()), "")
                        << k.name << " " << packed.level << " size=" << size << " misalign=" << misalign
                        << " colour=" << hexWord(colour);
                }
}

// Every pixel byte value meets every colour byte value in every lane of the widest vector.
TEST(flashKernels, packedMatchScalarForEveryLanePair) {
    constexpr size_t kSize = 256 * 32 + 8;  // value v at offsets 32v..32v+31, plus a tail
    std::vector<uint8_t> original(kSize);
    for (size_t i = 0; i < kSize; ++i) original[i] = static_cast<uint8_t>(i / 32);
    for (const auto& k : kKernels)
        for (const auto& packed : packedKernels(k))
            for (uint32_t c = 0; c < 256; ++c) {
                std::vector<uint8_t> want = original, got = original;
                k.scalar(want.data(), kSize, c * 0x01010101u);
                packed.kernel(got.data(), kSize, c * 0x01010101u);
                ASSERT_EQ(imageDifference("block", got, want, kSize), "")
                    << k.name << " " << packed.level << " c=" << c;
            }
}

// The extent of each kernel: add and sub stop at the last whole 8-byte group, mod at the
// last whole word; nothing beyond changes.
TEST(flashKernels, changeExactlyTheirWholeGroups) {
    for (const auto& k : kKernels) {
        std::vector<PackedKernel> kernels = packedKernels(k);
        kernels.push_back({"scalar", k.scalar});
        for (const auto& packed : kernels)
            for (size_t size = 0; size <= 80; ++size) {
                const Kernel kernel = packed.kernel;
                std::vector<uint8_t> block(size + 8, 0x10);
                kernel(block.data(), size, 0x01010101u);
                const size_t group = std::strcmp(k.name, "mod") == 0 ? 4 : 8;
                const size_t changed = size / group * group;
                const uint8_t expectChanged = std::strcmp(k.name, "add") == 0   ? 0x11
                                              : std::strcmp(k.name, "sub") == 0 ? 0x0F
                                                                                : 0x00;
                for (size_t i = 0; i < block.size(); ++i)
                    ASSERT_EQ(block[i], i < changed ? expectChanged : 0x10)
                        << k.name << " " << packed.level << " size=" << size << " byte " << i;
            }
    }
}

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
