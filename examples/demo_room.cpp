// demo_room.cpp: the corridor's textures, its lightmap baking, and the clipping that turns
// each wall, floor or ceiling quad into triangles DRAWPERSPTRI can draw.
//
// The library squeezes a triangle reaching above the first row or below the last into the
// image's rows instead of cutting it, and needs every depth positive. So each quad is
// clipped here, in view space, against the near plane and the planes through the eye and the
// screen's four edges; texture and lightmap coordinates are linear in space, so clipping
// there keeps them perspective-correct. The clipped polygon is convex and drawn as a fan.
#include "demo_room.h"

#include <algorithm>
#include <cmath>

namespace demo {
namespace {

constexpr double kNear = 0.05;
constexpr double kLightPeriod = 8;  // the lamps repeat every 8 units, and so do the lightmaps

// A repeatable pseudo-random value in [0, 1] for integer coordinates.
double noise(int x, int y, std::uint32_t seed) {
    std::uint32_t h =
        static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ h >> 13) * 1274126177u;
    return (h ^ h >> 16) % 65536 / 65535.0;
}

std::uint8_t ramp(int first, int last, double t) {  // palette index from t in [0, 1]
    return static_cast<std::uint8_t>(first + std::lround((last - first) * std::clamp(t, 0.0, 1.0)));
}

// Staggered red bricks 16 x 8 texels with grey mortar. Index 0-31 mortar, 32-255 brick.
IndexedTexture makeBricks() {
    IndexedTexture t(64);
    for (int i = 0; i < 256; ++i) {
        const double s = i < 32 ? i / 31.0 : (i - 32) / 223.0;
        t.palette[i] = i < 32 ? colourWord(70 + 40 * s, 68 + 38 * s, 62 + 34 * s)
                              : colourWord(70 + 160 * s, 30 + 80 * s, 22 + 50 * s);
    }
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int row = y / 8, shifted = x + (row % 2) * 8, column = shifted / 16 % 4;
            if (y % 8 == 7 || shifted % 16 == 15) {
                t.at(x, y) = ramp(0, 31, noise(x, y, 1));
                continue;
            }
            const double edge = (y % 8 == 0 || shifted % 16 == 0) ? 0.12 : 0;
            t.at(x, y) = ramp(32, 255, 0.3 + 0.45 * noise(column, row, 2) + 0.25 * noise(x, y, 3) - edge);
        }
    return t;
}

// Floor tiles of 32 x 32 texels with dark grout, slate and sandstone in a checkerboard.
// Index 0-15 grout, 16-127 slate, 128-255 sandstone.
IndexedTexture makeFloorTiles() {
    IndexedTexture t(64);
    for (int i = 0; i < 256; ++i) {
        const double s = i < 16 ? i / 15.0 : i < 128 ? (i - 16) / 111.0 : (i - 128) / 127.0;
        t.palette[i] = i < 16    ? colourWord(28 + 20 * s, 28 + 20 * s, 30 + 20 * s)
                       : i < 128 ? colourWord(60 + 60 * s, 70 + 60 * s, 84 + 60 * s)
                                 : colourWord(150 + 80 * s, 128 + 72 * s, 92 + 56 * s);
    }
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            if (x % 32 < 2 || y % 32 < 2) {
                t.at(x, y) = ramp(0, 15, noise(x, y, 4));
                continue;
            }
            const double speckle = 0.5 + 0.3 * noise(x, y, 5) + 0.2 * noise(x / 4, y / 4, 6);
            t.at(x, y) = (x / 32 + y / 32) % 2 ? ramp(16, 127, speckle) : ramp(128, 255, speckle);
        }
    return t;
}

// Grey concrete panels of 32 x 32 texels with dark seams and a bolt in each corner.
IndexedTexture makeCeilingPanels() {
    IndexedTexture t(32);
    for (int i = 0; i < 256; ++i) t.palette[i] = colourWord(40 + 0.6 * i, 40 + 0.58 * i, 38 + 0.55 * i);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool seam = x == 0 || y == 0;
            const bool bolt = (x == 4 || x == 27) && (y == 4 || y == 27);
            t.at(x, y) = seam ? 20 : bolt ? 250 : ramp(120, 200, 0.6 * noise(x, y, 7) + 0.4 * noise(x / 3, y / 3, 8));
        }
    return t;
}

