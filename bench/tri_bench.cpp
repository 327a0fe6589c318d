// tri_bench: DRAWTRI in mode 0 against SDL2's software renderer (SDL_RenderGeometry,
// SDL_BLENDMODE_NONE, textured and modulated by the vertex colours) drawing the same
// triangles: the kTriangles triangles of scene.h per frame on the 640 x 480 image, from the
// banded texture through the hue palette, at the same places on both sides, each frame
// starting from the same varied image.
//
// The light words stay below 128, so DRAWTRI darkens each texel by l / 128 and SDL, given
// vertex colours of 2l, by 2l / 255: the same picture. Each side's pixels per second counts
// the pixels it really changes: every triangle is drawn once alone over white beforehand and
// its changed pixels counted the same way on both sides (overlaps count once per triangle).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/scene.h"
#include "support/sdl_target.h"
#include "support/side_by_side.h"
#include "velkano.h"

namespace {

using namespace velkano::bench;

// Both sides with what they draw from and into, and the pixels each changes per frame. SDL's
// texture is untinted and unblended: the vertex colours modulate it.
struct TriangleSides {
    const TriangleScene& scene;
    const std::vector<uint8_t>& indices;
    const std::vector<uint32_t>& palette;
    std::vector<SDL_Vertex> sdlVertices;  // three per triangle
    uint8_t* image;
    const SdlTarget& sdl;
    int64_t velkanoPixels = 0;
    int64_t sdlPixels = 0;

    // Triangles first to first + count - 1, by each side.
    void drawVelkano(int64_t first, int64_t count) const {
        SETTEXTURE(indices.data(), kTextureSize, kTextureSize, palette.data(), 0);
        for (int64_t i = first; i < first + count; ++i) {
            const Triangle& t = scene.triangles[i];
            DRAWTRI(t.positions, t.texCoords, t.colours);
        }
    }
    void drawSdl(int64_t first, int64_t count) const {
        for (int64_t i = first; i < first + count; ++i)
            SDL_RenderGeometry(sdl.renderer(), sdl.texture(), &sdlVertices[3 * i], 3, nullptr, 0);
        SDL_RenderFlush(sdl.renderer());
    }
};

// SDL's vertices: twice the light, texture coordinates in texture widths.
std::vector<SDL_Vertex> makeSdlVertices(const TriangleScene& scene) {
    std::vector<SDL_Vertex> vertices;
    for (const Triangle& t : scene.triangles)
        for (int i = 0; i < 3; ++i) {
            const auto channel = [&](int shift) { return static_cast<Uint8>(2 * (t.colours[i] >> shift & 0xFF)); };
            vertices.push_back({{t.positions[2 * i], t.positions[2 * i + 1]},
                                {channel(0), channel(8), channel(16), 255},
                                {t.texCoords[2 * i] / kTextureSize, t.texCoords[2 * i + 1] / kTextureSize}});
        }
    return vertices;
}

// Counts, for each side, the pixels every triangle changes when drawn alone over white (each
// image is restored around the triangle afterwards), into the per-frame totals, and checks
// that the two sides do the same work before they are timed:
// - the first triangle, over the whole image: pixels change only near it, the two counts lie
//   within 3% of each other and at least 90% of each side's pixels are changed by both (the
//   sides place edges a little differently);
// - all triangles: the totals lie within 3% of each other, and the mean red, green and blue
//   of the pixels both change lie within 10%, which a wrong palette, channel order or light
//   scale would break by far more. Single pixels are not compared, and the colour margin is
//   wide, because SDL's triangles sample a texel or so off the exact mapping (measured: its
//   means drift by up to about 6% from the exact ones, DRAWTRI's by about 2%).
bool countTrianglePixels(TriangleSides& sides) {
    std::memset(sides.image, 0xFF, kImageBytes);
    std::memset(sides.sdl.pixels(), 0xFF, kImageBytes);
    sides.velkanoPixels = sides.sdlPixels = 0;
    int64_t shared = 0, velkanoSum[3] = {0, 0, 0}, sdlSum[3] = {0, 0, 0};
    for (int64_t i = 0; i < kTriangles; ++i) {
        sides.drawVelkano(i, 1);
        sides.drawSdl(i, 1);
        const float* p = sides.scene.triangles[i].positions;
        const float left = std::min({p[0], p[2], p[4]}), right = std::max({p[0], p[2], p[4]});
        const float top = std::min({p[1], p[3], p[5]}), bottom = std::max({p[1], p[3], p[5]});
        // Around the triangle, or the whole image for the first.
        const int32_t x0 = i == 0 ? 0 : std::max(0, int32_t(left) - 3);
        const int32_t x1 = i == 0 ? kImageWidth : std::min(kImageWidth, int32_t(right) + 4);
        const int32_t y0 = i == 0 ? 0 : std::max(0, int32_t(top) - 3);
        const int32_t y1 = i == 0 ? kImageHeight : std::min(kImageHeight, int32_t(bottom) + 4);
        int64_t velkano = 0, sdl = 0, both = 0, outside = 0;
        for (int32_t row = y0; row < y1; ++row) {
            for (int32_t col = x0; col < x1; ++col) {
                const uint32_t v = pixelAt(sides.image, col, row), s = pixelAt(sides.sdl.pixels(), col, row);
                velkano += isDrawn(v), sdl += isDrawn(s);
                const bool near = col >= left - 3 && col <= right + 3 && row >= top - 3 && row <= bottom + 3;
                outside += (isDrawn(v) || isDrawn(s)) && !near;
                if (!isDrawn(v) || !isDrawn(s)) continue;
                ++both;
                for (int c = 0; c < 3; ++c) velkanoSum[c] += v >> 8 * c & 0xFF, sdlSum[c] += s >> 8 * c & 0xFF;
            }
            std::memset(sides.image + size_t{kImagePitch} * row + 4 * size_t(x0), 0xFF, 4 * size_t(x1 - x0));
            std::memset(sides.sdl.pixels() + size_t{kImagePitch} * row + 4 * size_t(x0), 0xFF, 4 * size_t(x1 - x0));
        }
        if (i == 0) {
            std::fprintf(stderr,
                         "velkano_bench_tri: first triangle (area %.0f): DRAWTRI changes %lld pixels, "
                         "SDL %lld, both %lld\n",
                         triangleArea(p), static_cast<long long>(velkano), static_cast<long long>(sdl),
                         static_cast<long long>(both));
            if (outside != 0 || both == 0 || std::abs(velkano - sdl) * 100 > 3 * std::min(velkano, sdl) ||
                both * 10 < 9 * std::max(velkano, sdl))
                return false;
        }
        sides.velkanoPixels += velkano;
        sides.sdlPixels += sdl;
        shared += both;
    }
    const auto mean = [shared](int64_t sum) { return double(sum) / double(shared); };
    std::fprintf(stderr,
                 "velkano_bench_tri: %lld triangles, area %.0f pixels in all; DRAWTRI changes %lld pixels, "
                 "SDL %lld; mean (r, g, b) where both draw: DRAWTRI %.1f %.1f %.1f, SDL %.1f %.1f %.1f\n",
                 static_cast<long long>(kTriangles), sides.scene.area, static_cast<long long>(sides.velkanoPixels),
                 static_cast<long long>(sides.sdlPixels), mean(velkanoSum[2]), mean(velkanoSum[1]), mean(velkanoSum[0]),
                 mean(sdlSum[2]), mean(sdlSum[1]), mean(sdlSum[0]));
    const auto within = [](int64_t percent, int64_t a, int64_t b) {
        return std::abs(a - b) * 100 <= percent * std::min(a, b);
    };
    for (int c = 0; c < 3; ++c)
        if (!within(10, velkanoSum[c], sdlSum[c])) return false;
    return within(3, sides.velkanoPixels, sides.sdlPixels);
}

}  // namespace

