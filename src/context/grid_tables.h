// grid_tables.h: the shape of the perspective grid that INIT allocates and the perspective
// triangle fills. A grid entry stands for the first pixel of a 16-pixel block column on one
// row; grid rows are evaluated every 16th row, and the rows of each band in between are
// stepped from them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkano {

constexpr int32_t kBlockShift = 4;
constexpr int32_t kBlockWidth = 1 << kBlockShift;  // pixels per block column
constexpr int32_t kGridBandShift = 4;
constexpr int32_t kGridBandRows = 1 << kGridBandShift;  // rows from one grid row to the next
// Rows of storage below row `height`, so a fill may evaluate the grid row after the last
// band there.
constexpr int32_t kGridSpareRows = kGridBandRows;

// Signed 22.10 grid entries [block column 0..lastColumn][row 0..lastRow], row index fastest,
// with kGridSpareRows more rows of storage per column. Empty while entries is null (at load,
// or when the shape or the storage could not be had); the bounds then mean nothing.
struct GridTable {
    int32_t* entries;
    int32_t lastColumn;    // K
    int32_t lastRow;       // height
    int32_t columnStride;  // entries per block column: rows 0 to height + kGridSpareRows - 1

    bool empty() const { return entries == nullptr; }
    int32_t& at(int32_t column, int32_t row) {
        return entries[static_cast<size_t>(column) * static_cast<size_t>(columnStride) + static_cast<size_t>(row)];
    }
};

// One table for each texture coordinate.
struct UvGrid {
    GridTable u;
    GridTable v;
};

}  // namespace velkano
