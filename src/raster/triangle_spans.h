// triangle_spans.h: the row kernels both triangle pipelines fill their layers with: texels
// along a straight line through the texture, and light colours as binary32 sums.
#pragma once

#include <array>
#include <cstdint>

#include "context/kernel_table.h"
#include "context/render_context.h"

namespace velkano {

// A texture span: pixel i takes the texel at column (u + i du) >> 10 and row
// (v + i dv) >> 10 (wrapping sums, unsigned shifts) of the bound texture.
struct TextureSpan {
    uint8_t* pixels;
    int32_t count;
    int32_t uFx, vFx;
    int32_t uStepFx, vStepFx;
};
void textureSpanScalar(const RenderContext& context, const TextureSpan& span);
void textureSpanSse2(const RenderContext& context, const TextureSpan& span);

// A light span: pixel i is 0xFF000000 | red << 16 | green << 8 | blue, each channel its
// running binary32 sum (red, green, blue) rounded to nearest, ties to even, and kept to 0..255.
struct LightSpan {
    uint8_t* pixels;
    int32_t count;
    std::array<float, 3> colour;
    std::array<float, 3> step;
};
void lightSpanScalar(const LightSpan& span);
void lightSpanSse2(const LightSpan& span);

}  // namespace velkano