int main(int argc, char** argv) {
    SideBySide table("velkano_bench_tri", argc, argv);
    if (!table.initialised()) return 1;

    const std::vector<uint8_t> indices = bandedTexture();
    const std::vector<uint32_t> palette = huePalette();
    const SdlTarget sdl(indices, palette);
    AlignedBytes image(kImageBytes);
    if (!sdl.ready() || image.data() == nullptr)
        return table.refuse(std::string("cannot set up the triangles: ") + SDL_GetError());
    INIT(image.data(), kImageWidth, kImageHeight, kImagePitch);
    const TriangleScene scene = makeTriangleScene();
    TriangleSides sides{scene, indices, palette, makeSdlVertices(scene), image.data(), sdl};
    if (!countTrianglePixels(sides))
        return table.refuse("DRAWTRI and SDL draw different triangles; not comparing them");

    benchmark::RegisterBenchmark("DRAWTRI_copy", [&sides](benchmark::State& state) {
        runFrames(state, sides.image, sides.velkanoPixels, [&] { sides.drawVelkano(0, kTriangles); });
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("sdl_geometry_copy", [&sides](benchmark::State& state) {
        runFrames(state, sides.sdl.pixels(), sides.sdlPixels, [&] { sides.drawSdl(0, kTriangles); });
    })->Unit(benchmark::kMillisecond);
    table.compare("DRAWTRI copy vs SDL2", "DRAWTRI_copy", "sdl_geometry_copy");

    const int status = table.run();
    UNLOAD();
    return status;
}
