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
// gives it. A tile reaching beyond +-2^20 in either direction, a tile while no usable texture
// is bound, and a tile on a target with nothing drawable draw nothing.
#pragma once

#include <cstdint>
#include <type_traits>

#include "context/render_context.h"
#include "pixel/channel_ops.h"

namespace velkano {

// The farthest row or column a tile may cover and still be drawn.
constexpr int32_t kFarLimit = 1 << 20;

struct TileArgs {
    float x, y, w, h;
    float uOffset, vOffset;
    float uSpan, vSpan;
};

void drawTile(RenderContext& context, const TileArgs& tile, PixelWord tint);

// One row of a tile: pixel i (at byte address pixels + 4 i) takes index byte
// texelRow[columns[i]] through the palette, tinted, written by blendMode (0 to 3 only).
struct TileRow {
    uint8_t* pixels;
    const uint8_t* texelRow;
    const uint32_t* columns;
    int32_t count;
};
struct TileInk {
    const ColourWord* palette;
    PixelWord tint;
    int32_t blendMode;
};
using TileRowKernel = void (*)(const TileRow& row, const TileInk& ink);

// Runs `body` with the blend mode as a compile-time constant (std::integral_constant), so
// each kernel is one loop per mode; modes other than 0 to 3 run nothing.
template <typename Body>
void withBlendMode(int32_t blendMode, Body body) {
    switch (blendMode) {
        case 0: body(std::integral_constant<int, 0>{}); break;
        case 1: body(std::integral_constant<int, 1>{}); break;
        case 2: body(std::integral_constant<int, 2>{}); break;
        case 3: body(std::integral_constant<int, 3>{}); break;
        default: break;
    }
}
void tileRowScalar(const TileRow& row, const TileInk& ink);
void tileRowSse2(const TileRow& row, const TileInk& ink);

}  // namespace velkano
