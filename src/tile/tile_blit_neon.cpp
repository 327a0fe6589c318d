// tile_blit_neon.cpp: the tile row kernel four pixels a step. The texel and palette reads
// are scalar (each pixel addresses its own); conversion, tint and blend are packed.
#include <arm_neon.h>

#include <cstddef>

#include "pixel/channel_ops_neon.h"
#include "tile/tile_blit.h"

namespace velkano::neon {
namespace {

template <TileMode Mode>
void tileRowNeonMode(const TileRow& row, const TileInk& ink) {
    const uint8x16_t tint = broadcastWordNeon(ink.tint);
    // The row's fields in locals: the stores below go through byte pointers, which could
    // otherwise alias the records and make every step read them again.
    const ColourWord* const palette = ink.palette;
    const uint8_t* const texelRow = row.texelRow;
    const uint32_t* const columns = row.columns;
    uint8_t* const pixels = row.pixels;
    const int32_t count = row.count;
    const auto entry = [palette](uint8_t index) { return loadWord(palette + index); };

    int32_t i = 0;
    for (; count - i >= 4; i += 4) {
        const uint8_t i0 = texelRow[columns[i]], i1 = texelRow[columns[i + 1]];
        const uint8_t i2 = texelRow[columns[i + 2]], i3 = texelRow[columns[i + 3]];
        uint32x4_t entries = vdupq_n_u32(entry(i0));
        entries = vsetq_lane_u32(entry(i1), entries, 1);
        entries = vsetq_lane_u32(entry(i2), entries, 2);
        entries = vsetq_lane_u32(entry(i3), entries, 3);
        const uint8x16_t colour = channelMultiplyNeon(vreinterpretq_u8_u32(colourToPixelNeon(entries)), tint);
        uint8_t* at = pixels + 4 * static_cast<size_t>(i);
        if constexpr (Mode == TileMode::Replace) {
            vst1q_u8(at, colour);
        } else if constexpr (Mode == TileMode::ReplaceUnlessIndexZero) {
            // Pixels whose index byte is 0 keep the target's word.
            uint32x4_t indices = vdupq_n_u32(i0);
            indices = vsetq_lane_u32(i1, indices, 1);
            indices = vsetq_lane_u32(i2, indices, 2);
            indices = vsetq_lane_u32(i3, indices, 3);
            const uint8x16_t transparent = vreinterpretq_u8_u32(vceqzq_u32(indices));
            vst1q_u8(at, vbslq_u8(transparent, vld1q_u8(at), colour));
        } else if constexpr (Mode == TileMode::AddSat) {
            vst1q_u8(at, channelAddSatNeon(vld1q_u8(at), colour));
        } else {
            static_assert(Mode == TileMode::ModulateTarget);
            vst1q_u8(at, channelModulateNeon(vld1q_u8(at), colour));
        }
    }
    if (i < count) tileRowScalar(TileRow{pixels + 4 * static_cast<size_t>(i), texelRow, columns + i, count - i}, ink);
}

}  // namespace

void tileRowNeon(const TileRow& row, const TileInk& ink) {
    withTileMode(ink.mode, [&](auto mode) { tileRowNeonMode<mode>(row, ink); });
}

}  // namespace velkano::neon
