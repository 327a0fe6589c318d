#include "context/render_context.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(_WIN32) || defined(__GLIBC__)
#  include <malloc.h>  // _msize, malloc_usable_size
#endif

namespace velkano {
namespace {

// A context of the test's own, released at the end of the test.
struct OwnContext {
    RenderContext context{};
    ~OwnContext() { destroyContext(context); }
};

bool allZero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

// Bytes the heap really holds behind a block, where the platform can say; 0 elsewhere.
size_t heapBlockBytes(void* block) {
#if defined(_WIN32)
    return _msize(block);
#elif defined(__GLIBC__)
    return malloc_usable_size(block);
#else
    (void)block;
    return 0;
#endif
}

TEST(initContext, allocatesZeroedLayersAndBandStorage) {
    OwnContext own;
    std::vector<uint8_t> image(2560 * 480);
    initContext(own.context, image.data(), 640, 480, 2560);
    const RenderContext& c = own.context;
    EXPECT_EQ(c.target, image.data());
    EXPECT_EQ(c.width, 640);
    EXPECT_EQ(c.height, 480);
    EXPECT_EQ(c.pitch, 2560);
    ASSERT_NE(c.textureLayer, nullptr);
    ASSERT_NE(c.lightLayer, nullptr);
    EXPECT_TRUE(allZero(c.textureLayer, 1228800));
    EXPECT_TRUE(allZero(c.lightLayer, 1228800));
    // Grid columns 0 to 40, twelve entries each: 1968 bytes.
    ASSERT_FALSE(c.bandStorage.empty());
    EXPECT_EQ(c.bandStorage.columns, 41);
    EXPECT_EQ(c.bandStorage.lastColumn(), 40);
    if (const size_t held = heapBlockBytes(c.bandStorage.entries); held != 0) {
        EXPECT_GE(held, 1968u);
    }
    EXPECT_TRUE(allZero(reinterpret_cast<const uint8_t*>(c.bandStorage.entries), 1968));
}

// Each layer is height x pitch bytes, row padding included: 480 x 2560 = 1,228,800, and a
// 100-pixel image with a pitch of 512 gets 10 x 512 bytes, not 10 x 400. The whole block is
// written and read back, so a shorter one faults under AddressSanitizer; where the heap
// tells its block sizes, a shorter one fails the size check as well.
TEST(initContext, layersHoldHeightTimesPitchBytes) {
    static const struct {
        int32_t width, height, pitch;
        size_t bytes;
    } cases[] = {{640, 480, 2560, 1228800}, {100, 10, 512, 5120}};
    for (const auto& c : cases) {
        OwnContext own;
        initContext(own.context, nullptr, c.width, c.height, c.pitch);
        for (uint8_t* layer : {own.context.textureLayer, own.context.lightLayer}) {
            ASSERT_NE(layer, nullptr) << c.width << " x " << c.height;
            const size_t held = heapBlockBytes(layer);
            if (held != 0) {
                ASSERT_GE(held, c.bytes) << c.width << " x " << c.height << " pitch " << c.pitch;
            }
            std::memset(layer, 0x5A, c.bytes);
            EXPECT_EQ(layer[c.bytes - 1], 0x5A);
        }
    }
}

TEST(initContext, bandStorageShape) {
    static const struct {
        int32_t width, height, pitch;
        int32_t lastColumn;  // K; -1: the storage is absent
        const char* why;
    } cases[] = {
        {16, 4, 64, 1, "width 16: two grid columns"},
        {17, 4, 68, 2, "width 17 needs a third"},
        {1, 4, 4, 1, "width 1"},
        {0, 4, 4, 0, "width 0: one grid column"},
        {5, 0, 20, 1, "height 0: shaped for the stored width"},
        {100, 4, 200, 4, "pitch below 4 x width: shaped for the 50 pixels drawn"},
        {-1, 4, 4, 0, "width -1 to -15 aligns up to 0"},
        {-16, 4, 4, -1, "width -16 or less: absent"},
        {16, -1, 64, 1, "negative height: shaped for the stored width (nothing is drawn)"},
        {2000000000, 1, -1, -1, "48 (K + 1) bytes do not fit in a signed 32-bit size: absent"},
    };
    for (const auto& c : cases) {
        OwnContext own;
        uint8_t pixel[4];
        initContext(own.context, pixel, c.width, c.height, c.pitch);
        const BandStorage& storage = own.context.bandStorage;
        EXPECT_EQ(storage.empty(), c.lastColumn < 0) << c.why;
        EXPECT_EQ(storage.lastColumn(), c.lastColumn) << c.why;
    }
}

TEST(initContext, layersAreAbsentWhenTheirSizeCannotBeHad) {
    static const struct {
        int32_t width, height, pitch;
        const char* why;
    } cases[] = {
        {10000, 100000, 40000, "4,000,000,000 bytes do not fit in a signed 32-bit size"},
        {10, 0, 40, "no rows"},
        {10, 10, 0, "no pitch"},
        {10, -10, -40, "negative height and pitch: the product is positive but meaningless"},
    };
    for (const auto& c : cases) {
        OwnContext own;
        initContext(own.context, nullptr, c.width, c.height, c.pitch);
        EXPECT_EQ(own.context.textureLayer, nullptr) << c.why;
        EXPECT_EQ(own.context.lightLayer, nullptr) << c.why;
    }
}

TEST(initContext, againKeepsBindingsAndFrameCounterAndReplacesEverythingElse) {
    OwnContext own;
    RenderContext& c = own.context;
    std::vector<uint8_t> big(400 * 300), small(40 * 10);
    const uint8_t texels[1] = {0};
    initContext(c, big.data(), 100, 300, 400);
    c.textureIndices = texels;
    c.blendMode = 2;
    c.frameCounter = 41;
    c.bandStorage.entries[5] = 99;
    c.textureLayer[0] = 5;
    initContext(c, small.data(), 10, 10, 40);
    EXPECT_EQ(c.textureIndices, texels);
    EXPECT_EQ(c.blendMode, 2);
    EXPECT_EQ(c.frameCounter, 41u);
    EXPECT_EQ(c.target, small.data());
    EXPECT_EQ(c.bandStorage.columns, 2);
    EXPECT_TRUE(allZero(reinterpret_cast<const uint8_t*>(c.bandStorage.entries), 2u * 12u * 4u));
    EXPECT_TRUE(allZero(c.textureLayer, 400));
}

// Under the sanitizer build a double release or a leak of a layer fails here.
TEST(unloadContext, releasesLayersOnceAndKeepsTheRest) {
    OwnContext own;
    RenderContext& c = own.context;
    unloadContext(c);  // before any init: nothing to release
    std::vector<uint8_t> image(64 * 4);
    initContext(c, image.data(), 16, 4, 64);
    unloadContext(c);
    unloadContext(c);
    EXPECT_EQ(c.textureLayer, nullptr);
    EXPECT_EQ(c.lightLayer, nullptr);
    EXPECT_EQ(c.target, image.data());
    EXPECT_EQ(c.width, 16);
    EXPECT_FALSE(c.bandStorage.empty());  // the band storage stays
    initContext(c, image.data(), 16, 4, 64);
    EXPECT_NE(c.textureLayer, nullptr);
}

TEST(endUpdate, countsFramesModulo2To32) {
    RenderContext c{};
    endUpdate(c);
    endUpdate(c);
    EXPECT_EQ(c.frameCounter, 2u);
    c.frameCounter = 0xFFFFFFFFu;
    endUpdate(c);
    EXPECT_EQ(c.frameCounter, 0u);
}

TEST(drawableWidth, keepsEveryPixelInsideItsRow) {
    static const struct {
        int32_t width, height, pitch, want;
    } cases[] = {
        {100, 10, 400, 100},
        {100, 10, 512, 100},
        {100, 10, 399, 99},
        {100, 10, 3, 0},
        {0, 10, 40, 0},
        {-5, 10, 40, 0},
        {10, 0, 40, 0},
        {10, -1, 40, 0},
        {10, 10, 0, 0},
        {10, 10, -40, 0},
        {INT32_MAX, 1, INT32_MAX, INT32_MAX / 4},
    };
    for (const auto& c : cases) {
        RenderContext context{};
        context.width = c.width;
        context.height = c.height;
        context.pitch = c.pitch;
        EXPECT_EQ(drawableWidth(context), c.want) << c.width << " x " << c.height << " pitch " << c.pitch;
    }
}

TEST(pauseThread, negativeReturnsAtOnceAndPositiveSleeps) {
    const auto start = std::chrono::steady_clock::now();
    pauseThread(-1);  // would sleep forever if handed on
    pauseThread(INT32_MIN);
    pauseThread(0);
    pauseThread(20);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(20));
}

}  // namespace
}  // namespace velkano
