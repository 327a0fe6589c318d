// uv_grid.h: preparing a perspective triangle for the block texturers. The UvGrid is
// filled with one set of the triangle's per-vertex coordinates, evaluated perspective-correct
// only at grid points (every 16th column, x = 16 c, on every 16th row from rmin) and filled
// in between by equal integer steps. Entries are floor(coordinate * 1024), signed 22.10.
//
// A fill writes one rectangle of entries: columns cmin to cmax, rows rmin to the last grid
// row + 16 (the grid row after the last one is evaluated too, into the spare rows when it
// lies below row `height`, so every band interpolates between two rows of this fill).
// Every other entry keeps what earlier fills left there.
#pragma once

#include <array>
#include <cstdint>

#include "context/grid_tables.h"
#include "context/kernel_table.h"
#include "context/render_context.h"

namespace velkano {

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
// Positions must round to within +-2^20 (the triangle draws nothing otherwise).
GridRange gridRange(const UvGrid& grid, int32_t height, const float positions[6]);

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
// arithmetic.
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
void gridPointsSse2(const GridPoints& points);

// The weights of grid row r at `column` (cmin <= column), stepped on from column cmin one
// binary32 addition at a time, as a whole-row pass reaches it.
GridRowWeights gridRowWeightsAt(const GridFill& fill, const GridRange& range, int32_t r, int32_t column);

// The vertical pass on one column of one table: for each grid row r of the range, rows r to
// r + 15 take cu + (k + 1) su, cu = entry r, su = (entry r + 16 - cu) >> 4 (arithmetic),
// accumulated by wrapping additions. Entry r + 16 must have been evaluated.
void fillGridBandsScalar(GridTable& table, int32_t column, const GridRange& range);
void fillGridBandsSse2(GridTable& table, int32_t column, const GridRange& range);

// Fills both tables from positions, coordinates (u, v per vertex, in texels) and depths.
// Weights are binary32, stepped along a grid row by (w(cmax) - w(cmin)) / (column count);
// one reciprocal of the interpolated 1/z per grid point; values floored to 22.10 (NaN and
// out-of-range values give -2^31). Then each band of 16 rows takes cu + (k + 1) su, su the
// difference to the next grid row shifted right arithmetically by 4. Writes nothing when
// the tables are absent.
void fillUvGrid(RenderContext& context, const float positions[6], const float coordinates[6], const float depths[3]);

}  // namespace velkano
