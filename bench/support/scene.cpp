#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace velkano::bench {

void fillVaried(uint8_t* block, size_t bytes) {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    for (size_t at = 0; at < bytes; at += 8) {
        const uint64_t word = nextRandom(s);
        std::memcpy(block + at, &word, 8);
    }
}

uint32_t pixelAt(const uint8_t* image, int32_t col, int32_t row) {
    uint32_t word;
    std::memcpy(&word, image + size_t{kImagePitch} * row + 4 * size_t(col), 4);
    return word;
}

std::vector<uint8_t> bandedTexture() {
    std::vector<uint8_t> indices(kTextureSize * kTextureSize);
    for (int v = 0; v < kTextureSize; ++v)
        for (int u = 0; u < kTextureSize; ++u)
            indices[v * kTextureSize + u] = static_cast<uint8_t>(3 * u + 5 * v + 64 * ((u ^ v) >> 3 & 1));
    return indices;
}

std::vector<uint32_t> huePalette() {
    std::vector<uint32_t> palette(256);
    for (int i = 0; i < 256; ++i) {
        auto ch = [&](double phase) {
            return static_cast<uint32_t>(96 + 95 * std::sin(2 * std::numbers::pi * i / 256 + phase));
        };
        palette[i] = ch(0) | ch(2.1) << 8 | ch(4.2) << 16;
    }
    return palette;
}

double triangleArea(const float* p) {
    return std::fabs((double(p[2]) - p[0]) * (double(p[5]) - p[1]) - (double(p[4]) - p[0]) * (double(p[3]) - p[1])) / 2;
}

TriangleScene makeTriangleScene() {
    TriangleScene scene;
    uint64_t s = 0x5851F42D4C957F2Dull;
    while (static_cast<int64_t>(scene.triangles.size()) < kTriangles) {
        // Three vertices around a centre, all inside the image; no slivers.
        const double cx = uniform(s, 48, kImageWidth - 48), cy = uniform(s, 48, kImageHeight - 48);
        double x[3], y[3];
        for (int i = 0; i < 3; ++i) {
            const double angle = uniform(s, 0, 2 * std::numbers::pi), radius = uniform(s, 14, 40);
            x[i] = cx + radius * std::cos(angle), y[i] = cy + radius * std::sin(angle);
        }
        const float corners[6] = {float(x[0]), float(y[0]), float(x[1]), float(y[1]), float(x[2]), float(y[2])};
        const double area = triangleArea(corners);
        double longest = 0;
        for (int i = 0; i < 3; ++i)
            longest = std::max(longest, std::hypot(x[(i + 1) % 3] - x[i], y[(i + 1) % 3] - y[i]));
        if (area < 400 || area > 800 || area < 0.15 * longest * longest) continue;

        // The centroid lands on the middle of the texture; every vertex stays 2 texels or
        // more inside it.
        const double gx = (x[0] + x[1] + x[2]) / 3, gy = (y[0] + y[1] + y[2]) / 3;
        double reach = 0;
        for (int i = 0; i < 3; ++i) reach = std::max(reach, std::hypot(x[i] - gx, y[i] - gy));
        const double turn = uniform(s, 0, 2 * std::numbers::pi), scale = std::min(uniform(s, 0.6, 1.0), 30 / reach);
        const double c = scale * std::cos(turn), sn = scale * std::sin(turn);

        Triangle t;
        for (int i = 0; i < 3; ++i) {
            const double u = kTextureSize / 2 + c * (x[i] - gx) - sn * (y[i] - gy);
            const double v = kTextureSize / 2 + sn * (x[i] - gx) + c * (y[i] - gy);
            t.positions[2 * i] = static_cast<float>(x[i]), t.positions[2 * i + 1] = static_cast<float>(y[i]);
            t.texCoords[2 * i] = static_cast<float>(u), t.texCoords[2 * i + 1] = static_cast<float>(v);
            const auto r = static_cast<uint8_t>(uniform(s, 48, 128)), g = static_cast<uint8_t>(uniform(s, 48, 128)),
                       b = static_cast<uint8_t>(uniform(s, 48, 128));
            t.colours[i] = uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16;
        }
        scene.triangles.push_back(t);
        scene.area += area;
    }
    return scene;
}

}  // namespace velkano::bench
