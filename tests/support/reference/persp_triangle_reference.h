// persp_triangle_reference.h: DRAWPERSPTRI walked literally, the reference the perspective
// triangle is checked against.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "context/render_context.h"
#include "context/texture_binding.h"
#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "raster/span_compositor.h"
#include "raster/uv_grid.h"
#include "span_compositor_reference.h"
#include "texture/texel_fetch.h"
#include "triangle_cut_reference.h"

namespace velkano::testing::reference {

// DRAWPERSPTRI as its rules read, pixel by pixel: the grid filled whole into tables of its
// own for each coordinate set, then each covered block's pixel k takes the grid value plus
// k steps (a product, not a running sum), and only pixels inside the image are written. The
// grid points and the texel and lightmap fetches are the library's own (tested on their own).
struct PerspTriangleWalk {
    RenderContext& c;
    // The U and V tables, [block column 0..K][row 0..height + 15], the row fastest: the grid
    // row after the last band may lie up to 15 rows below the image.
    std::vector<int32_t> u{}, v{};
    size_t columnRows = 0;

    int32_t& at(std::vector<int32_t>& table, int32_t column, int32_t row) {
        return table[static_cast<size_t>(column) * columnRows + static_cast<size_t>(row)];
    }

    static int64_t floorDiv16(int64_t a) { return (a - ((a % 16 + 16) % 16)) / 16; }

    template <typename Pixel>
    void blocks(SpanRegion& r, Pixel pixel) {
        orderLiterally(r);
        if (r.top == r.bottom) return;
        r.bottom = std::min(r.bottom, c.height - 1);
        r.top = std::max(r.top, 0);
        const int32_t h = r.bottom - r.top;
        const int32_t dL = h > 0 ? floorToInt((double{1.0} * r.bottomLeftX - r.topLeftX) / h * 1024) : 0;
        const int32_t dR = h > 0 ? floorToInt((double{1.0} * r.bottomRightX - r.topRightX) / h * 1024) : 0;
        int32_t left = wrapMul(r.topLeftX, 1024), right = wrapMul(r.topRightX, 1024);
        for (int32_t y = r.top; y <= r.bottom; ++y, left = wrapAdd(left, dL), right = wrapAdd(right, dR)) {
            if (left == right) continue;
            const int64_t from = 16 * floorDiv16(shiftRightArithmetic(left, 10));
            const int64_t to = 16 * -floorDiv16(-int64_t{shiftRightArithmetic(right, 10)});  // 16 ceil(xr / 16)
            for (int64_t x = std::max<int64_t>(from, 0); x < to && x < drawableWidth(c); ++x) {
                const auto column = static_cast<int32_t>(x / 16), k = static_cast<int32_t>(x % 16);
                const auto value = [&](std::vector<int32_t>& t) {
                    const int32_t cu = at(t, column, y);
                    return wrapAdd(cu, wrapMul(k, shiftRightArithmetic(wrapSub(at(t, column + 1, y), cu), 4)));
                };
                pixel(static_cast<int32_t>(x), y, value(u), value(v));
            }
        }
    }
    // The tables as one fill leaves them, from zero: grid rows rmin, rmin + 16, ... up to rmax
    // and the one after, then the rows of every band, column by column from the top: row r + k
    // takes the grid row's value plus (k + 1) times the difference to the next shifted right by 4.
    void fillGrid(const float* p, const float* coordinates, const float* z) {
        const int32_t lastColumn = alignUp(drawableWidth(c), 16) / 16;  // K
        columnRows = static_cast<size_t>(c.height) + 16;
        for (std::vector<int32_t>* t : {&u, &v}) t->assign((static_cast<size_t>(lastColumn) + 1) * columnRows, 0);
        const GridRange range = gridRange(lastColumn, c.height, p);
        if (range.empty()) return;
        const GridFill fill = gridFill(range, p, coordinates, z);
        const auto evaluate = [&](int32_t r) {
            gridPointsScalar(GridPoints{&fill, nullptr, gridRowWeights(fill, range, r), range.firstColumn,
                                        range.lastColumn, columnRows, &at(u, 0, r), &at(v, 0, r), nullptr, nullptr});
        };
        int32_t r = range.firstRow;
        for (; r <= range.lastRow; r += 16) evaluate(r);
        evaluate(r);
        for (std::vector<int32_t>* t : {&u, &v})
            for (int32_t column = range.firstColumn; column <= range.lastColumn; ++column)
                for (int32_t row = range.firstRow; row <= range.lastRow; row += 16) {
                    const int32_t base = at(*t, column, row);
                    const int32_t step = shiftRightArithmetic(wrapSub(at(*t, column, row + 16), base), 4);
                    for (int32_t k = 0; k < 16; ++k) at(*t, column, row + k) = wrapAdd(base, wrapMul(k + 1, step));
                }
    }
    uint8_t* at(uint8_t* image, int32_t x, int32_t y) {
        return image + static_cast<size_t>(y) * c.pitch + 4 * static_cast<size_t>(x);
    }
    static int32_t texel(int32_t fx) { return static_cast<int32_t>(static_cast<uint32_t>(fx) >> 10); }

    void draw(const float* p, const float* uv, const float* light, const float* z) {
        const bool lit = c.lightmap != nullptr;
        if (!textureUsable(c) || (lit && !lightmapUsable(c))) return;
        const LiteralCut cut = cutLiterally(p);
        if (!cut.withinLimit()) return;
        // A to M's row, then M's row to B, neither ordered yet.
        SpanRegion halves[2] = {{cut.yA, cut.yM, cut.xA, cut.xA, cut.xM, cut.xS},
                                {cut.yM, cut.yB, cut.xM, cut.xS, cut.xB, cut.xB}};
        fillGrid(p, uv, z);
        for (SpanRegion& h : halves)
            blocks(h, [&](int32_t x, int32_t y, int32_t u, int32_t v) {
                storeWord(at(c.textureLayer, x, y), texelFetchTriangle(c, texel(u), texel(v)));
            });
        if (lit) {
            fillGrid(p, light, z);
            for (SpanRegion& h : halves) {
                if (h.top > h.bottom) continue;
                blocks(h, [&](int32_t x, int32_t y, int32_t u, int32_t v) {
                    const int32_t offsetU = 256 + 512 * (x & 1) - 256 * (y & 1);
                    const int32_t offsetV = 256 * (x & 1) + 512 * (y & 1);
                    storeWord(at(c.lightLayer, x, y),
                              lightmapFetch(c, texel(wrapAdd(u, offsetU)), texel(wrapAdd(v, offsetV))));
                });
            }
            for (const SpanRegion& h : halves)
                if (h.top <= h.bottom) compositeLiterally(c, c.textureLayer, c.lightLayer, h, 3);  // modulate 2x
        }
        for (const SpanRegion& h : halves)
            if (h.top <= h.bottom) compositeLiterally(c, c.target, c.textureLayer, h, c.blendMode);
    }
};

}  // namespace velkano::testing::reference
