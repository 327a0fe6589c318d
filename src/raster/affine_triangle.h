// affine_triangle.h: DRAWTRI, a triangle textured with screen-space (affine) texture
// coordinates and lit by three vertex colours (Gouraud shading).
//
// The triangle is cut at its middle vertex M into two halves, each with one horizontal edge
// on M's row; the split point S is where the long edge A-B crosses that row. Each half is
// rasterised into the texture layer (texels) and into the light layer (colours); the span
// compositor then multiplies the light into the texture (mode 4) and writes the texture
// layer into the target with the bound blend mode, half by half. Only that last step
// changes the target.
//
// Nothing is read or written outside the image and the layers: rows above the image are
// skipped, rows below it are squeezed onto the last row, and columns are clipped (the light
// half clamps its own). Every pixel inside the image takes exactly the value the whole walk
// gives it. A triangle whose rounded positions reach beyond +-2^20 draws nothing, and so does
// every triangle while a layer is missing or no usable texture is bound.
#pragma once

#include <array>
#include <cstdint>

#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "raster/span_compositor.h"

namespace velkano {

// The farthest rounded position a triangle may have and still be drawn.
constexpr int32_t kTriangleFarLimit = 1 << 20;
constexpr bool withinFarLimit(int32_t position) { return position >= -kTriangleFarLimit && position <= kTriangleFarLimit; }

// One half: the apex, and the two ends of the base on row baseY (base end 1 is M, end 2 is
// S until normaliseHalf puts the left end first).
struct HalfTriangle {
    int32_t apexX;
    int32_t apexY;
    int32_t baseX1;
    int32_t baseX2;
    int32_t baseY;
};
struct HalfTexCoords {
    float apexU, apexV;
    float end1U, end1V;
    float end2U, end2V;
};
struct HalfColours {
    ColourWord apex;
    ColourWord end1;
    ColourWord end2;
};

// A triangle cut at M's row, before normaliseHalf: half 0 has apex A, half 1 apex B; both
// have base end 1 at M and base end 2 at the split point S.
struct TriangleHalves {
    HalfTriangle half[2];
    HalfTexCoords texCoords[2];
    HalfColours colours[2];
};
// Chooses M, A and B, places S on the long edge (x by edgeXAtRow; t = (My - Ay) / (By - Ay);
// u and v by lerpFloat; the colour by channelBlend with factor round(255 t)) and rounds the
// positions. False when a rounded position lies beyond +-kTriangleFarLimit.
bool splitTriangle(const float positions[6], const float texCoords[6], const ColourWord colours[3],
                   TriangleHalves& halves);

// DRAWTRI: six position floats (x, y per vertex), six texture coordinate floats (u, v per
// vertex, in texels) and three ColourWords. Null arrays draw nothing.
void drawTriangle(RenderContext& context, const float* positions, const float* texCoords, const ColourWord* colours);

// Limits apexY and baseY to height - 1 (x values stay: the half is squeezed), then puts the
// left base end first, its texture coordinates and colour travelling with it.
void normaliseHalf(const RenderContext& context, HalfTriangle& half, HalfTexCoords& texCoords, HalfColours& colours);
// Texels into the texture layer on rows apexY to baseY, both ends included, the apex row
// excepted. Edges and texture steps in 22.10 fixed point, edge x as binary32 sums.
void rasteriseTextureHalf(RenderContext& context, const HalfTriangle& half, const HalfTexCoords& texCoords);
// Light colours (byte 3 0xFF) into the light layer on rows apexY to baseY, edges interpolated
// by k / n over the n rows, colours as binary32 sums.
void rasteriseLightHalf(RenderContext& context, const HalfTriangle& half, const HalfColours& colours);
// The half as a compositor region: apex on one row, base on the other.
constexpr SpanRegion spanRegionFromHalf(const HalfTriangle& half) {
    return {half.apexY, half.baseY, half.apexX, half.apexX, half.baseX1, half.baseX2};
}

// Row kernels. A texture span: pixel i takes the texel at column (u + i du) >> 10 and row
// (v + i dv) >> 10 (wrapping sums, unsigned shifts) of the bound texture.
struct TextureSpan {
    uint8_t* pixels;
    int32_t count;
    int32_t uFx, vFx;
    int32_t uStepFx, vStepFx;
};
using TextureSpanKernel = void (*)(const RenderContext& context, const TextureSpan& span);
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
using LightSpanKernel = void (*)(const LightSpan& span);
void lightSpanScalar(const LightSpan& span);
void lightSpanSse2(const LightSpan& span);

}  // namespace velkano
