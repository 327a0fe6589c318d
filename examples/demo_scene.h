// demo_scene.h: what the demo's parts share: the image, colour words, indexed textures, 3D
// vectors and the camera that every 3D part projects through.
#pragma once

#include "demo_api.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace demo {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kPitch = 1312;  // 328 words per row: 8 words of padding the host never shows

struct Image {
    std::vector<std::uint32_t> words = std::vector<std::uint32_t>(kPitch / 4 * kHeight);
    std::uint32_t at(int x, int y) const { return words[static_cast<size_t>(y) * (kPitch / 4) + x]; }
};

// A pixel word 0x00RRGGBB from channels 0 to 255 (clamped, rounded).
inline std::uint32_t rgb(double r, double g, double b) {
    auto c = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0) + 0.5); };
    return c(r) << 16 | c(g) << 8 | c(b);
}
inline std::uint32_t grey(double level) { return rgb(level, level, level); }

// A palette entry or a DRAWTRI light word: red in byte 0, blue in byte 2.
inline std::uint32_t colourWord(double r, double g, double b) {
    const std::uint32_t pixel = rgb(r, g, b);
    return (pixel >> 16 & 0xFF) | (pixel & 0xFF00) | (pixel & 0xFF) << 16;
}

// An 8-bit indexed texture with its 256-entry palette; sizes are powers of two.
struct IndexedTexture {
    int width, height;
    std::vector<std::uint8_t> indices;
    std::vector<std::uint32_t> palette = std::vector<std::uint32_t>(256);
    explicit IndexedTexture(int w, int h = 0)
        : width(w), height(h ? h : w), indices(static_cast<size_t>(width) * height) {}
    std::uint8_t& at(int x, int y) { return indices[static_cast<size_t>(y) * width + x]; }
    void bind(const DemoApi& api, int blendMode) const {
        api.setTexture(indices.data(), width, height, palette.data(), blendMode);
    }
};

struct Vec3 {
    double x, y, z;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline Vec3 normalised(Vec3 a) { return (1.0 / std::sqrt(dot(a, a))) * a; }

// World space: x right, y down, z along the corridor. The camera stands at `position`,
// turned by `yaw` to the right about the y axis and rolled by `roll`; view space has x
// right, y down and z (the depth) ahead. The screen is the whole image, centre in the middle.
struct Camera {
    static constexpr double kFocal = 160;  // pixels: 90 degrees across the 320 columns
    static constexpr double kCentreX = kWidth / 2.0, kCentreY = kHeight / 2.0;
    Vec3 position;
    double yaw, roll;

    Vec3 toView(Vec3 world) const {
        const Vec3 d = world - position;
        const double x = d.x * std::cos(yaw) - d.z * std::sin(yaw);
        const double z = d.x * std::sin(yaw) + d.z * std::cos(yaw);
        return {x * std::cos(roll) + d.y * std::sin(roll), -x * std::sin(roll) + d.y * std::cos(roll), z};
    }
    static double screenX(Vec3 view) { return kCentreX + kFocal * view.x / view.z; }
    static double screenY(Vec3 view) { return kCentreY + kFocal * view.y / view.z; }
};

// The library rounds every vertex, and the point where it splits a triangle at its middle
// vertex's row, to whole pixels, so two triangles sharing an edge can leave a one-pixel crack
// between them. The demo therefore grows each triangle by about a pixel on every side, and
// neighbours overlap instead. Each grown corner comes with its weights on the original
// corners, which carry over any attribute that is linear on screen (for a perspective
// triangle: 1 / depth and the coordinates divided by depth). Rows stay within 0 to
// kHeight - 1, where the library needs them.
struct GrownTriangle {
    double positions[6];
    double weights[3][3];
};

inline GrownTriangle growTriangle(const double* p) {
    constexpr double kGrowPx = 1, kMaxShiftPx = 3;  // sharp corners move at most 3 pixels
    GrownTriangle grown{{p[0], p[1], p[2], p[3], p[4], p[5]}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    const auto cross = [](double ax, double ay, double bx, double by) { return ax * by - ay * bx; };
    const double area = cross(p[2] - p[0], p[3] - p[1], p[4] - p[0], p[5] - p[1]);
    if (std::fabs(area) < 1e-9) return grown;
    // Outward unit normal of the edge from corner k to corner k + 1.
    double normal[3][2];
    for (int k = 0; k < 3; ++k) {
        const double ex = p[2 * ((k + 1) % 3)] - p[2 * k], ey = p[2 * ((k + 1) % 3) + 1] - p[2 * k + 1];
        const double length = std::hypot(ex, ey) * (area > 0 ? 1 : -1);
        normal[k][0] = ey / length, normal[k][1] = -ex / length;
    }
    for (int k = 0; k < 3; ++k) {
        // Both edges at corner k move out by kGrowPx: the corner moves to where they meet.
        const double* a = normal[(k + 2) % 3];
        const double* b = normal[k];
        const double meet = 1 + a[0] * b[0] + a[1] * b[1];  // 1 + cos of the turn between them
        double dx = kGrowPx * (a[0] + b[0]) / meet, dy = kGrowPx * (a[1] + b[1]) / meet;
        const double shift = std::hypot(dx, dy);
        if (!std::isfinite(shift)) dx = dy = 0;
        else if (shift > kMaxShiftPx) dx *= kMaxShiftPx / shift, dy *= kMaxShiftPx / shift;
        const double x = p[2 * k] + dx, y = std::clamp(p[2 * k + 1] + dy, 0.0, kHeight - 1.0);
        const double w1 = cross(x - p[0], y - p[1], p[4] - p[0], p[5] - p[1]) / area;
        const double w2 = cross(p[2] - p[0], p[3] - p[1], x - p[0], y - p[1]) / area;
        grown.positions[2 * k] = x, grown.positions[2 * k + 1] = y;
        grown.weights[k][0] = 1 - w1 - w2, grown.weights[k][1] = w1, grown.weights[k][2] = w2;
    }
    return grown;
}

}  // namespace demo
