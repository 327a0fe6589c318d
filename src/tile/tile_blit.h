// tile_blit.h: DRAWTILE, an axis-aligned rectangle of the target filled with the bound
// texture, scaled, wrapped, tinted and written straight into the target with the bound
// blend mode.
//
// The tile covers columns rnd(x) to rnd(x + w) and rows rnd(y) to rnd(y + h), both ends
// included (rnd: nearest, ties to even). Texture coordinates are binary32: the column
// coordinate starts each row at ((x0 - x) + uOffset) * uSpan / w and grows by uSpan / w per
// column; the row coordinate starts at vSpan * vOffset / h and grows by vSpan / h per row.
// A pixel takes the texel at (rnd(u), rnd(v)), tinted by channelMultiply, and is written by
// blend mode 0 (replace), 1 (replace unless the index byte is 0), 2 (channelAddSat) or 3
// (channelModulate); any other mode writes nothing.
//
// Only pixels inside the target are written, each with exactly the coordinate the whole walk
// gives it. A tile reaching beyond +-kFarLimit in either direction, a tile while no usable texture
// is bound, and a tile on a target with nothing drawable draw nothing.
#pragma once

#include <cstdint>
#include <type_traits>

#include "context/kernel_table.h"
#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "pixel/instruction_set.h"

namespace velkano {

// How a tinted texel c is written over the target pixel p: the tiles' own reading of the
// bound blend mode (the host's int32_t), used as it is; values not named here write nothing.
// Mode 3 is not the triangles' mode 3 (CompositeMode::Modulate2x doubles the product).
enum class TileMode : int32_t {
    Replace = 0,                 // c, X byte 0
    ReplaceUnlessIndexZero = 1,  // c, except where the texel's index byte is 0 (transparent): p stays
    AddSat = 2,                  // channelAddSat(p, c)
    ModulateTarget = 3,          // channelModulate(p, c): min(255, (p * c) >> 7), 128 keeps p
};
VELKANO_HELPERS_BEGIN
constexpr bool isTileMode(int32_t mode) {
    return mode >= static_cast<int32_t>(TileMode::Replace) && mode <= static_cast<int32_t>(TileMode::ModulateTarget);
}
VELKANO_HELPERS_END

struct TileArgs {
    float x, y, w, h;
    float uOffset, vOffset;
    float uSpan, vSpan;
};

void drawTile(RenderContext& context, const TileArgs& tile, PixelWord tint);

// One row of a tile: pixel i (at byte address pixels + 4 i) takes index byte
// texelRow[columns[i]] through the palette, tinted, written by the ink's mode.
struct TileRow {
    uint8_t* pixels;
    const uint8_t* texelRow;
    const uint32_t* columns;
    int32_t count;
};
struct TileInk {
    const ColourWord* palette;
    PixelWord tint;
    TileMode mode;
};

// Runs `body` with the mode as a compile-time constant (std::integral_constant), so each
// kernel is one loop per mode; values not named in TileMode run nothing.
VELKANO_HELPERS_BEGIN
template <typename Body>
void withTileMode(TileMode mode, Body body) {
    using enum TileMode;
    switch (mode) {
        case Replace: body(std::integral_constant<TileMode, Replace>{}); break;
        case ReplaceUnlessIndexZero: body(std::integral_constant<TileMode, ReplaceUnlessIndexZero>{}); break;
        case AddSat: body(std::integral_constant<TileMode, AddSat>{}); break;
        case ModulateTarget: body(std::integral_constant<TileMode, ModulateTarget>{}); break;
        default: break;
    }
}
VELKANO_HELPERS_END
void tileRowScalar(const TileRow& row, const TileInk& ink);
namespace sse2 {
void tileRowSse2(const TileRow& row, const TileInk& ink);
}
namespace avx2 {
void tileRowAvx2(const TileRow& row, const TileInk& ink);
}
namespace neon {
void tileRowNeon(const TileRow& row, const TileInk& ink);
}

}  // namespace velkano
