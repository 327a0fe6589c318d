#include "raster/uv_grid.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "pixel/numeric.h"

namespace velkano {

namespace {

// X_i: a vertex's column in block columns, binary32.
float blockX(const float positions[6], int vertex) {
    return static_cast<float>(static_cast<double>(positions[2 * vertex]) / kBlockWidth);
}

// Weights of vertex 0 and 1 at block column c, row r, and of vertex 2 from those two.
std::array<float, 3> weightsAt(const GridFill& fill, double c, double r) {
    const auto w0 = static_cast<float>((fill.y12 * (c - fill.x2) + fill.x21 * (r - fill.y2)) * fill.invD);
    const auto w1 = static_cast<float>((fill.y20 * (c - fill.x2) + fill.x02 * (r - fill.y2)) * fill.invD);
    return {w0, w1, static_cast<float>(1.0 - static_cast<double>(w0) - static_cast<double>(w1))};
}

}  // namespace

GridRange gridRange(int32_t lastColumn, int32_t height, const float positions[6]) {
    // In 64 bits: a position that did not round to an integer (-2^31) must not wrap.
    const auto block = [&](int vertex) { return roundHalfEvenToInt(blockX(positions, vertex)); };
    const auto row = [&](int vertex) { return roundHalfEvenToInt(positions[2 * vertex + 1]); };
    const int64_t firstColumn = std::max<int64_t>(int64_t{min3(block(0), block(1), block(2))} - 1, 0);
    const int64_t lastGridColumn = std::min(int64_t{max3(block(0), block(1), block(2))} + 1, int64_t{lastColumn});
    const int64_t firstRow = std::max<int64_t>(int64_t{min3(row(0), row(1), row(2))} - kGridBandRows, 0);
    int64_t lastRow = int64_t{max3(row(0), row(1), row(2))} + kGridBandRows;
    if (lastRow >= height) lastRow = int64_t{height} - 1;
    // Each bound lies between -1 and K or height - 1, or the range is empty.
    if (firstColumn > lastGridColumn || firstRow > lastRow) return {0, -1, 0, -1};
    return {static_cast<int32_t>(firstColumn), static_cast<int32_t>(lastGridColumn), static_cast<int32_t>(firstRow),
            static_cast<int32_t>(lastRow)};
}

GridRowWeights gridRowWeights(const GridFill& fill, const GridRange& range, int32_t r) {
    GridRowWeights row{weightsAt(fill, range.firstColumn, r), {}};
    const std::array<float, 3> end = weightsAt(fill, range.lastColumn, r);
    for (size_t k = 0; k < 3; ++k)
        row.step[k] =
            static_cast<float>((static_cast<double>(end[k]) - static_cast<double>(row.start[k])) * fill.colStep);
    return row;
}

GridFill gridFill(const GridRange& range, const float positions[6], const float coordinates[6], const float depths[3]) {
    GridFill fill{};
    const auto X = [&](int vertex) { return static_cast<double>(blockX(positions, vertex)); };
    const auto Y = [&](int vertex) { return static_cast<double>(positions[2 * vertex + 1]); };
    fill.y12 = Y(1) - Y(2);
    fill.x21 = X(2) - X(1);
    fill.y20 = Y(2) - Y(0);
    fill.x02 = X(0) - X(2);
    fill.x2 = X(2);
    fill.y2 = Y(2);
    fill.invD = static_cast<float>(1.0 / (fill.y12 * fill.x02 + fill.x21 * (Y(0) - Y(2))));
    fill.colStep = static_cast<float>(1.0 / (static_cast<double>(range.lastColumn) - range.firstColumn + 1));
    for (size_t i = 0; i < 3; ++i) fill.depth[i] = depths[i];
    return gridFillWithCoordinates(fill, coordinates);
}

GridFill gridFillWithCoordinates(const GridFill& fill, const float coordinates[6]) {
    GridFill with = fill;
    for (size_t i = 0; i < 3; ++i) {
        with.pu[i] = static_cast<float>(static_cast<double>(coordinates[2 * i]) / fill.depth[i]);
        with.pv[i] = static_cast<float>(static_cast<double>(coordinates[2 * i + 1]) / fill.depth[i]);
    }
    return with;
}

GridRowWeights gridRowWeightsAt(const GridFill& fill, const GridRange& range, int32_t r, int32_t column) {
    GridRowWeights weights = gridRowWeights(fill, range, r);
    for (int32_t c = range.firstColumn; c < column; ++c)
        for (size_t k = 0; k < 3; ++k) weights.start[k] = weights.start[k] + weights.step[k];
    return weights;
}

void gridPointsScalar(const GridPoints& points) {
    const GridFill& texture = *points.texture;
    std::array<float, 3> w = points.weights.start;
    for (int32_t c = points.first; c <= points.last; ++c) {
        const double w0 = w[0], w1 = w[1], w2 = w[2];
        const double q =
            static_cast<float>(1.0 / (w0 / texture.depth[0] + w1 / texture.depth[1] + w2 / texture.depth[2]));
        const auto coordinate = [&](const std::array<double, 3>& p) {
            return floorToFx((p[0] * w0 + p[1] * w1 + p[2] * w2) * q);
        };
        const size_t at = static_cast<size_t>(c) * points.stride;
        points.u[at] = coordinate(texture.pu);
        points.v[at] = coordinate(texture.pv);
        if (points.light != nullptr) {
            points.lightU[at] = coordinate(points.light->pu);
            points.lightV[at] = coordinate(points.light->pv);
        }
        for (size_t k = 0; k < 3; ++k) w[k] = w[k] + points.weights.step[k];
    }
}

GridBands::GridBands(int32_t* storage, int32_t columns, int sets)
    : sets_(sets), base_(storage), next_(storage + static_cast<size_t>(columns) * static_cast<size_t>(sets)),
      step_(storage + 2 * static_cast<size_t>(columns) * static_cast<size_t>(sets)) {}

}  // namespace velkano