// The furnace door: an iron frame around a grate whose gaps glow, hottest at the bottom.
// Index 0-127 iron, 128-255 fire; drawn without a lightmap, so it glows in the dark.
IndexedTexture makeFurnace() {
    IndexedTexture t(64);
    for (int i = 0; i < 256; ++i) {
        const double s = i < 128 ? i / 127.0 : (i - 128) / 127.0;
        t.palette[i] = i < 128 ? colourWord(30 + 50 * s, 26 + 36 * s, 24 + 30 * s)
                               : colourWord(200 + 55 * s, 60 + 180 * s, 10 + 140 * s * s);
    }
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool frame = x < 5 || x > 58 || y < 5 || y > 58;
            const bool bar = x % 9 < 3 || y % 18 < 2;
            t.at(x, y) = frame || bar ? ramp(0, 127, 0.3 + 0.5 * noise(x, y, 9) + (frame ? 0.2 : 0))
                                      : ramp(128, 255, y / 64.0 + 0.35 * noise(x, y, 10) - 0.15);
        }
    return t;
}

// One period of lamps: a warm sconce on the left wall, a pendant over the middle and a
// cool sconce on the right wall, which flickers. The sconces have shades that stop their
// light going up steeply.
struct LampPlacement {
    Vec3 position;
    Vec3 colour;
    bool shaded, flickers;
};
constexpr LampPlacement kLamps[] = {
    {{-1.6, -0.5, 1.5}, {1.15, 0.8, 0.45}, true, false},
    {{0, -0.9, 4.0}, {0.9, 0.9, 0.82}, false, false},
    {{1.6, -0.5, 6.5}, {0.5, 0.78, 1.2}, true, true},
};

// The corridor's four long surfaces. A point on one is given by z and s, the fraction of the
// way across (0 to 1): origin + s * across + z along the corridor. Texels are linear in both:
// u = uz * z + us * s, v = vz * z + vs * s.
struct Surface {
    Vec3 origin, across, normal;
    double uz, us, vz, vs;
    Vec3 at(double z, double s) const { return origin + s * across + Vec3{0, 0, z}; }
};
constexpr double kWallHeight = Room::kFloor - Room::kCeiling, kRoomWidth = 2 * Room::kHalfWidth;
// Bricks 32 texels per unit; floor tiles 32; ceiling panels 16.
const Surface kLeftWall{
    {-Room::kHalfWidth, Room::kCeiling, 0}, {0, kWallHeight, 0}, {1, 0, 0}, 32, 0, 0, 32 * kWallHeight};
const Surface kRightWall{
    {Room::kHalfWidth, Room::kCeiling, 0}, {0, kWallHeight, 0}, {-1, 0, 0}, 32, 0, 0, 32 * kWallHeight};
const Surface kFloorSurface{
    {-Room::kHalfWidth, Room::kFloor, 0}, {kRoomWidth, 0, 0}, {0, -1, 0}, 0, 32 * kRoomWidth, 32, 0};
const Surface kCeilingSurface{
    {-Room::kHalfWidth, Room::kCeiling, 0}, {kRoomWidth, 0, 0}, {0, 1, 0}, 0, 16 * kRoomWidth, 16, 0};

struct ClipVertex {
    Vec3 view;
    double u, v, lightU, lightV;
};

ClipVertex lerp(const ClipVertex& a, const ClipVertex& b, double t) {
    const auto mix = [t](double p, double q) { return p + t * (q - p); };
    return {{mix(a.view.x, b.view.x), mix(a.view.y, b.view.y), mix(a.view.z, b.view.z)},
            mix(a.u, b.u),
            mix(a.v, b.v),
            mix(a.lightU, b.lightU),
            mix(a.lightV, b.lightV)};
}

// A plane in view space; points with a * x + b * y + c * z + d >= 0 are kept.
struct Plane {
    double a, b, c, d;
    double distance(Vec3 p) const { return a * p.x + b * p.y + c * p.z + d; }
};

// The near plane, then the planes through the eye and the screen's edges: y = 0 and
// y = height - 1, and x = -2 and x = width + 2. The library cuts columns itself; the two
// spare columns keep the image's first and last columns inside every triangle, whose
// edges can drift by a fraction of a pixel down its rows.
constexpr double kF = Camera::kFocal, kCx = Camera::kCentreX, kCy = Camera::kCentreY, kSpareColumns = 2;
constexpr Plane kFrustum[] = {
    {0, 0, 1, -kNear},
    {0, kF, kCy, 0},
    {0, -kF, kHeight - 1 - kCy, 0},
    {kF, 0, kCx + kSpareColumns, 0},
    {-kF, 0, kWidth + kSpareColumns - kCx, 0},
};

