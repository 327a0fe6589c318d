#include "raster/triangle_spans.h"

#include <algorithm>
#include <cstddef>

#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "texture/texel_fetch.h"

namespace velkano {
namespace {

// A light channel: rounded to nearest, ties to even, kept to a byte.
uint32_t channelByte(float value) { return static_cast<uint32_t>(std::clamp(roundHalfEvenToInt(value), 0, 255)); }

}  // namespace

void textureSpanScalar(const RenderContext& context, const TextureSpan& span) {
    const RenderContext binding = context;  // a local copy: the stores below cannot alias it
    int32_t uFx = span.uFx, vFx = span.vFx;
    for (int32_t i = 0; i < span.count; ++i) {
        const auto u = static_cast<int32_t>(shiftRightLogical(uFx, kFixedShift));
        const auto v = static_cast<int32_t>(shiftRightLogical(vFx, kFixedShift));
        storeWord(span.pixels + 4 * static_cast<size_t>(i), texelFetchTriangle(binding, u, v));
        uFx = wrapAdd(uFx, span.uStepFx);
        vFx = wrapAdd(vFx, span.vStepFx);
    }
}

void lightSpanScalar(const LightSpan& span) {
    std::array<float, 3> colour = span.colour;
    for (int32_t i = 0; i < span.count; ++i) {
        const PixelWord light = 0xFF000000u | channelByte(colour[0]) << 16 | channelByte(colour[1]) << 8 |
                                channelByte(colour[2]);
        storeWord(span.pixels + 4 * static_cast<size_t>(i), light);
        for (size_t c = 0; c < 3; ++c) colour[c] = colour[c] + span.step[c];
    }
}

void textureRowsScalar(const RenderContext& context, TextureRows& rows) {
    for (int32_t r = 0; r < rows.count; ++r) {
        const int32_t xl = roundHalfEvenToInt(rows.x[0]), xr = roundHalfEvenToInt(rows.x[1]);
        if (xr > xl) {
            // The steps divide by the distance between the end columns.
            const int32_t columns = wrapSub(xr, xl);
            textureRowSpan(context, rows, r, xl, xr, {rows.uLeftFx, rows.vLeftFx},
                           {divideNoTrap(wrapSub(rows.uRightFx, rows.uLeftFx), columns),
                            divideNoTrap(wrapSub(rows.vRightFx, rows.vLeftFx), columns)});
        }
        rows.uLeftFx = wrapAdd(rows.uLeftFx, rows.uLeftStepFx);
        rows.vLeftFx = wrapAdd(rows.vLeftFx, rows.vLeftStepFx);
        rows.uRightFx = wrapAdd(rows.uRightFx, rows.uRightStepFx);
        rows.vRightFx = wrapAdd(rows.vRightFx, rows.vRightStepFx);
        rows.x[0] = rows.x[0] + rows.xStep[0];
        rows.x[1] = rows.x[1] + rows.xStep[1];
    }
}

void lightRowsScalar(LightRows& rows) {
    std::array<float, 6>& colour = rows.colour;
    for (int32_t r = 0; r < rows.count; ++r) {
        const int64_t k = static_cast<int64_t>(rows.firstK) + r;
        const auto t = static_cast<float>(static_cast<double>(k) / rows.n);  // never reaches 1
        const int32_t xl = std::max(roundHalfEvenToInt(lerpFloat(rows.apexX, rows.end1X, t)), 0);
        const int32_t xr = std::min(roundHalfEvenToInt(lerpFloat(rows.apexX, rows.end2X, t)), rows.widthPx - 1);
        if (xr >= xl) {
            // The divisor is the pixel count: the last pixel stops one step short of the right edge.
            const double pixels = static_cast<double>(xr - xl + 1);
            LightSpan span{
                rows.rows[r] + 4 * static_cast<size_t>(xl), xr - xl + 1, {colour[0], colour[1], colour[2]}, {}};
            for (size_t c = 0; c < 3; ++c)
                span.step[c] = static_cast<float>((static_cast<double>(colour[c + 3]) - colour[c]) / pixels);
            lightSpanScalar(span);
        }
        for (size_t c = 0; c < 6; ++c) colour[c] = colour[c] + rows.colourStep[c];
    }
}

}  // namespace velkano
