#include "raster/span_compositor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../support/guarded_bytes.h"
#include "../support/image_difference.h"
#include "../support/reference/span_compositor_reference.h"
#include "context/kernel_table.h"
#include "pixel/channel_ops.h"

namespace velkano {
namespace {

using testing::GuardedBytes;
using testing::hexWord;
using testing::imageDifference;
using testing::Random;
using testing::reference::compositeLiterally;

// A destination and a source image of one shape, each against a guard page.
struct ImagePair {
    ImagePair(int32_t width, int32_t height, int32_t pitch)
        : destination(static_cast<size_t>(pitch) * height), source(static_cast<size_t>(pitch) * height) {
        context.width = width;
        context.height = height;
        context.pitch = pitch;
    }
    uint32_t* at(GuardedBytes& image, int32_t x, int32_t y) {
        return reinterpret_cast<uint32_t*>(image.data() + static_cast<size_t>(y) * context.pitch + 4 * x);
    }
    PixelWord destinationAt(int32_t x, int32_t y) { return *at(destination, x, y); }
    void composite(SpanRegion region, int32_t mode) {
        compositeSpans(context, destination.data(), source.data(), region, static_cast<CompositeMode>(mode));
    }

    RenderContext context{};
    GuardedBytes destination, source;
};

// Which pixels a mode-0 composite of distinct source pixels over a zero destination wrote,
// as the column range of each row ({1, 0} for none).
std::vector<std::pair<int32_t, int32_t>> coveredColumns(ImagePair& images) {
    std::vector<std::pair<int32_t, int32_t>> rows;
    for (int32_t y = 0; y < images.context.height; ++y) {
        int32_t first = 1, last = 0;
        for (int32_t x = 0; x < images.context.width; ++x) {
            if (images.destinationAt(x, y) == 0) continue;
            if (first > last) first = x;
            last = x;
        }
        rows.emplace_back(first, last);
    }
    return rows;
}

void fillForCoverage(ImagePair& images) {
    const int32_t width = images.context.width, height = images.context.height;
    std::memset(images.destination.data(), 0, images.destination.size());
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) *images.at(images.source, x, y) = 0x01000000u + y * 1000u + x;
}

TEST(compositeSpans, rowsAndColumnsFollowTheFlooredEdges) {
    using Rows = std::vector<std::pair<int32_t, int32_t>>;
    static const struct {
        SpanRegion region;
        Rows want;  // per row of an 8-row image: first and last column written
        const char* why;
    } cases[] = {
        {{0, 3, 10, 10, 4, 13},
         {{1, 0}, {8, 10}, {6, 11}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}},
         "apex row empty, row `bottom` left out"},
        {{3, 0, 4, 13, 10, 10},
         {{1, 0}, {8, 10}, {6, 11}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}},
         "upside down: the same pixels"},
        {{0, 6, 2, 10, 0, 10},
         {{2, 9}, {1, 9}, {1, 9}, {0, 9}, {0, 9}, {0, 9}, {1, 0}, {1, 0}},
         "slope -1/3 floors to -342: starts 2, 1, 1, 0, 0, 0"},
        {{2, 3, 5, 6, 5, 6},
         {{1, 0}, {1, 0}, {5, 5}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}},
         "height 1, edges one apart: one pixel"},
        {{1, 4, 7, 14, 7, 14},
         {{1, 0}, {7, 13}, {7, 13}, {7, 13}, {1, 0}, {1, 0}, {1, 0}, {1, 0}},
         "odd span: the trailing pixel is written"},
        {{-3, 20, -40, 50, -40, 50},
         {{0, 15}, {0, 15}, {0, 15}, {0, 15}, {0, 15}, {0, 15}, {0, 15}, {0, 15}},
         "a region larger than the image covers exactly the image"},
    };
    for (const auto& c : cases) {
        ImagePair images(16, 8, 64);
        fillForCoverage(images);
        images.composite(c.region, 0);
        EXPECT_EQ(coveredColumns(images), c.want) << c.why;
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 16; ++x) {
                const PixelWord d = images.destinationAt(x, y);
                if (d != 0) {
                    EXPECT_EQ(hexWord(d), hexWord(*images.at(images.source, x, y))) << c.why << " at " << x << "," << y;
                }
            }
    }
}

// Edge steps in 22.10, floored: the region {0, 3, 10, 10, 4, 13} steps its left edge by
// -2048 and its right by 1024; negative fractions go down, not towards zero.
TEST(edgeStepFx, floorsTheSlopeTowardsMinusInfinity) {
    static const struct {
        int32_t topX, bottomX;
        double rows;
        int32_t want;
        const char* why;
    } cases[] = {
        {10, 4, 3, -2048, "-2 px/row"},
        {10, 13, 3, 1024, "1 px/row"},
        {2, 0, 6, -342, "-1/3 px/row: -341.33 floors to -342"},
        {3, 0, 10, -308, "-0.3 px/row: -307.2 floors to -308"},
        {0, 2, 6, 341, "+1/3 px/row: 341.33 floors to 341"},
    };
    for (const auto& c : cases) EXPECT_EQ(edgeStepFx(c.topX, c.bottomX, c.rows), c.want) << c.why;
}

