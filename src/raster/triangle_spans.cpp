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

void installTriangleSpanKernels(KernelTable& table) {
    const bool packed = table.level != SimdLevel::Scalar;
    table.textureSpan = packed ? textureSpanSse2 : textureSpanScalar;
    table.lightSpan = packed ? lightSpanSse2 : lightSpanScalar;
}

}  // namespace velkano
