#include "persp_scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "scene.h"

namespace velkano::bench {
namespace {

constexpr double kFocal = 320;  // pixels: a 90-degree horizontal field of view
constexpr double kNear = 0.05;

struct Vec3 {
    double x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(double k, Vec3 a) { return {k * a.x, k * a.y, k * a.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 unit(Vec3 a) { return (1 / std::sqrt(dot(a, a))) * a; }

// A vertex in homogeneous screen space: pixel x = X / W, y = Y / W, W the view depth. The
// attributes are linear in this space, so clipping here interpolates them perspective-correctly.
struct ClipVertex {
    double X, Y, W, u, v, lu, lv;
};

// A point in view space (x right, y up, z the depth ahead) with its texture and lightmap coordinates.
ClipVertex project(Vec3 p, double u, double v, double lu, double lv) {
    return {kFocal * p.x + kImageWidth / 2 * p.z, -kFocal * p.y + kImageHeight / 2 * p.z, p.z, u, v, lu, lv};
}

// a X + b Y + c W + d >= 0 inside: the near plane, then columns 0..640 and rows 0..479.
struct Plane {
    double a, b, c, d;
};
constexpr Plane kClipPlanes[] = {
    {0, 0, 1, -kNear}, {1, 0, 0, 0}, {-1, 0, kImageWidth, 0}, {0, 1, 0, 0}, {0, -1, kImageHeight - 1, 0}};
double distance(const Plane& plane, const ClipVertex& p) {
    return plane.a * p.X + plane.b * p.Y + plane.c * p.W + plane.d;
}

// Sutherland-Hodgman, one plane after the other.
std::vector<ClipVertex> clipToScreen(std::vector<ClipVertex> polygon) {
    for (const Plane& plane : kClipPlanes) {
        std::vector<ClipVertex> kept;
        for (size_t i = 0; i < polygon.size(); ++i) {
            const ClipVertex &p = polygon[i], &q = polygon[(i + 1) % polygon.size()];
            const double dp = distance(plane, p), dq = distance(plane, q);
            if (dp >= 0) kept.push_back(p);
            if ((dp >= 0) == (dq >= 0)) continue;
            const double t = dp / (dp - dq);
            const auto mix = [t](double x, double y) { return x + (y - x) * t; };
            kept.push_back({mix(p.X, q.X), mix(p.Y, q.Y), mix(p.W, q.W), mix(p.u, q.u), mix(p.v, q.v), mix(p.lu, q.lu),
                            mix(p.lv, q.lv)});
        }
        polygon = std::move(kept);
    }
    return polygon;
}

// The divisions' last-bit overshoot past the screen is clamped away.
ScreenTriangle toScreen(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
    ScreenTriangle t;
    const ClipVertex* corners[3] = {&a, &b, &c};
    for (int k = 0; k < 3; ++k) {
        const ClipVertex& p = *corners[k];
        t.positions[2 * k] = float(std::clamp(p.X / p.W, 0.0, double(kImageWidth)));
        t.positions[2 * k + 1] = float(std::clamp(p.Y / p.W, 0.0, double(kImageHeight - 1)));
        t.texCoords[2 * k] = float(p.u), t.texCoords[2 * k + 1] = float(p.v);
        t.lightCoords[2 * k] = float(p.lu), t.lightCoords[2 * k + 1] = float(p.lv);
        t.depths[k] = float(p.W);
    }
    return t;
}

}  // namespace

// The corridor x -3..3, y 0..3 (floor to ceiling), z -2..18, seen from (-1, 1.6, 0) turned
// 20 degrees right and 5 down; the wall at z = -2 lies behind the eye. Each triangle is
// clipped and its remains cut into a fan. Texture 64 texels per unit; lightmap 2 texels per
// unit, repeating every 8 units.
std::vector<ScreenTriangle> makeRoom() {
    struct Face {
        Vec3 origin, s, t;  // a corner and unit steps along the face
        int sCells, tCells;
    };
    constexpr Face kFaces[] = {
        {{-3, 0, -2}, {1, 0, 0}, {0, 0, 1}, 6, 20}, {{-3, 3, -2}, {1, 0, 0}, {0, 0, 1}, 6, 20},  // floor, ceiling
        {{-3, 0, -2}, {0, 1, 0}, {0, 0, 1}, 3, 20}, {{3, 0, -2}, {0, 1, 0}, {0, 0, 1}, 3, 20},   // side walls
        {{-3, 0, 18}, {1, 0, 0}, {0, 1, 0}, 6, 3},  {{-3, 0, -2}, {1, 0, 0}, {0, 1, 0}, 6, 3}};  // end walls
    const Vec3 eye{-1, 1.6, 0};
    const double yaw = 20 * std::numbers::pi / 180, pitch = 5 * std::numbers::pi / 180;
    const auto corner = [&](const Face& f, double s, double t) {
        const Vec3 p = f.origin + s * f.s + t * f.t - eye;
        const double x = std::cos(yaw) * p.x - std::sin(yaw) * p.z, z = std::sin(yaw) * p.x + std::cos(yaw) * p.z;
        const Vec3 view{x, std::cos(pitch) * p.y + std::sin(pitch) * z, std::cos(pitch) * z - std::sin(pitch) * p.y};
        return project(view, 64 * s, 64 * t, 0.5 + 2 * s, 0.5 + 2 * t);
    };
    std::vector<ScreenTriangle> room;
    for (const Face& f : kFaces)
        for (int i = 0; i < f.sCells; ++i)
            for (int j = 0; j < f.tCells; ++j) {
                const ClipVertex a = corner(f, i, j), b = corner(f, i + 1, j), c = corner(f, i + 1, j + 1),
                                 d = corner(f, i, j + 1);
                for (const std::vector<ClipVertex>& polygon : {clipToScreen({a, b, c}), clipToScreen({a, c, d})})
                    for (size_t k = 2; k < polygon.size(); ++k) {
                        const ScreenTriangle t = toScreen(polygon[0], polygon[k - 1], polygon[k]);
                        if (triangleArea(t.positions) > 0.01) room.push_back(t);
                    }
            }
    return room;
}

// Each triangle: three points within 10 pixels' reach of a centre at depth 2 to 20, their
// depths up to a quarter apart, kept when on screen, 20 to 200 pixels' area and no sliver.
// Textured in its own plane at 0.6 to 1 texel per pixel, the lightmap at 1/8 of that.
// `count` triangles, each vertex within `spread` pixels of its triangle's centre, whose areas
// lie in minArea..maxArea pixels and that are not slivers.
std::vector<ScreenTriangle> makeScattered(int64_t count, double spread, double minArea, double maxArea, uint64_t s) {
    std::vector<ScreenTriangle> triangles;
    while (static_cast<int64_t>(triangles.size()) < count) {
        const double depth = uniform(s, 2, 20), cx = uniform(s, 16, kImageWidth - 16);
        const double cy = uniform(s, 16, kImageHeight - 17);
        const double perPixel = depth / kFocal;  // view-space units per pixel at the centre
        Vec3 p[3];
        for (Vec3& q : p)
            q = {(cx - kImageWidth / 2 + uniform(s, -spread, spread)) * perPixel,
                 (kImageHeight / 2 - cy + uniform(s, -spread, spread)) * perPixel,
                 depth * (1 + uniform(s, -0.25, 0.25))};
        // The texture's axes: along the first edge, and across it in the triangle's plane.
        const Vec3 across = unit(cross(cross(p[1] - p[0], p[2] - p[0]), p[1] - p[0])), along = unit(p[1] - p[0]);
        const double texels = uniform(s, 0.6, 1.0) / perPixel;
        const double u0 = uniform(s, 0, 64), v0 = uniform(s, 0, 64), lu0 = uniform(s, 0, 16), lv0 = uniform(s, 0, 16);
        ClipVertex c[3];
        bool onScreen = true;
        for (int i = 0; i < 3; ++i) {
            const double u = texels * dot(p[i] - p[0], along), v = texels * dot(p[i] - p[0], across);
            c[i] = project(p[i], u0 + u, v0 + v, lu0 + u / 8, lv0 + v / 8);
            for (const Plane& plane : kClipPlanes) onScreen = onScreen && distance(plane, c[i]) >= 0;
        }
        const ScreenTriangle t = toScreen(c[0], c[1], c[2]);
        const float* q = t.positions;
        double longest = 0;
        for (int i = 0, j = 1; i < 3; ++i, j = (i + 1) % 3)
            longest = std::max(longest, std::hypot(double(q[2 * j]) - q[2 * i], double(q[2 * j + 1]) - q[2 * i + 1]));
        const double area = triangleArea(q);
        if (onScreen && area >= minArea && area <= maxArea && area >= 0.15 * longest * longest) triangles.push_back(t);
    }
    return triangles;
}

std::vector<ScreenTriangle> makeSmall() { return makeScattered(kSmallTriangles, 10, 20, 200, 0xD1B54A32D192ED03ull); }
std::vector<ScreenTriangle> makeTiny() { return makeScattered(kSmallTriangles, 6, 1, 50, 0x9E3779B97F4A7C15ull); }
std::vector<ScreenTriangle> makeDots() { return makeScattered(kSmallTriangles, 1.2, 0.5, 1.5, 0xBF58476D1CE4E5B9ull); }

std::vector<uint32_t> poolLightmap() {
    std::vector<uint32_t> lightmap(kLightmapSize * kLightmapSize);
    for (int v = 0; v < kLightmapSize; ++v)
        for (int u = 0; u < kLightmapSize; ++u) {
            auto lane = [&](double phase) {
                const double a = 2 * std::numbers::pi / kLightmapSize;
                return static_cast<uint32_t>(43.5 + 19.5 * std::sin(a * u + phase) * std::cos(a * v - phase));
            };
            lightmap[v * kLightmapSize + u] = lane(0) << 16 | lane(1) << 8 | lane(2);
        }
    return lightmap;
}

}  // namespace velkano::bench