TEST(compositeSpans, normalisesTheCallersRecordUnlessItIsEmpty) {
    ImagePair images(16, 8, 64);
    fillForCoverage(images);
    SpanRegion flat{3, 3, 9, 2, 1, 0};
    compositeSpans(images.context, images.destination.data(), images.source.data(), flat, CompositeMode::Replace);
    EXPECT_EQ(flat.topLeftX, 9) << "a region with top == bottom is left as passed";
    EXPECT_EQ(flat.bottomLeftX, 1);
    EXPECT_EQ(coveredColumns(images), (std::vector<std::pair<int32_t, int32_t>>(8, {1, 0})));

    SpanRegion upsideDown{5, 1, 9, 2, 7, 3};
    compositeSpans(images.context, images.destination.data(), images.source.data(), upsideDown, CompositeMode::Replace);
    EXPECT_EQ(upsideDown.top, 1);
    EXPECT_EQ(upsideDown.bottom, 5);
    EXPECT_EQ(upsideDown.topLeftX, 3) << "x pairs travel with their rows, then each is ordered";
    EXPECT_EQ(upsideDown.topRightX, 7);
    EXPECT_EQ(upsideDown.bottomLeftX, 2);
    EXPECT_EQ(upsideDown.bottomRightX, 9);
}

TEST(compositeSpans, modesGiveTheDocumentedLanes) {
    static const struct {
        int32_t mode;  // as the host binds it
        PixelWord source, destination, want;
        const char* why;
    } cases[] = {
        {0, 0x11223344, 0xAABBCCDD, 0x11223344, "copy, all four bytes"},
        {1, 0x11223344, 0xAABBCCDD, 0x11223344, "same as 0"},
        {2, 0xF0F00000, 0x20100000, 0xFFFF0000, "saturating add"},
        {3, 0x80804001, 0x804040FF, 0xFF804002, "128*128 255, 128*64 128, 64*64 64, 1*255 2"},
        {4, 0x80FFFF01, 0x8080FFFF, 0x80FEFF00, "128*128 128, 255*128 254, 255*255 255, 1*255 0"},
        {5, 0x11223344, 0xAABBCCDD, 0xAABBCCDD, "writes nothing"},
        {7, 0x11223344, 0xAABBCCDD, 0xAABBCCDD, "no such mode"},
        {-1, 0x11223344, 0xAABBCCDD, 0xAABBCCDD, "negative: no such mode"},
    };
    for (const auto& c : cases) {
        ImagePair images(4, 1, 16);
        for (int32_t x = 0; x < 4; ++x) {
            *images.at(images.source, x, 0) = c.source;
            *images.at(images.destination, x, 0) = c.destination;
        }
        images.composite({0, 1, 0, 4, 0, 4}, c.mode);
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(hexWord(images.destinationAt(x, 0)), hexWord(c.want))
                << "mode " << c.mode << ": " << c.why << " (pixel " << x << ")";
    }
}

TEST(compositeSpans, displacementReadsTheDestinationOffsetAndWrapped) {
    // Blue 255 moves 63 columns right, green 255 63 rows down, each wrapping; the read sees
    // pixels this same call already wrote when the wrap brings it back.
    ImagePair images(70, 66, 70 * 4 + 12);
    for (int32_t y = 0; y < 66; ++y)
        for (int32_t x = 0; x < 70; ++x) *images.at(images.destination, x, y) = (y << 8) | x;
    std::memset(images.source.data(), 0, images.source.size());
    *images.at(images.source, 2, 0) = 0x000000FF;   // 63 right: column 65
    *images.at(images.source, 10, 0) = 0x000000FF;  // 63 right wraps to column 3
    *images.at(images.source, 4, 1) = 0x0000FF00;   // 63 down: row 64
    *images.at(images.source, 5, 5) = 0x00000AFD;   // 63 right, 2 down
    *images.at(images.source, 1, 1) = 0x00000004;   // 1 right
    *images.at(images.source, 1, 4) = 0x0000FF00;   // 63 down wraps to row 1, already written
    images.composite({0, 6, 0, 70, 0, 70}, 6);
    EXPECT_EQ(hexWord(images.destinationAt(2, 0)), hexWord(0x0041u));
    EXPECT_EQ(hexWord(images.destinationAt(10, 0)), hexWord(0x0003u));
    EXPECT_EQ(hexWord(images.destinationAt(4, 1)), hexWord(0x4004u));
    EXPECT_EQ(hexWord(images.destinationAt(5, 5)), hexWord(0x0744u));
    EXPECT_EQ(hexWord(images.destinationAt(1, 1)), hexWord(0x0102u));
    EXPECT_EQ(hexWord(images.destinationAt(1, 4)), hexWord(0x0102u)) << "row 1 column 1 as this call left it";
    EXPECT_EQ(hexWord(images.destinationAt(0, 5)), hexWord(0x0500u)) << "offset 0 keeps the pixel";
}

