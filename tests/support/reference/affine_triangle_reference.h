// affine_triangle_reference.h: DRAWTRI walked literally, the reference the affine triangle
// is checked against.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "context/render_context.h"
#include "context/texture_binding.h"
#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "raster/triangle_split.h"
#include "span_compositor_reference.h"
#include "triangle_cut_reference.h"

namespace velkano::testing::reference {

// DRAWTRI as the rules read, on an unbounded plane: every row of every stage and every
// column in order, binary32 sums made one step at a time (in double, rounded), writing only
// the pixels that lie in the image. Pixels outside it never feed one inside: the compositor
// reads each layer at the pixel it writes, and displacement reads inside the image.
struct AffineTriangleWalk {
    RenderContext& c;

    uint8_t* at(uint8_t* image, int64_t x, int64_t y) const {
        return image + static_cast<size_t>(y) * c.pitch + 4 * static_cast<size_t>(x);
    }
    static float sum(float a, float b) { return static_cast<float>(double{a} + double{b}); }

    void textureHalf(const HalfTriangle& h, const HalfTexCoords& tc) {
        const int64_t dy = std::abs(int64_t{h.baseY} - h.apexY);
        if (dy == 0) return;
        const float inv = static_cast<float>(1.0 / dy);
        int32_t uL = floorToInt(double{tc.apexU} * 1024), vL = floorToInt(double{tc.apexV} * 1024), uR = uL, vR = vL;
        const int32_t duL = floorToInt((double{tc.end1U} - tc.apexU) * inv * 1024);
        const int32_t dvL = floorToInt((double{tc.end1V} - tc.apexV) * inv * 1024);
        const int32_t duR = floorToInt((double{tc.end2U} - tc.apexU) * inv * 1024);
        const int32_t dvR = floorToInt((double{tc.end2V} - tc.apexV) * inv * 1024);
        float xL = static_cast<float>(h.apexX), xR = xL;
        const float dxL = static_cast<float>((int64_t{h.baseX1} - h.apexX) * double{inv});
        const float dxR = static_cast<float>((int64_t{h.baseX2} - h.apexX) * double{inv});
        const int64_t direction = h.apexY > h.baseY ? -1 : 1;
        for (int64_t k = 0; k <= dy; ++k) {
            const int64_t y = h.apexY + direction * k;
            const int32_t xl = roundHalfEvenToInt(xL), xr = roundHalfEvenToInt(xR);
            if (xl != xr && y >= 0 && y < c.height) {
                const int32_t du = divideNoTrap(wrapSub(uR, uL), wrapSub(xr, xl));
                const int32_t dv = divideNoTrap(wrapSub(vR, vL), wrapSub(xr, xl));
                // Columns left of the image jump: a wrapping sum of n equal steps is n times the step.
                int64_t x = std::max<int64_t>(xl, 0);
                int32_t u = wrapAdd(uL, wrapMul(static_cast<int32_t>(x - xl), du));
                int32_t v = wrapAdd(vL, wrapMul(static_cast<int32_t>(x - xl), dv));
                for (; x <= xr && x < drawableWidth(c); ++x, u = wrapAdd(u, du), v = wrapAdd(v, dv)) {
                    const auto column = static_cast<int32_t>(static_cast<uint32_t>(u) >> 10);
                    const auto row = static_cast<int32_t>(static_cast<uint32_t>(v) >> 10);
                    const size_t offset =
                        (static_cast<size_t>(row & c.textureMaskV) << c.textureShift) + (column & c.textureMaskU);
                    storeWord(at(c.textureLayer, x, y), colourToPixel(c.palette[c.textureIndices[offset]]));
                }
            }
            uL = wrapAdd(uL, duL), vL = wrapAdd(vL, dvL), uR = wrapAdd(uR, duR), vR = wrapAdd(vR, dvR);
            xL = sum(xL, dxL), xR = sum(xR, dxR);
        }
    }

