// uv_grid.h: preparing a perspective triangle for the block texturers. Its per-vertex
// coordinates (texture, and lightmap) are evaluated perspective-correct only at grid points
// (every 16th column, x = 16 c, on every 16th row from rmin) and stepped in between by equal
// integer steps. Values are floor(coordinate * 1024), signed 22.10.
//
// A triangle's grid covers columns cmin to cmax and grid rows rmin, rmin + 16, ... up to
// rmax, and the grid row after the last, so every band interpolates between two grid rows
// of its own triangle. The walk evaluates only the grid rows and columns it reads, and steps
// each band's rows from its two grid rows as it reaches them (GridBands).
#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "context/band_storage.h"
#include "context/kernel_table.h"
#include "context/render_context.h"
#include "pixel/instruction_set.h"
#include "pixel/numeric.h"

namespace velkano {

VELKANO_HELPERS_BEGIN
constexpr int32_t min3(int32_t a, int32_t b, int32_t c) {
    int32_t m = a;
    if (b < m) m = b;
    if (c < m) m = c;
    return m;
}
constexpr int32_t max3(int32_t a, int32_t b, int32_t c) {
    int32_t m = a;
    if (b > m) m = b;
    if (c > m) m = c;
    return m;
}
VELKANO_HELPERS_END

// The rectangle a fill covers: columns firstColumn..lastColumn, grid rows firstRow,
// firstRow + 16, ... while <= lastRow. Empty when either range is.
struct GridRange {
    int32_t firstColumn;  // cmin
    int32_t lastColumn;   // cmax
    int32_t firstRow;     // rmin
    int32_t lastRow;      // rmax
    bool empty() const { return firstColumn > lastColumn || firstRow > lastRow; }
};
// cmin = max(0, min3(round(x_i / 16)) - 1), cmax = min(K, max3(...) + 1);
// rmin = max(0, min3(round(y_i)) - 16), rmax = max3(...) + 16, or height - 1 from height on.
// lastColumn is K, -1 without band storage (the range is then empty). Positions must round
// to within +-2^20 (the triangle draws nothing otherwise).
GridRange gridRange(int32_t lastColumn, int32_t height, const float positions[6]);

// The constants of one fill. Barycentric weights at block column c, row r:
//   w0 = (y12 (c - x2) + x21 (r - y2)) invD,  w1 = (y20 (c - x2) + x02 (r - y2)) invD,
//   w2 = 1 - w0 - w1,  each rounded to binary32;
// colStep = 1 / (cmax - cmin + 1) and pu_i = u_i / z_i, pv_i = v_i / z_i, binary32 values.
struct GridFill {
    double y12, x21, y20, x02, x2, y2;  // Y1 - Y2, X2 - X1, Y2 - Y0, X0 - X2, X2, Y2
    double invD;
    double colStep;
    std::array<double, 3> depth, pu, pv;
};
// The constants of the fill of `range` with positions, coordinates (u, v per vertex) and
// depths.
GridFill gridFill(const GridRange& range, const float positions[6], const float coordinates[6], const float depths[3]);
// The same fill for another coordinate set (pu_i and pv_i anew, the rest kept).
GridFill gridFillWithCoordinates(const GridFill& fill, const float coordinates[6]);
// The weights of column cmin of grid row r, and their binary32 steps from column to column:
// (w(cmax) - w(cmin)) * colStep.
struct GridRowWeights {
    std::array<float, 3> start;
    std::array<float, 3> step;
};
GridRowWeights gridRowWeights(const GridFill& fill, const GridRange& range, int32_t r);

// Grid points of one grid row at columns first..last, for one or two coordinate sets that
// share the positions and depths (texture, then lightmap): the same weights and the same
// q = 1 / (w0 / z0 + w1 / z1 + w2 / z2), rounded to binary32, serve both. `weights` holds
// the weights of column `first` and their binary32 step; U = floor((pu0 w0 + pu1 w1 +
// pu2 w2) q 1024), V likewise, into u[c * stride] and v[c * stride] (lightU, lightV for the
// second set). The packed twin works two columns at a time, each lane the same double
// arithmetic; the AVX2 one four columns at a time.
struct GridPoints {
    const GridFill* texture;
    const GridFill* light;  // null: the first set only
    GridRowWeights weights;
    int32_t first;
    int32_t last;
    size_t stride;
    int32_t* u;
    int32_t* v;
    int32_t* lightU;
    int32_t* lightV;
};
void gridPointsScalar(const GridPoints& points);
namespace sse2 {
void gridPointsSse2(const GridPoints& points);
}
namespace avx2 {
void gridPointsAvx2(const GridPoints& points);
}
namespace neon {
void gridPointsNeon(const GridPoints& points);
}

// The weights of grid row r at `column` (cmin <= column), stepped on from column cmin one
// binary32 addition at a time, as a whole-row pass reaches it.
GridRowWeights gridRowWeightsAt(const GridFill& fill, const GridRange& range, int32_t r, int32_t column);

// A triangle's grid one band at a time, for up to four coordinate rows (texture u and v,
// then lightmap u and v), per block column: the band's grid row r and its steps
// s = (U[r + 16] - U[r]) >> 4 (arithmetic, wrapping difference). Row y of the band takes
// U[r] + (y - r + 1) s, wrapping: the value a 16-row fill stepping from U[r] by repeated
// additions of s gives that row (one step on at row r itself, about U[r + 16] at r + 15).
// Rows live in caller storage of kBandRowsPerSet * sets * columns entries (the context's
// BandStorage): the grid row, the next grid row and the steps, each with a column's coordinate
// rows side by side (entry c * sets + set), so a block column's values of every set are
// adjacent; stride() is the distance between columns.
class GridBands {
public:
    static constexpr int kMaxSets = kBandSets;

    GridBands(int32_t* storage, int32_t columns, int sets);

    int32_t stride() const { return sets_; }
    const int32_t* gridRow(int set) const { return base_ + set; }
    const int32_t* steps(int set) const { return step_ + set; }

    // Makes band `band` current over columns first..last. evaluate(band, rows) writes grid
    // row `band` (the j-th, r = rmin + 16 j) into rows[set][c * stride()]; moving to the next
    // band evaluates only the grid row after it.
    template <typename Evaluate>
    void moveTo(int32_t band, int32_t first, int32_t last, const Evaluate& evaluate) {
        if (band_ >= 0 && band == band_ + 1) {
            std::swap(base_, next_);
        } else {
            evaluate(band, rowsOf(base_));
        }
        evaluate(band + 1, rowsOf(next_));
        const size_t from = static_cast<size_t>(first) * static_cast<size_t>(sets_);
        const size_t to = (static_cast<size_t>(last) + 1) * static_cast<size_t>(sets_);
        for (size_t i = from; i < to; ++i) step_[i] = shiftRightArithmetic(wrapSub(next_[i], base_[i]), kGridBandShift);
        band_ = band;
    }

private:
    std::array<int32_t*, kMaxSets> rowsOf(int32_t* row) const {
        std::array<int32_t*, kMaxSets> rows{};
        for (int s = 0; s < sets_; ++s) rows[static_cast<size_t>(s)] = row + s;
        return rows;
    }

    int sets_;
    int32_t *base_, *next_, *step_;
    int32_t band_ = -1;
};

}  // namespace velkano
