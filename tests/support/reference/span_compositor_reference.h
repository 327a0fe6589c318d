// span_compositor_reference.h: the compositor's rows written out literally, for the
// compositor's own test and the triangle walks that end in it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "raster/span_compositor.h"

namespace velkano::testing::reference {

// A region ordered as the rules read: top <= bottom, the x pairs travelling with their rows,
// then each row's left x <= right x.
inline void orderLiterally(SpanRegion& r) {
    if (r.top > r.bottom) {
        std::swap(r.top, r.bottom);
        std::swap(r.topLeftX, r.bottomLeftX);
        std::swap(r.topRightX, r.bottomRightX);
    }
    if (r.topLeftX > r.topRightX) std::swap(r.topLeftX, r.topRightX);
    if (r.bottomLeftX > r.bottomRightX) std::swap(r.bottomLeftX, r.bottomRightX);
}

// The compositor as its rules read: order the region, walk rows top to bottom - 1 with
// floored 22.10 edges, combine columns floor(left) to floor(right) - 1; only pixels inside
// the image are written, and rows outside it are walked without writing. `mode` is the
// host's value: 0 and 1 copy, 2 adds, 3 modulates 2x, 4 multiplies 2x, 6 displaces, any
// other writes nothing.
inline void compositeLiterally(const RenderContext& c, uint8_t* destination, const uint8_t* source, SpanRegion r,
                               int32_t mode) {
    if (r.top == r.bottom) return;
    orderLiterally(r);
    const int32_t widthPx = drawableWidth(c);
    const auto at = [&](const uint8_t* image, int32_t x, int32_t y) {
        return const_cast<uint8_t*>(image) + static_cast<size_t>(y) * c.pitch + 4 * static_cast<size_t>(x);
    };
    const double rows = static_cast<double>(r.bottom) - r.top;
    const int32_t dL = floorToInt((static_cast<double>(r.bottomLeftX) - r.topLeftX) / rows * 1024);
    const int32_t dR = floorToInt((static_cast<double>(r.bottomRightX) - r.topRightX) / rows * 1024);
    int32_t left = wrapMul(r.topLeftX, 1024), right = wrapMul(r.topRightX, 1024);
    for (int32_t y = r.top; y < r.bottom; ++y, left = wrapAdd(left, dL), right = wrapAdd(right, dR)) {
        if (y < 0 || y >= c.height) continue;
        const int32_t end = std::min(shiftRightArithmetic(right, 10), widthPx);
        for (int32_t x = std::max(shiftRightArithmetic(left, 10), 0); x < end; ++x) {
            const PixelWord s = loadWord(at(source, x, y)), d = loadWord(at(destination, x, y));
            PixelWord result;
            switch (mode) {
                case 0:
                case 1: result = s; break;
                case 2: result = channelAddSat(s, d); break;
                case 3: result = channelAddSat(channelModulate(s, d), channelModulate(s, d)); break;
                case 4: result = channelAddSat(channelMultiply(s, d), channelMultiply(s, d)); break;
                case 6: {
                    const int32_t fromX = (x + ((s & 0xFF) >> 2)) % widthPx;
                    const int32_t fromY = (y + (((s >> 8) & 0xFF) >> 2)) % c.height;
                    result = loadWord(at(destination, fromX, fromY));
                    break;
                }
                default: return;
            }
            storeWord(at(destination, x, y), result);
        }
    }
}

}  // namespace velkano::testing::reference
