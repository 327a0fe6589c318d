// persp_scene.h: the perspective triangles, as screen triangles with texture and lightmap
// coordinates and view depths, and the 16 x 16 lightmap they are lit by. Both are drawn on
// the 640 x 480 image from the banded 64 x 64 texture of scene.h.
//
// Two workloads:
// - room: a 6 x 3 x 20 corridor cut into unit squares, two triangles each, seen from inside;
//   each triangle is clipped in homogeneous space to the near plane and to the screen
//   (columns 0..640, rows 0..479), so the triangles tile the screen;
// - small: 4000 small 3D triangles at depths 2 to 20, each 20 to 200 pixels' area on screen;
// - tiny: 4000 such triangles of 1 to 50 pixels' area;
// - dots: 4000 of about one pixel (0.5 to 1.5), where the cost of a call is its set-up.
#pragma once

#include <cstdint>
#include <vector>

namespace velkano::bench {

constexpr int32_t kLightmapSize = 16;
constexpr int64_t kSmallTriangles = 4000;

// One triangle as DRAWPERSPTRI takes it: coordinates in texels, depths in view units.
struct ScreenTriangle {
    float positions[6], texCoords[6], lightCoords[6], depths[3];
};

std::vector<ScreenTriangle> makeRoom();
std::vector<ScreenTriangle> makeSmall();
std::vector<ScreenTriangle> makeTiny();
std::vector<ScreenTriangle> makeDots();

// 0x00RRGGBB words, soft pools of light with every lane in 24..63, repeating smoothly.
std::vector<uint32_t> poolLightmap();

}  // namespace velkano::bench