    void lightHalf(const HalfTriangle& h, const HalfColours& colours) {
        const int64_t n = std::abs(int64_t{h.baseY} - h.apexY) + 1;
        float left[3], right[3], stepL[3], stepR[3];
        for (int ch = 0; ch < 3; ++ch) {
            const auto channel = [&](ColourWord w) { return static_cast<float>((w >> (8 * ch)) & 0xFF); };
            left[ch] = right[ch] = channel(colours.apex);
            stepL[ch] = static_cast<float>((double{channel(colours.end1)} - left[ch]) / n);
            stepR[ch] = static_cast<float>((double{channel(colours.end2)} - left[ch]) / n);
        }
        const int64_t direction = h.apexY > h.baseY ? -1 : 1;
        for (int64_t k = 0; k < n; ++k) {
            const int64_t y = h.apexY + direction * k;
            const float t = static_cast<float>(static_cast<double>(k) / n);
            int32_t xl = roundHalfEvenToInt(lerpFloat(static_cast<float>(h.apexX), static_cast<float>(h.baseX1), t));
            int32_t xr = roundHalfEvenToInt(lerpFloat(static_cast<float>(h.apexX), static_cast<float>(h.baseX2), t));
            if (xl < 0) xl = 0;
            if (xr >= drawableWidth(c)) xr = drawableWidth(c) - 1;
            if (xr >= xl && y >= 0 && y < c.height) {
                float cur[3], hstep[3];
                for (int ch = 0; ch < 3; ++ch) {
                    cur[ch] = left[ch];
                    hstep[ch] = static_cast<float>((double{right[ch]} - left[ch]) / (xr - xl + 1));
                }
                for (int32_t x = xl; x <= xr; ++x) {
                    // Channels are kept to a byte, should binary32 sums stray past 0 or 255.
                    const auto byte = [](float value) {
                        return static_cast<uint32_t>(std::clamp(roundHalfEvenToInt(value), 0, 255));
                    };
                    storeWord(at(c.lightLayer, x, y),
                              0xFF000000u | byte(cur[0]) << 16 | byte(cur[1]) << 8 | byte(cur[2]));
                    for (int ch = 0; ch < 3; ++ch) cur[ch] = sum(cur[ch], hstep[ch]);
                }
            }
            for (int ch = 0; ch < 3; ++ch) left[ch] = sum(left[ch], stepL[ch]), right[ch] = sum(right[ch], stepR[ch]);
        }
    }

    void drawTriangle(const float* p, const float* uv, const ColourWord* colours) {
        if (c.target == nullptr || c.textureLayer == nullptr || c.lightLayer == nullptr || !textureUsable(c) ||
            drawableWidth(c) == 0)
            return;
        const LiteralCut cut = cutLiterally(p);
        const int a = cut.a, m = cut.m, b = cut.b;
        const float su = lerpFloat(uv[2 * a], uv[2 * b], cut.t), sv = lerpFloat(uv[2 * a + 1], uv[2 * b + 1], cut.t);
        const auto factor = static_cast<uint32_t>(roundHalfEvenToInt(255.0 * cut.t));
        const ColourWord sc = channelBlend(colours[a], colours[b], factor);
        HalfTriangle halves[2] = {{cut.xA, cut.yA, cut.xM, cut.xS, cut.yM}, {cut.xB, cut.yB, cut.xM, cut.xS, cut.yM}};
        HalfTexCoords tex[2] = {{uv[2 * a], uv[2 * a + 1], uv[2 * m], uv[2 * m + 1], su, sv},
                                {uv[2 * b], uv[2 * b + 1], uv[2 * m], uv[2 * m + 1], su, sv}};
        HalfColours col[2] = {{colours[a], colours[m], sc}, {colours[b], colours[m], sc}};
        if (!cut.withinLimit()) return;
        for (int i = 0; i < 2; ++i) {
            HalfTriangle& h = halves[i];
            h.apexY = std::min(h.apexY, c.height - 1);
            h.baseY = std::min(h.baseY, c.height - 1);
            if (h.baseX2 < h.baseX1) {
                std::swap(h.baseX1, h.baseX2);
                std::swap(tex[i].end1U, tex[i].end2U), std::swap(tex[i].end1V, tex[i].end2V);
                std::swap(col[i].end1, col[i].end2);
            }
            textureHalf(h, tex[i]);
        }
        for (int i = 0; i < 2; ++i) lightHalf(halves[i], col[i]);
        for (const HalfTriangle& h : halves)
            compositeLiterally(c, c.textureLayer, c.lightLayer, spanRegionFromHalf(h), 4);  // multiply 2x
        for (const HalfTriangle& h : halves)
            compositeLiterally(c, c.target, c.textureLayer, spanRegionFromHalf(h), c.blendMode);
    }
};

}  // namespace velkano::testing::reference