// Random regions, many reaching outside the image or far above it, in every mode, against
// the compositor's rows walked literally.
TEST(compositeSpans, regionsReachingOutsideMatchTheLiteralWalk) {
    Random rng(41);
    for (int round = 0; round < 400; ++round) {
        const int32_t width = 1 + rng.next() % 40, height = 1 + rng.next() % 30, pitch = 4 * width + rng.next() % 9;
        ImagePair got(width, height, pitch), want(width, height, pitch);
        rng.fill(got.destination);
        rng.fill(got.source);
        want.destination.copyFrom(got.destination);
        want.source.copyFrom(got.source);
        const auto coordinate = [&](int32_t span) { return static_cast<int32_t>(rng.next() % (3 * span)) - span; };
        SpanRegion region{coordinate(height), coordinate(height), coordinate(width),
                          coordinate(width),  coordinate(width),  coordinate(width)};
        if (round % 10 == 0) region.top = -100000 - static_cast<int32_t>(rng.next() % 1000);
        const auto mode = static_cast<int32_t>(rng.next() % 8);
        got.composite(region, mode);
        compositeLiterally(want.context, want.destination.data(), want.source.data(), region, mode);
        ASSERT_EQ(imageDifference("destination", got.destination, want.destination, pitch), "")
            << "region " << region.top << " " << region.bottom << " " << region.topLeftX << " " << region.topRightX
            << " " << region.bottomLeftX << " " << region.bottomRightX << " mode " << mode << " image " << width << "x"
            << height;
    }
}

// The lit walks against their two steps, light into texture then texture into destination, on
// random regions in every mode (the texture comes out lit whether the mode writes or not):
// compositeLitSpans (light by mode 3) on even rounds, DRAWTRI's multiply-lit kernel of each
// level (light by mode 4, for the modes it has a kernel for) on odd ones.
TEST(compositeLitSpans, isTheLightStepThenTheBlendStep) {
    Random rng(43);
    for (int round = 0; round < 900; ++round) {
        const int32_t width = 1 + rng.next() % 40, height = 1 + rng.next() % 30, pitch = 4 * width + rng.next() % 9;
        ImagePair got(width, height, pitch), want(width, height, pitch);
        GuardedBytes light(static_cast<size_t>(pitch) * height);
        for (GuardedBytes* image : {&got.destination, &got.source, &light}) rng.fill(*image);
        want.destination.copyFrom(got.destination);
        want.source.copyFrom(got.source);
        const auto coordinate = [&](int32_t span) { return static_cast<int32_t>(rng.next() % (3 * span)) - span; };
        const SpanRegion region{coordinate(height), coordinate(height), coordinate(width),
                                coordinate(width),  coordinate(width),  coordinate(width)};
        const auto mode = static_cast<CompositeMode>(rng.next() % 8);
        SpanRegion lit = region, first = region, second = region;
        const bool multiply = round % 2 == 1;
        const auto level = static_cast<SimdLevel>(round / 2 % 3);
        if (multiply) {
            const SpanKernel kernel = kernelTable(level).spans.multiplyLit(mode);
            SpanWalk walk{};
            if (kernel == nullptr || lit.top == lit.bottom || !spanWalk(got.context, lit, walk)) continue;
            kernel({got.destination.data(), nullptr, static_cast<size_t>(pitch), width, height, got.source.data(),
                    light.data()},
                   walk);
        } else {
            compositeLitSpans(got.context, got.destination.data(), got.source.data(), light.data(), lit, mode);
        }
        compositeSpans(want.context, want.source.data(), light.data(), first,
                       multiply ? CompositeMode::Multiply2x : CompositeMode::Modulate2x);
        compositeSpans(want.context, want.destination.data(), want.source.data(), second, mode);
        ASSERT_EQ(imageDifference("texture", got.source, want.source, pitch), "")
            << "mode " << static_cast<int32_t>(mode) << " multiply " << multiply << " level "
            << static_cast<int>(level);
        ASSERT_EQ(imageDifference("destination", got.destination, want.destination, pitch), "")
            << "mode " << static_cast<int32_t>(mode) << " round " << round;
    }
}

}  // namespace
}  // namespace velkano