// Sutherland-Hodgman against each plane in turn. A crossing point is always computed from
// the vertex inside towards the one outside, so two quads sharing an edge cut it at
// identical points.
std::vector<ClipVertex> clipToFrustum(std::vector<ClipVertex> polygon) {
    for (const Plane& plane : kFrustum) {
        std::vector<ClipVertex> kept;
        for (size_t i = 0; i < polygon.size(); ++i) {
            const ClipVertex& here = polygon[i];
            const ClipVertex& next = polygon[(i + 1) % polygon.size()];
            const double dHere = plane.distance(here.view), dNext = plane.distance(next.view);
            if (dHere >= 0) kept.push_back(here);
            if ((dHere >= 0) != (dNext >= 0))
                kept.push_back(dHere >= 0 ? lerp(here, next, dHere / (dHere - dNext))
                                          : lerp(next, here, dNext / (dNext - dHere)));
        }
        polygon = std::move(kept);
        if (polygon.size() < 3) return {};
    }
    return polygon;
}

// Projects a clipped polygon and draws it as a fan of perspective triangles, each grown
// against cracks. On screen, 1 / depth and every coordinate divided by depth are linear, so
// a grown corner takes its weights of those; a corner where 1 / depth would fall to less than
// half the triangle's smallest (far beyond its far end) keeps its place.
void drawPolygon(const DemoApi& api, const std::vector<ClipVertex>& polygon) {
    for (size_t i = 1; i + 1 < polygon.size(); ++i) {
        const ClipVertex* corners[3] = {&polygon[0], &polygon[i], &polygon[i + 1]};
        double screen[6], perDepth[3][5];
        for (int k = 0; k < 3; ++k) {
            const ClipVertex& c = *corners[k];
            const double q = 1 / c.view.z;
            screen[2 * k] = Camera::screenX(c.view);
            screen[2 * k + 1] =
                std::clamp(Camera::screenY(c.view), 0.0, kHeight - 1.0);  // rounding can stray a hair outside
            const double values[5] = {q, q * c.u, q * c.v, q * c.lightU, q * c.lightV};
            std::copy(values, values + 5, perDepth[k]);
        }
        const GrownTriangle grown = growTriangle(screen);
        const double smallestQ = std::min({perDepth[0][0], perDepth[1][0], perDepth[2][0]});
        float positions[6], texels[6], lightTexels[6], depths[3];
        for (int k = 0; k < 3; ++k) {
            double v[5] = {};
            for (int j = 0; j < 3; ++j)
                for (int a = 0; a < 5; ++a) v[a] += grown.weights[k][j] * perDepth[j][a];
            const bool keep = v[0] < 0.5 * smallestQ;
            if (keep) std::copy(perDepth[k], perDepth[k] + 5, v);
            positions[2 * k] = static_cast<float>(keep ? screen[2 * k] : grown.positions[2 * k]);
            positions[2 * k + 1] = static_cast<float>(keep ? screen[2 * k + 1] : grown.positions[2 * k + 1]);
            texels[2 * k] = static_cast<float>(v[1] / v[0]), texels[2 * k + 1] = static_cast<float>(v[2] / v[0]);
            lightTexels[2 * k] = static_cast<float>(v[3] / v[0]),
                            lightTexels[2 * k + 1] = static_cast<float>(v[4] / v[0]);
            depths[k] = static_cast<float>(1 / v[0]);
        }
        api.drawPerspTri(positions, texels, lightTexels, depths);
    }
}

// Clips and draws the part of `surface` from z0 to z1; its lightmap spans kLightPeriod
// units along z and the whole surface across.
void drawStrip(const DemoApi& api, const Camera& camera, const Surface& surface, double z0, double z1) {
    std::vector<ClipVertex> quad;
    for (const auto& [z, s] : {std::pair{z0, 0.0}, std::pair{z1, 0.0}, std::pair{z1, 1.0}, std::pair{z0, 1.0}}) {
        const double lightTexelsPerUnit = Room::kLightmapWidth / kLightPeriod;
        quad.push_back({camera.toView(surface.at(z, s)), surface.uz * z + surface.us * s,
                        surface.vz * z + surface.vs * s, lightTexelsPerUnit * z, Room::kLightmapHeight * s});
    }
    drawPolygon(api, clipToFrustum(std::move(quad)));
}

}  // namespace

Room::Room()
    : bricks_(makeBricks()), floorTiles_(makeFloorTiles()), ceilingPanels_(makeCeilingPanels()),
      furnace_(makeFurnace()) {}

