// affine_triangle.h: DRAWTRI, a triangle textured with screen-space (affine) texture
// coordinates and lit by three vertex colours (Gouraud shading).
//
// The triangle is cut at its middle vertex M into two halves, each with one horizontal edge
// on M's row; the split point S is where the long edge A-B crosses that row. Each half is
// rasterised into the texture layer (texels) and into the light layer (colours); the span
// compositor then multiplies the light into the texture (Multiply2x) and writes the texture
// layer into the target with the bound blend mode, half by half. Only that last step
// changes the target. The passes run in one walk over the rows, each row taking all of its
// passes in order (affine_triangle.cpp says why the bytes are the same), unless the bound
// texture lies in the target.
//
// Nothing is read or written outside the image and the layers: rows above the image are
// skipped, rows below it are squeezed onto the last row, and columns are clipped (the light
// half clamps its own). Every pixel inside the image takes exactly the value the whole walk
// gives it. A triangle whose rounded positions reach beyond +-kFarLimit draws nothing, and so does
// every triangle while a layer is missing or no usable texture is bound.
#pragma once

#include <cstdint>

#include "context/render_context.h"
#include "pixel/channel_ops.h"
#include "raster/triangle_split.h"

namespace velkano {

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
}  // namespace velkano
