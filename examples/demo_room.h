// demo_room.h: the corridor the camera walks through: brick walls, a tiled floor and a
// panelled ceiling drawn with DRAWPERSPTRI, lit by lightmaps baked from wall lamps, and a
// glowing furnace door at the far end drawn without a lightmap.
#pragma once

#include "demo_scene.h"

#include <array>
#include <cstdint>
#include <vector>

namespace demo {

struct Lamp {
    Vec3 position;
    Vec3 colour;  // light at full power: 1 is neutral, 2 doubles the texture's brightness
};

class Room {
public:
    // The corridor's box, in world units: x from -kHalfWidth to kHalfWidth, y (down) from
    // kCeiling to kFloor, z from 0 to kLength.
    static constexpr double kHalfWidth = 2, kCeiling = -1.5, kFloor = 1.5, kLength = 32;
    // Lightmap texels: along z, and across the surface (its whole width or height).
    static constexpr int kLightmapWidth = 32, kLightmapHeight = 16;

    Room();
    // Bakes the lightmaps with the flickering lamps at `flickerPower` (1 is steady) and
    // draws the corridor as seen by `camera`. Leaves the lightmap unbound.
    void draw(const DemoApi& api, const Camera& camera, double flickerPower);
    // Every lamp along the corridor, its colour scaled by its power at the last draw.
    std::vector<Lamp> lamps() const;
    // The furnace door at the far end, as four corners in world space.
    static std::array<Vec3, 4> furnaceCorners();

private:
    struct Lightmap {
        std::array<std::uint32_t, kLightmapWidth * kLightmapHeight> words;
        void bind(const DemoApi& api) const { api.setLightmap(words.data(), kLightmapWidth, kLightmapHeight); }
    };
    void bakeLightmaps();

    IndexedTexture bricks_, floorTiles_, ceilingPanels_, furnace_;
    Lightmap leftWallLight_, rightWallLight_, floorLight_, ceilingLight_;
    double flickerPower_ = 1;
};

}  // namespace demo