std::vector<Lamp> Room::lamps() const {
    std::vector<Lamp> all;
    for (double start = 0; start < kLength; start += kLightPeriod)
        for (const LampPlacement& lamp : kLamps)
            all.push_back({lamp.position + Vec3{0, 0, start}, (lamp.flickers ? flickerPower_ : 1.0) * lamp.colour});
    return all;
}

// Each texel gets a little cool ambient light, darkened near the surface's edges where it
// meets the next one, plus the diffuse light of every lamp of this period and its
// neighbours (so the lightmap repeats without a seam): colour * cos / (0.3 + distance^2).
// A lane of 64 keeps the texture's colour, 128 (the most we use) doubles it.
void Room::bakeLightmaps() {
    const std::pair<const Surface*, Lightmap*> targets[] = {{&kLeftWall, &leftWallLight_},
                                                            {&kRightWall, &rightWallLight_},
                                                            {&kFloorSurface, &floorLight_},
                                                            {&kCeilingSurface, &ceilingLight_}};
    for (const auto& [surface, lightmap] : targets)
        for (int j = 0; j < kLightmapHeight; ++j)
            for (int i = 0; i < kLightmapWidth; ++i) {
                const double s = (j + 0.5) / kLightmapHeight;
                const Vec3 p = surface->at((i + 0.5) * kLightPeriod / kLightmapWidth, s);
                const double edge = std::min(s, 1 - s) * std::sqrt(dot(surface->across, surface->across));
                Vec3 light = (0.6 + 0.4 * std::min(1.0, edge / 0.6)) * Vec3{0.2, 0.22, 0.28};
                for (const LampPlacement& lamp : kLamps)
                    for (int copy = -1; copy <= 1; ++copy) {
                        const Vec3 toLamp = lamp.position + Vec3{0, 0, copy * kLightPeriod} - p;
                        const double distance2 = dot(toLamp, toLamp);
                        const double cosine = dot(surface->normal, toLamp) / std::sqrt(distance2);
                        const double horizontal = std::hypot(toLamp.x, toLamp.z);
                        if (cosine <= 0 || (lamp.shaded && toLamp.y > 0.5 * horizontal)) continue;
                        const double power = lamp.flickers ? flickerPower_ : 1.0;
                        light = light + (3 * power * cosine / (0.3 + distance2)) * lamp.colour;
                    }
                const auto lane = [](double l) { return static_cast<std::uint32_t>(std::clamp(64 * l, 0.0, 128.0)); };
                lightmap->words[static_cast<size_t>(j) * kLightmapWidth + i] = lane(light.x) << 16 |
                                                                               lane(light.y) << 8 | lane(light.z);
            }
}

std::array<Vec3, 4> Room::furnaceCorners() {
    return {{{-kHalfWidth, kCeiling, kLength},
             {kHalfWidth, kCeiling, kLength},
             {kHalfWidth, kFloor, kLength},
             {-kHalfWidth, kFloor, kLength}}};
}

// Seen from inside, the faces of a box never overlap on screen, so they need no sorting.
void Room::draw(const DemoApi& api, const Camera& camera, double flickerPower) {
    flickerPower_ = flickerPower;
    bakeLightmaps();
    // Each surface is laid out in strips 2 units long, like the tiles of a level; the
    // strips' shared edges must meet without gaps.
    constexpr double kStripLength = 2;
    const struct {
        const IndexedTexture& texture;
        const Surface& surface;
        const Lightmap& lightmap;
    } layers[] = {
        {bricks_, kLeftWall, leftWallLight_},
        {bricks_, kRightWall, rightWallLight_},
        {floorTiles_, kFloorSurface, floorLight_},
        {ceilingPanels_, kCeilingSurface, ceilingLight_},
    };
    for (const auto& layer : layers) {
        layer.texture.bind(api, 0);
        layer.lightmap.bind(api);
        for (double z = 0; z < kLength; z += kStripLength) drawStrip(api, camera, layer.surface, z, z + kStripLength);
    }

    // The furnace door: the plain texture, no lightmap, so it glows in the dark.
    furnace_.bind(api, 0);
    api.setLightmap(nullptr, 0, 0);
    std::vector<ClipVertex> door;
    const std::array<Vec3, 4> corners = furnaceCorners();
    for (const Vec3& corner : corners)
        door.push_back(
            {camera.toView(corner), (corner.x + kHalfWidth) * 16, (corner.y - kCeiling) * 64 / kWallHeight, 0, 0});
    drawPolygon(api, clipToFrustum(std::move(door)));
}

}  // namespace demo
