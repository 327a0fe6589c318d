#include "raster/uv_grid.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "../support/guarded_bytes.h"
#include "context/kernel_table.h"
#include "raster/triangle_split.h"

namespace velkano {
namespace {


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
    static const struct {
        float p[6];
        int32_t lastColumn;  // K
        GridRange want;
        const char* why;
    } cases[] = {
        {{100, 5, 300, 20, 200, 60}, 20, {5, 20, 0, 76}, "6.25 and 18.75 round to 6 and 19; row 5 - 16 raised"},
        {{0, 0, 64, 0, 0, 64}, 20, {0, 5, 0, 80}, "block columns 0 and 4 give 0 to 5; rows 0 to 80"},
        {{100, 5, 300, 20, 200, 60}, 18, {5, 18, 0, 76}, "K = 18 lowers the last column"},
        {{-40, 50, -2, 90, 30, 190}, 20, {0, 3, 34, 199}, "left of the image; rmax lowered to height - 1"},
        {{-40, 50, -25, 90, -33, 120}, 20, {0, -1, 0, -1}, "all block columns -2 or less: empty"},
        {{352, 50, 400, 90, 360, 120}, 20, {0, -1, 0, -1}, "all block columns K + 2 or more: empty"},
        {{10, 230, 50, 240, 30, 260}, 20, {0, -1, 0, -1}, "below the image: empty"},
        {{kNaN, 5, 10, kInf, 30, -kInf}, 20, {0, 3, 0, 21}, "NaN and infinities round to -2^31: no wrap"},
        {{0, 0, 64, 0, 0, 64}, -1, {0, -1, 0, -1}, "no band storage: empty"},
    };
    for (const auto& c : cases) {
        const GridRange range = gridRange(c.lastColumn, 200, c.p);
        EXPECT_EQ(range.firstColumn, c.want.firstColumn) << c.why;
        EXPECT_EQ(range.lastColumn, c.want.lastColumn) << c.why;
        if (range.empty()) continue;
        EXPECT_EQ(range.firstRow, c.want.firstRow) << c.why;
        EXPECT_EQ(range.lastRow, c.want.lastRow) << c.why;
    }
}

// One grid row of a fill at columns first..last, both coordinates, by `kernel`.
struct GridRow {
    std::vector<int32_t> u, v;
};
GridRow evaluateRow(GridPointsKernel kernel, const GridFill& fill, const GridRange& range, int32_t r, int32_t first,
                    int32_t last) {
    GridRow row{std::vector<int32_t>(static_cast<size_t>(last + 1)),
                std::vector<int32_t>(static_cast<size_t>(last + 1))};
    kernel(GridPoints{&fill, nullptr, gridRowWeightsAt(fill, range, r, first), first, last, 1, row.u.data(),
                      row.v.data(), nullptr, nullptr});
    return row;
}

// Row y of a band takes U[r] + (y - r + 1) s with s = (U[r + 16] - U[r]) >> 4: 100, 200, ...,
// 1600 between 0 and 1600; 98, 96, ..., 68 from 100 towards 83 (-17 >> 4 is -2); sums wrap.
TEST(GridBands, eachRowTakesOneMoreFlooredStep) {
    static const struct {
        int32_t from, to, firstRow, lastRow;  // the band's grid value, the next one's
    } cases[] = {{0, 1600, 100, 1600}, {100, 83, 98, 68}, {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX - 15}};
    for (const auto& c : cases) {
        std::vector<int32_t> storage(3 * 2 * 4);
        GridBands bands(storage.data(), 4, 2);
        const size_t column1 = static_cast<size_t>(bands.stride());
        bands.moveTo(0, 1, 1, [&](int32_t band, const std::array<int32_t*, GridBands::kMaxSets>& rows) {
            rows[0][column1] = band == 0 ? c.from : c.to;
            rows[1][column1] = 0;
        });
        const auto row = [&](int32_t k) {
            return wrapAdd(bands.gridRow(0)[column1], wrapMul(k + 1, bands.steps(0)[column1]));
        };
        EXPECT_EQ(row(0), c.firstRow) << c.from << " to " << c.to;
        EXPECT_EQ(row(15), c.lastRow) << c.from << " to " << c.to;
        for (int32_t k = 1; k < 16; ++k) EXPECT_EQ(wrapSub(row(k), row(k - 1)), wrapSub(c.firstRow, c.from));
    }
}

// Vertices (0, 0), (64, 0), (0, 64), coordinates equal to the positions, depths 1, on an image
// 96 x 100: columns 0 to 5, grid rows 0 to 80. Row 0 of U takes the coordinates of
// x = 0, 13.3, 26.7, 40, 53.3, 66.7 (the weights step by one sixth of the range); V of
// column 0 is 1024 r at each grid row, and a band's rows hold 1024 (r + 1).
TEST(gridPoints, workedExampleEntryForEntry) {
    const float p[6] = {0, 0, 64, 0, 0, 64}, depths[3] = {1, 1, 1};
    const GridRange range = gridRange(6, 100, p);
    ASSERT_EQ(range.firstColumn, 0);
    ASSERT_EQ(range.lastColumn, 5);
    ASSERT_EQ(range.lastRow, 80);
    const GridFill fill = gridFill(range, p, p, depths);
    const int32_t row0[6] = {0, 13653, 27306, 40960, 54613, 68266};
    EXPECT_EQ(evaluateRow(kernels().gridPoints.packed, fill, range, 0, 0, 5).u, std::vector<int32_t>(row0, row0 + 6));
    for (int32_t r = 0; r <= 80; r += 16)
        EXPECT_EQ(evaluateRow(kernels().gridPoints.packed, fill, range, r, 0, 0).v[0], 1024 * r) << "grid row " << r;

    std::vector<int32_t> storage(3 * 2 * 6);
    GridBands bands(storage.data(), 6, 2);
    for (int32_t r = 0; r < 80; ++r) {
        bands.moveTo(r / 16, 0, 0, [&](int32_t band, const std::array<int32_t*, GridBands::kMaxSets>& rows) {
            const GridRow row = evaluateRow(kernels().gridPoints.packed, fill, range, 16 * band, 0, 0);
            rows[0][0] = row.u[0], rows[1][0] = row.v[0];
        });
        EXPECT_EQ(wrapAdd(bands.gridRow(1)[0], wrapMul(r % 16 + 1, bands.steps(1)[0])), 1024 * (r + 1)) << "row " << r;
    }
}

// A receding wall (depths 1 to 4) whose grid values depend on every binary32 rounding of the
// weights and steps; the values were worked out independently with each rounding made
// explicit. A compiler that keeps a weight in double precision changes some by 1.
TEST(gridPoints, weightsAndStepsAreRoundedToBinary32) {
    const float p[6] = {4, 3, 96, 14, 96, 46}, uv[6] = {0, 0, 64, 0, 64, 32}, depths[3] = {1, 4, 4};
    const GridRange range = gridRange(7, 60, p);
    const GridFill fill = gridFill(range, p, uv, depths);
    const int32_t uRow0[8] = {-690, 1938, 5313, 9804, 16074, 25443, 40959, 71632};
    const int32_t vRow16[8] = {3341, 3290, 3224, 3136, 3014, 2831, 2528, 1928};
    for (GridPointsKernel kernel : {gridPointsScalar, kernels().gridPoints.packed}) {
        EXPECT_EQ(evaluateRow(kernel, fill, range, 0, 0, 7).u, std::vector<int32_t>(uRow0, uRow0 + 8));
        EXPECT_EQ(evaluateRow(kernel, fill, range, 16, 0, 7).v, std::vector<int32_t>(vRow16, vRow16 + 8));
    }
}

}  // namespace
}  // namespace velkano
