#include "raster/uv_grid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "../support/guarded_bytes.h"
#include "../support/guarded_context.h"
#include "context/kernel_table.h"
#include "raster/triangle_split.h"

namespace velkano {
namespace {

using testing::GuardedContext;
using testing::Random;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool sameRegion(const SpanRegion& a, const SpanRegion& b) {
    return a.top == b.top && a.bottom == b.bottom && a.topLeftX == b.topLeftX && a.topRightX == b.topRightX &&
           a.bottomLeftX == b.bottomLeftX && a.bottomRightX == b.bottomRightX;
}

TEST(splitIntoSpanRegions, cutsAtTheMiddleRowUnordered) {
    static const struct {
        float p[6];
        SpanRegion first, second;
        const char* why;
    } cases[] = {
        {{0, 0, 10, 20, 0, 5}, {20, 5, 10, 10, 0, 2}, {5, 0, 0, 2, 0, 0}, "S at row 5 of (10,20)-(0,0) is 2.5: 2"},
        {{4, 3, 9, 3, 1, 3}, {3, 3, 1, 1, 4, 1}, {3, 3, 4, 1, 9, 9}, "one row: M = 0, S = xA, both empty"},
        {{0, 0, 10, 0, 5, 8}, {8, 0, 5, 5, 0, 10}, {0, 0, 0, 10, 10, 10}, "y0 = y1 < y2: the first is all"},
        {{5, 0, 0, 8, 10, 8}, {0, 8, 5, 5, 0, 10}, {8, 8, 0, 10, 10, 10}, "y0 < y1 = y2: S = x2, second empty"},
        {{0.5f, 1.5f, 2.5f, 3.5f, 7, 9}, {2, 4, 0, 0, 2, 2}, {4, 9, 2, 2, 7, 7}, "rounding ties to even"},
    };
    for (const auto& c : cases) {
        SpanRegion first{}, second{};
        splitIntoSpanRegions(cutTriangle(c.p), first, second);
        EXPECT_TRUE(sameRegion(first, c.first)) << c.why;
        EXPECT_TRUE(sameRegion(second, c.second)) << c.why;
    }
}

TEST(edgeXAtRow, crossesTheRowOnTheLine) {
    static const struct {
        float xA, yA, xB, yB, y, want;
        const char* why;
    } cases[] = {
        {0, 0, 10, 20, 5, 2.5f, "a quarter of the way down"},
        {10, 20, 0, 0, 5, 2.5f, "the same line from the other end"},
        {3, 7, 9, 7, 100, 3, "a horizontal edge gives xA"},
        {20, 0, 0, 4, 4, 0, "at B's row: B's x"},
    };
    for (const auto& c : cases) EXPECT_EQ(edgeXAtRow(c.xA, c.yA, c.xB, c.yB, c.y), c.want) << c.why;
}

TEST(gridRange, reachesOneColumnAndSixteenRowsBeyondTheTriangle) {
    GuardedContext image(320, 200, 1280, true);  // K = 20
    UvGrid narrow = image.context.uvGrid;
    narrow.u.lastColumn = narrow.v.lastColumn = 18;
    static const struct {
        float p[6];
        bool narrowGrid;
        GridRange want;
        const char* why;
    } cases[] = {
        {{100, 5, 300, 20, 200, 60}, false, {5, 20, 0, 76}, "6.25 and 18.75 round to 6 and 19; row 5 - 16 raised"},
        {{0, 0, 64, 0, 0, 64}, false, {0, 5, 0, 80}, "block columns 0 and 4 give 0 to 5; rows 0 to 80"},
        {{100, 5, 300, 20, 200, 60}, true, {5, 18, 0, 76}, "K = 18 lowers the last column"},
        {{-40, 50, -2, 90, 30, 190}, false, {0, 3, 34, 199}, "left of the image; rmax lowered to height - 1"},
        {{-40, 50, -25, 90, -33, 120}, false, {0, -1, 0, -1}, "all block columns -2 or less: empty"},
        {{352, 50, 400, 90, 360, 120}, false, {0, -1, 0, -1}, "all block columns K + 2 or more: empty"},
        {{10, 230, 50, 240, 30, 260}, false, {0, -1, 0, -1}, "below the image: empty"},
        {{kNaN, 5, 10, kInf, 30, -kInf}, false, {0, 3, 0, 21}, "NaN and infinities round to -2^31: no wrap"},
    };
    for (const auto& c : cases) {
        const GridRange range = gridRange(c.narrowGrid ? narrow : image.context.uvGrid, 200, c.p);
        EXPECT_EQ(range.firstColumn, c.want.firstColumn) << c.why;
        EXPECT_EQ(range.lastColumn, c.want.lastColumn) << c.why;
        if (range.empty()) continue;
        EXPECT_EQ(range.firstRow, c.want.firstRow) << c.why;
        EXPECT_EQ(range.lastRow, c.want.lastRow) << c.why;
    }
}

TEST(fillGridBands, eachRowTakesOneMoreFlooredStep) {
    GuardedContext image(16, 32, 64, true);
    GridTable& table = image.context.uvGrid.u;
    static const struct {
        int32_t from, to, firstRow, lastRow;  // the band's grid value, the next one's
    } cases[] = {{0, 1600, 100, 1600}, {100, 83, 98, 68}, {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX - 15}};
    for (GridBandKernel kernel : {fillGridBandsScalar, fillGridBandsSse2})
        for (const auto& c : cases) {
            table.at(1, 0) = c.from;
            table.at(1, 16) = c.to;
            kernel(table, 1, GridRange{1, 1, 0, 15});
            EXPECT_EQ(table.at(1, 0), c.firstRow) << c.from << " to " << c.to;
            EXPECT_EQ(table.at(1, 15), c.lastRow) << c.from << " to " << c.to;
            EXPECT_EQ(table.at(1, 16), c.to) << "the next grid row is read, not written";
            for (int32_t k = 1; k < 16; ++k)
                EXPECT_EQ(wrapSub(table.at(1, k), table.at(1, k - 1)), wrapSub(c.firstRow, c.from));
        }
}

// Both passes, packed and scalar, over random triangles, coordinates and depths (NaN,
// infinities, zero and negative depths, values past 2^31 included), on grids of random
// entries: the two tables must come out the same entry for entry.
TEST(fillUvGrid, packedPassesMatchScalar) {
    constexpr int32_t kWidth = 90, kHeight = 50;
    Random rng(19);
    const SimdLevel level = kernels().level;
    for (int trial = 0; trial < 300; ++trial) {
        GuardedContext scalar(kWidth, kHeight, 4 * kWidth, true), packed(kWidth, kHeight, 4 * kWidth, true);
        scalar.fill(rng);
        packed.copyImagesFrom(scalar);
        float p[6], uv[6], z[3];
        for (int v = 0; v < 3; ++v) {
            p[2 * v] = rng.awkwardFloat(-40, kWidth + 40);
            p[2 * v + 1] = rng.awkwardFloat(-40, kHeight + 40);
            uv[2 * v] = rng.awkwardFloat(-1e3f, 1e3f) * (trial % 7 == 0 ? 1e7f : 1.0f);
            uv[2 * v + 1] = rng.awkwardFloat(-1e3f, 1e3f);
            z[v] = trial % 5 == 0 ? rng.awkwardFloat(-1, 1) : rng.awkwardFloat(0.1f, 50);
        }
        forceSimdLevelForTests(SimdLevel::Scalar);
        fillUvGrid(scalar.context, p, uv, z);
        forceSimdLevelForTests(SimdLevel::Sse2);
        fillUvGrid(packed.context, p, uv, z);
        forceSimdLevelForTests(level);
        ASSERT_EQ(packed.differenceFrom(scalar), "") << "trial " << trial;
    }
}

// Vertices (0, 0), (64, 0), (0, 64), coordinates equal to the positions, depths 1. A grid
// row's evaluated value is recovered from the band it leads: row r holds cu + su and row
// r + 1 holds cu + 2 su.
TEST(fillUvGrid, workedExampleEntryForEntry) {
    GuardedContext image(96, 100, 384, true);
    const float p[6] = {0, 0, 64, 0, 0, 64}, depths[3] = {1, 1, 1};
    fillUvGrid(image.context, p, p, depths);
    GridTable& u = image.context.uvGrid.u;
    GridTable& v = image.context.uvGrid.v;
    const auto evaluated = [](GridTable& t, int32_t c, int32_t r) { return 2 * t.at(c, r) - t.at(c, r + 1); };
    const int32_t row0[6] = {0, 13653, 27306, 40960, 54613, 68266};
    for (int32_t c = 0; c <= 5; ++c) EXPECT_EQ(evaluated(u, c, 0), row0[c]) << "column " << c;
    for (int32_t r = 0; r <= 80; r += 16) EXPECT_EQ(evaluated(v, 0, r), 1024 * r) << "grid row " << r;
    for (int32_t r = 0; r < 80; ++r) EXPECT_EQ(v.at(0, r), 1024 * (r + 1)) << "row " << r;
    EXPECT_EQ(u.at(6, 0), 0) << "column 6 lies outside the fill";
}

// A receding wall (depths 1 to 4) whose grid values depend on every binary32 rounding of the
// weights and steps; the values were worked out independently with each rounding made
// explicit. A compiler that keeps a weight in double precision changes some by 1.
TEST(fillUvGrid, weightsAndStepsAreRoundedToBinary32) {
    GuardedContext image(100, 60, 400, true);
    const float p[6] = {4, 3, 96, 14, 96, 46}, uv[6] = {0, 0, 64, 0, 64, 32}, depths[3] = {1, 4, 4};
    fillUvGrid(image.context, p, uv, depths);
    GridTable& u = image.context.uvGrid.u;
    GridTable& v = image.context.uvGrid.v;
    const auto evaluated = [](GridTable& t, int32_t c, int32_t r) { return 2 * t.at(c, r) - t.at(c, r + 1); };
    const int32_t uRow0[8] = {-690, 1938, 5313, 9804, 16074, 25443, 40959, 71632};
    const int32_t vRow16[8] = {3341, 3290, 3224, 3136, 3014, 2831, 2528, 1928};
    for (int32_t c = 0; c <= 7; ++c) {
        EXPECT_EQ(evaluated(u, c, 0), uRow0[c]) << "u, column " << c;
        EXPECT_EQ(evaluated(v, c, 16), vRow16[c]) << "v, column " << c;
    }
}

// A fill reads only entries it wrote itself, and writes only columns cmin to cmax, rows rmin
// to the last grid row + 16: the same triangle over a zeroed and over a random grid gives the
// same rectangle, and everything outside it keeps the random values. Triangles include
// ones reaching the image's last rows, degenerate ones, zero and negative depths and NaN.
TEST(fillUvGrid, writesItsRectangleFromItsOwnEntriesOnly) {
    constexpr int32_t kWidth = 100, kHeight = 70;
    static const struct {
        float p[6], uv[6], z[3];
    } cases[] = {
        {{10, 20, 90, 30, 40, 69}, {0, 0, 64, 0, 0, 64}, {1, 2, 4}},             // within 16 rows of the bottom
        {{-30, -50, 150, 10, 40, 200}, {-5, 7, 300, -9, 12, 40}, {3, 0.5f, 9}},  // over the whole image
        {{5, 5, 60, 5, 30, 5}, {0, 0, 8, 8, 16, 16}, {1, 1, 1}},                 // one row
        {{5, 5, 20, 20, 40, 40}, {0, 0, 8, 8, 16, 16}, {1, 1, 1}},               // collinear
        {{5, 5, 60, 9, 30, 50}, {0, 0, 8, 8, 16, 16}, {0, -1, 2}},               // zero and negative depth
        {{5, 5, 60, 9, 30, 50}, {kNaN, 0, kInf, 8, 16, 16}, {1, kNaN, 2}},       // NaN coordinates and depth
        {{99, 69, 98, 60, 90, 68}, {1e9f, -1e9f, 3, 3, 5, 5}, {1e-30f, 1, 1}},   // values past 2^31
    };
    Random rng(5);
    for (const auto& c : cases) {
        GuardedContext zeroed(kWidth, kHeight, 4 * kWidth, true), noisy(kWidth, kHeight, 4 * kWidth, true);
        noisy.fill(rng);
        GuardedContext before(kWidth, kHeight, 4 * kWidth, true);
        before.copyImagesFrom(noisy);
        fillUvGrid(zeroed.context, c.p, c.uv, c.z);
        fillUvGrid(noisy.context, c.p, c.uv, c.z);

        const GridRange range = gridRange(noisy.context.uvGrid, kHeight, c.p);
        const int32_t lastWritten = range.firstRow + (range.lastRow - range.firstRow) / 16 * 16 + 16;
        for (GridTable UvGrid::*table : {&UvGrid::u, &UvGrid::v})
            for (int32_t col = 0; col <= (noisy.context.uvGrid.*table).lastColumn; ++col)
                for (int32_t r = 0; r < kHeight + kGridSpareRows; ++r) {
                    const bool inside = !range.empty() && col >= range.firstColumn && col <= range.lastColumn &&
                                        r >= range.firstRow && r <= lastWritten;
                    const int32_t got = (noisy.context.uvGrid.*table).at(col, r);
                    const int32_t want = inside ? (zeroed.context.uvGrid.*table).at(col, r)
                                                : (before.context.uvGrid.*table).at(col, r);
                    ASSERT_EQ(got, want) << "column " << col << " row " << r << (inside ? " inside" : " outside");
                }
    }
}

TEST(fillUvGrid, absentTablesWriteNothing) {
    RenderContext context{};
    context.height = 50;
    const float p[6] = {0, 0, 64, 0, 0, 64}, z[3] = {1, 1, 1};
    fillUvGrid(context, p, p, z);  // would fault on the null tables
    EXPECT_TRUE(context.uvGrid.u.empty());
}

}  // namespace
}  // namespace velkano
