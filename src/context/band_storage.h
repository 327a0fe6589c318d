// band_storage.h: the perspective grid's shape and the storage INIT allocates for its bands.
// A grid entry stands for the first pixel of a 16-pixel block column on one row; grid rows
// are evaluated every 16th row, and the rows of each band in between are stepped from them.
// DRAWPERSPTRI holds only the band it walks: per block column, its grid row, the next grid
// row and their steps, for up to four coordinate rows (GridBands in raster/uv_grid.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkano {

constexpr int32_t kBlockShift = 4;
constexpr int32_t kBlockWidth = 1 << kBlockShift;  // pixels per block column
constexpr int32_t kGridBandShift = 4;
constexpr int32_t kGridBandRows = 1 << kGridBandShift;  // rows from one grid row to the next
// Coordinate rows a band holds: texture u and v, then lightmap u and v.
constexpr int32_t kBandSets = 4;
// Rows of a band per coordinate row: the grid row, the next grid row and the steps.
constexpr int32_t kBandRowsPerSet = 3;

// A band's rows for grid columns 0 to K (K = ceil(width / 16)): the walk reads the grid column
// right of each block, K for the last block. Signed 22.10 entries, kBandRowsPerSet *
// kBandSets per column. Absent while entries is null (at load, or when the storage could not
// be had); columns is then 0.
struct BandStorage {
    int32_t* entries;
    int32_t columns;  // K + 1

    bool empty() const { return entries == nullptr; }
    // K, the last grid column; -1 while absent, so no grid column lies in range.
    int32_t lastColumn() const { return empty() ? -1 : columns - 1; }
};

}  // namespace velkano
