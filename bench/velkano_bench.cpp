// velkano_bench: throughput of FLASHADD, FLASHSUB and FLASHMOD on a 1024 x 768 image
// (pitch 4096 bytes, 3 MiB), next to pixman's saturating add of a solid colour over the
// same block and an in-place memmove of it; then DRAWTILE against SDL2's software renderer
// drawing the same tiles; then DRAWTRI against SDL2's SDL_RenderGeometry drawing the same
// triangles; then the span compositor alone against memcpy of the same spans; then a table
// of throughput ratios. persp_bench.cpp adds DRAWPERSPTRI against OSMesa.
//
// The flash benchmarks work on one 64-byte-aligned block bound with INIT. The block is
// refilled with the same pseudo-random pixels every kRefillEvery iterations, timing
// paused, so repeated adds and subtracts never leave it saturated to a fixed point. The
// refill uses plain stores, so the block stays cache-resident just as the operations
// under test leave it.
//
// The tile benchmarks draw one frame per iteration: kTiles tiles of 48 x 48 pixels scaled
// from a 64 x 64 texture onto a 640 x 480 image, at the same places on both sides, each
// frame starting from the same pseudo-random image.
//
// The triangle benchmarks draw kTriangles triangles of 400 to 800 pixels' area per frame on
// the same image, textured from a 64 x 64 texture and lit by three vertex colours, at the
// same places on both sides. Each side's pixels per second counts the pixels it really
// changes: every triangle is drawn once alone over white beforehand and its changed pixels
// counted the same way on both sides (overlaps between triangles count once per triangle).
//
// The compositor benchmarks walk the two halves of each of those triangles as span regions
// between two 640 x 480 images, in blend modes 0, 2, 3 and 4, against std::memcpy of
// exactly the same spans, row by row.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "context/render_context.h"
#include "raster/span_compositor.h"
#include "velkano.h"

namespace {

constexpr int32_t kWidth = 1024;
constexpr int32_t kHeight = 768;
constexpr int32_t kPitch = 4096;
constexpr size_t kBlockBytes = size_t{kPitch} * kHeight;
constexpr int64_t kRefillEvery = 64;

uint8_t* gBlock = nullptr;

// The fixed xorshift sequence behind every pseudo-random input here.
uint64_t nextRandom(uint64_t& s) {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
}

// Varied pixels (every byte lane, X included); `bytes` is a multiple of 8.
void fillVaried(uint8_t* block, size_t bytes = kBlockBytes) {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    for (size_t at = 0; at < bytes; at += 8) {
        const uint64_t word = nextRandom(s);
        std::memcpy(block + at, &word, 8);
    }
}

// Runs `op` once per iteration over the whole block, refilling it now and then.
template <typename Op>
void runOverBlock(benchmark::State& state, size_t bytesPerOp, Op op) {
    INIT(gBlock, kWidth, kHeight, kPitch);  // the tile benchmarks bind their own image
    fillVaried(gBlock);
    int64_t sinceRefill = 0;
    for (auto _ : state) {
        if (++sinceRefill == kRefillEvery) {
            state.PauseTiming();
            fillVaried(gBlock);
            sinceRefill = 0;
            state.ResumeTiming();
        }
        op();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytesPerOp));
}

// Small colours (1 per lane): 64 adds from varied data saturate only the top quarter of
// byte values at worst. The library's kernels take the same time whatever the data.
void benchFlashAdd(benchmark::State& state) { runOverBlock(state, kBlockBytes, [] { FLASHADD(0x01010101u); }); }
void benchFlashSub(benchmark::State& state) { runOverBlock(state, kBlockBytes, [] { FLASHSUB(0x01010101u); }); }

// Alternates scaling by 129/128 and 127/128 so the values drift very little.
void benchFlashMod(benchmark::State& state) {
    bool up = false;
    runOverBlock(state, kBlockBytes, [&up] { FLASHMOD((up = !up) ? 0x81818181u : 0x7F7F7F7Fu); });
}

// pixman_color_t channels are 16-bit: 0x0101 becomes 0x01, the same colour word as the
// flashes. A zero or all-ones source would hit pixman's early-outs.
constexpr pixman_color_t kPixmanColour = {0x0101, 0x0101, 0x0101, 0x0101};

void benchPixmanAdd(benchmark::State& state) {
    pixman_image_t* src = pixman_image_create_solid_fill(&kPixmanColour);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(gBlock), kPitch);
    runOverBlock(state, kBlockBytes, [=] {
        pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    });
    pixman_image_unref(dst);
    pixman_image_unref(src);
}

// glibc returns at once from memmove(p, p, n) (measured: a few ns for 3 MiB, against tens
// of microseconds for memcpy between two buffers), so the reference moves the block down
// by one cache line: every remaining byte is read once and written once, in place.
void benchMemmove(benchmark::State& state) {
    runOverBlock(state, kBlockBytes - 64, [] {
        uint8_t* block = gBlock;
        benchmark::DoNotOptimize(block);
        std::memmove(block, block + 64, kBlockBytes - 64);
    });
}

// Before timing anything: FLASHADD and pixman's add must give the same bytes, so the two
// really do the same work.
bool pixmanMatchesFlashAdd() {
    std::vector<uint8_t> viaFlash(kBlockBytes);
    fillVaried(gBlock);
    FLASHADD(0x01010101u);
    std::memcpy(viaFlash.data(), gBlock, kBlockBytes);
    fillVaried(gBlock);
    pixman_image_t* src = pixman_image_create_solid_fill(&kPixmanColour);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(gBlock), kPitch);
    pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    pixman_image_unref(dst);
    pixman_image_unref(src);
    return std::memcmp(viaFlash.data(), gBlock, kBlockBytes) == 0;
}

constexpr int32_t kTileImageWidth = 640;
constexpr int32_t kTileImageHeight = 480;
constexpr int32_t kTilePitch = 2560;
constexpr size_t kTileImageBytes = size_t{kTilePitch} * kTileImageHeight;
constexpr int32_t kTextureSize = 64;
constexpr int32_t kTileSize = 48;
constexpr int64_t kTiles = 2000;
constexpr uint32_t kTint = 0x00C0A080u;

struct TileMode {
    const char* name;
    int32_t velkano;
    SDL_BlendMode sdl;
};
constexpr TileMode kTileModes[] = {
    {"copy", 0, SDL_BLENDMODE_NONE}, {"add", 2, SDL_BLENDMODE_ADD}, {"mod", 3, SDL_BLENDMODE_MOD}};

// What both sides draw: the texture's index bytes, its palette (red in the lowest byte,
// byte 3 zero) and each tile's top-left corner, every tile fully inside the image.
struct TileScene {
    std::vector<uint8_t> indices = std::vector<uint8_t>(kTextureSize * kTextureSize);
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);
    std::vector<SDL_Point> corners = std::vector<SDL_Point>(kTiles);
};

TileScene makeTileScene() {
    TileScene scene;
    uint64_t s = 0x2545F4914F6CDD1Dull;
    for (uint32_t& entry : scene.palette) entry = static_cast<uint32_t>(nextRandom(s)) & 0x00FFFFFFu;
    // Diagonal bands crossed by 8 x 8 checks: every index appears, neighbours always differ.
    for (int v = 0; v < kTextureSize; ++v)
        for (int u = 0; u < kTextureSize; ++u)
            scene.indices[v * kTextureSize + u] = static_cast<uint8_t>(3 * u + 5 * v + 64 * ((u ^ v) >> 3 & 1));
    for (SDL_Point& corner : scene.corners) {
        const uint64_t r = nextRandom(s);
        corner = {static_cast<int>(r % (kTileImageWidth - kTileSize)),
                  static_cast<int>((r >> 32) % (kTileImageHeight - kTileSize))};
    }
    return scene;
}

// An ARGB8888 texture (alpha 255) holding the same texels as an indexed texture and its
// palette, drawn nearest-texel as Velkano draws; null on failure.
SDL_Texture* makeSdlTexture(SDL_Renderer* renderer, const std::vector<uint8_t>& indices,
                            const std::vector<uint32_t>& palette) {
    SDL_Texture* texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kTextureSize, kTextureSize);
    if (texture == nullptr) return nullptr;
    std::vector<uint32_t> texels(indices.size());
    for (size_t i = 0; i < texels.size(); ++i) {
        const uint32_t c = palette[indices[i]];
        texels[i] = 0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
    }
    if (SDL_UpdateTexture(texture, nullptr, texels.data(), kTextureSize * 4) != 0 ||
        SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest) != 0) {
        SDL_DestroyTexture(texture);
        return nullptr;
    }
    return texture;
}

// SDL2's software renderer on an ARGB8888 surface the size of the tile image, the tile
// texture tinted by kTint and the triangle texture (untinted, no blending: the vertex colours
// modulate it). Alpha is 255: SDL's add weights the source by it.
struct SdlRenderer {
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_Texture* triangleTexture = nullptr;

    SdlRenderer(const TileScene& scene, const std::vector<uint32_t>& trianglePalette) {
        surface = SDL_CreateRGBSurfaceWithFormat(0, kTileImageWidth, kTileImageHeight, 32, SDL_PIXELFORMAT_ARGB8888);
        if (surface == nullptr || surface->pitch != kTilePitch) return;
        renderer = SDL_CreateSoftwareRenderer(surface);
        if (renderer == nullptr) return;
        texture = makeSdlTexture(renderer, scene.indices, scene.palette);
        if (texture != nullptr && SDL_SetTextureColorMod(texture, kTint >> 16 & 0xFF, kTint >> 8 & 0xFF, kTint & 0xFF) != 0) {
            SDL_DestroyTexture(texture);
            texture = nullptr;
        }
        triangleTexture = makeSdlTexture(renderer, scene.indices, trianglePalette);
        if (triangleTexture != nullptr && SDL_SetTextureBlendMode(triangleTexture, SDL_BLENDMODE_NONE) != 0) {
            SDL_DestroyTexture(triangleTexture);
            triangleTexture = nullptr;
        }
    }
    ~SdlRenderer() {
        if (triangleTexture != nullptr) SDL_DestroyTexture(triangleTexture);
        if (texture != nullptr) SDL_DestroyTexture(texture);
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        if (surface != nullptr) SDL_FreeSurface(surface);
    }
    bool ready() const { return texture != nullptr && triangleTexture != nullptr; }
    uint8_t* pixels() const { return static_cast<uint8_t*>(surface->pixels); }
};

const TileScene* gScene = nullptr;
uint8_t* gTileImage = nullptr;
SdlRenderer* gSdl = nullptr;

// The first `count` tiles of the scene, by each side.
void drawVelkanoTiles(int32_t mode, int64_t count) {
    SETTEXTURE(gScene->indices.data(), kTextureSize, kTextureSize, gScene->palette.data(), mode);
    for (int64_t i = 0; i < count; ++i) {
        const SDL_Point c = gScene->corners[i];
        DRAWTILE(static_cast<float>(c.x), static_cast<float>(c.y), kTileSize, kTileSize, 0.0f, 0.0f,
                 kTextureSize, kTextureSize, 0, 0, kTint);
    }
}
void drawSdlTiles(SDL_BlendMode mode, int64_t count) {
    SDL_SetTextureBlendMode(gSdl->texture, mode);
    for (int64_t i = 0; i < count; ++i) {
        const SDL_Rect dst{gScene->corners[i].x, gScene->corners[i].y, kTileSize, kTileSize};
        SDL_RenderCopy(gSdl->renderer, gSdl->texture, nullptr, &dst);
    }
    SDL_RenderFlush(gSdl->renderer);  // the renderer may batch: the frame is done only here
}

// One frame per iteration onto `image`, refilled before each frame with timing paused, so
// every frame starts from the same pixels. Counts `pixelsPerFrame` pixels per frame.
template <typename Draw>
void runFrames(benchmark::State& state, uint8_t* image, int64_t pixelsPerFrame, Draw drawFrame) {
    for (auto _ : state) {
        state.PauseTiming();
        fillVaried(image, kTileImageBytes);
        state.ResumeTiming();
        drawFrame();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixelsPerFrame);
}

// Ends included: DRAWTILE covers 49 x 49 pixels per tile, SDL 48 x 48.
void benchDrawTile(benchmark::State& state, int32_t mode) {
    INIT(gTileImage, kTileImageWidth, kTileImageHeight, kTilePitch);
    runFrames(state, gTileImage, kTiles * (kTileSize + 1) * (kTileSize + 1), [=] { drawVelkanoTiles(mode, kTiles); });
}
void benchSdlTiles(benchmark::State& state, SDL_BlendMode mode) {
    runFrames(state, gSdl->pixels(), kTiles * kTileSize * kTileSize, [=] { drawSdlTiles(mode, kTiles); });
}

// Before timing the tiles: one tile copied over white by each side must cover exactly the
// pixels its count says and, where both draw, agree within 1 per channel (SDL tints by
// c * t / 255, DRAWTILE by (c * t) >> 8). No tinted texel is white, so every drawn pixel shows.
bool sdlMatchesDrawTile() {
    std::memset(gTileImage, 0xFF, kTileImageBytes);
    std::memset(gSdl->pixels(), 0xFF, kTileImageBytes);
    INIT(gTileImage, kTileImageWidth, kTileImageHeight, kTilePitch);
    drawVelkanoTiles(0, 1);
    drawSdlTiles(SDL_BLENDMODE_NONE, 1);
    const SDL_Point corner = gScene->corners[0];
    for (int32_t row = 0; row < kTileImageHeight; ++row) {
        for (int32_t col = 0; col < kTileImageWidth; ++col) {
            const size_t at = size_t{kTilePitch} * row + 4 * size_t(col);
            uint32_t velkano, sdl;
            std::memcpy(&velkano, gTileImage + at, 4);
            std::memcpy(&sdl, gSdl->pixels() + at, 4);
            const int32_t du = col - corner.x, dv = row - corner.y;
            const bool inVelkano = du >= 0 && du <= kTileSize && dv >= 0 && dv <= kTileSize;
            const bool inSdl = inVelkano && du < kTileSize && dv < kTileSize;
            if (((velkano & 0xFFFFFFu) != 0xFFFFFFu) != inVelkano || ((sdl & 0xFFFFFFu) != 0xFFFFFFu) != inSdl)
                return false;
            for (int shift = 0; inSdl && shift < 24; shift += 8)
                if (std::abs(int(velkano >> shift & 0xFF) - int(sdl >> shift & 0xFF)) > 1) return false;
        }
    }
    return true;
}

constexpr int64_t kTriangles = 5000;

// One triangle as both sides take it. The light words (red in byte 0) stay below 128, so
// DRAWTRI darkens each texel by l / 128 and SDL, given 2l, by 2l / 255: the same picture.
struct Triangle {
    float positions[6];
    float texCoords[6];  // in texels, all inside the texture: SDL's triangles do not repeat it
    uint32_t colours[3];
};

// The tile texture's indices with a palette of their own, a smooth ramp of hues with every
// channel in 1..191, so no drawn pixel is ever white; then the triangles, the same for SDL,
// and the pixels each side changes drawing each triangle alone.
struct TriangleScene {
    std::vector<uint32_t> palette;
    std::vector<Triangle> triangles;
    std::vector<SDL_Vertex> sdlVertices;  // three per triangle
    int64_t velkanoPixels = 0;            // per frame
    int64_t sdlPixels = 0;
    double area = 0;                      // the sum of the triangles' areas
};

double unitRandom(uint64_t& s) { return static_cast<double>(nextRandom(s) >> 11) * 0x1p-53; }

double triangleArea(const float* p) {
    return std::fabs((double(p[2]) - p[0]) * (double(p[5]) - p[1]) - (double(p[4]) - p[0]) * (double(p[3]) - p[1])) / 2;
}

TriangleScene makeTriangleScene() {
    TriangleScene scene;
    scene.palette.resize(256);
    for (int i = 0; i < 256; ++i) {
        auto ch = [&](double phase) { return static_cast<uint32_t>(96 + 95 * std::sin(2 * std::numbers::pi * i / 256 + phase)); };
        scene.palette[i] = ch(0) | ch(2.1) << 8 | ch(4.2) << 16;
    }
    uint64_t s = 0x5851F42D4C957F2Dull;
    const auto uniform = [&s](double lo, double hi) { return lo + (hi - lo) * unitRandom(s); };
    while (static_cast<int64_t>(scene.triangles.size()) < kTriangles) {
        // Three vertices around a centre, all inside the image; no slivers.
        const double cx = uniform(48, kTileImageWidth - 48), cy = uniform(48, kTileImageHeight - 48);
        double x[3], y[3];
        for (int i = 0; i < 3; ++i) {
            const double angle = uniform(0, 2 * std::numbers::pi), radius = uniform(14, 40);
            x[i] = cx + radius * std::cos(angle), y[i] = cy + radius * std::sin(angle);
        }
        const float corners[6] = {float(x[0]), float(y[0]), float(x[1]), float(y[1]), float(x[2]), float(y[2])};
        const double area = triangleArea(corners);
        double longest = 0;
        for (int i = 0; i < 3; ++i) longest = std::max(longest, std::hypot(x[(i + 1) % 3] - x[i], y[(i + 1) % 3] - y[i]));
        if (area < 400 || area > 800 || area < 0.15 * longest * longest) continue;

        // The texture turned and scaled (0.6 to 1 texel per pixel) about the centroid, which
        // lands on the middle of the texture; every vertex stays 2 texels or more inside it.
        const double gx = (x[0] + x[1] + x[2]) / 3, gy = (y[0] + y[1] + y[2]) / 3;
        double reach = 0;
        for (int i = 0; i < 3; ++i) reach = std::max(reach, std::hypot(x[i] - gx, y[i] - gy));
        const double turn = uniform(0, 2 * std::numbers::pi), scale = std::min(uniform(0.6, 1.0), 30 / reach);
        const double c = scale * std::cos(turn), sn = scale * std::sin(turn);

        Triangle t;
        for (int i = 0; i < 3; ++i) {
            const double u = kTextureSize / 2 + c * (x[i] - gx) - sn * (y[i] - gy);
            const double v = kTextureSize / 2 + sn * (x[i] - gx) + c * (y[i] - gy);
            t.positions[2 * i] = static_cast<float>(x[i]), t.positions[2 * i + 1] = static_cast<float>(y[i]);
            t.texCoords[2 * i] = static_cast<float>(u), t.texCoords[2 * i + 1] = static_cast<float>(v);
            const auto r = static_cast<uint8_t>(uniform(48, 128)), g = static_cast<uint8_t>(uniform(48, 128)),
                       b = static_cast<uint8_t>(uniform(48, 128));
            t.colours[i] = uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16;
            scene.sdlVertices.push_back({{t.positions[2 * i], t.positions[2 * i + 1]},
                                         {static_cast<Uint8>(2 * r), static_cast<Uint8>(2 * g), static_cast<Uint8>(2 * b), 255},
                                         {static_cast<float>(u / kTextureSize), static_cast<float>(v / kTextureSize)}});
        }
        scene.triangles.push_back(t);
        scene.area += area;
    }
    return scene;
}

TriangleScene* gTriangles = nullptr;

// Triangles first to first + count - 1, by each side.
void drawVelkanoTriangles(int64_t first, int64_t count) {
    SETTEXTURE(gScene->indices.data(), kTextureSize, kTextureSize, gTriangles->palette.data(), 0);
    for (int64_t i = first; i < first + count; ++i) {
        const Triangle& t = gTriangles->triangles[i];
        DRAWTRI(t.positions, t.texCoords, t.colours);
    }
}
void drawSdlTriangles(int64_t first, int64_t count) {
    for (int64_t i = first; i < first + count; ++i)
        SDL_RenderGeometry(gSdl->renderer, gSdl->triangleTexture, &gTriangles->sdlVertices[3 * i], 3, nullptr, 0);
    SDL_RenderFlush(gSdl->renderer);
}

void benchDrawTriangles(benchmark::State& state) {
    INIT(gTileImage, kTileImageWidth, kTileImageHeight, kTilePitch);
    runFrames(state, gTileImage, gTriangles->velkanoPixels, [] { drawVelkanoTriangles(0, kTriangles); });
}
void benchSdlTriangles(benchmark::State& state) {
    runFrames(state, gSdl->pixels(), gTriangles->sdlPixels, [] { drawSdlTriangles(0, kTriangles); });
}

uint32_t pixelAt(const uint8_t* image, int32_t col, int32_t row) {
    uint32_t word;
    std::memcpy(&word, image + size_t{kTilePitch} * row + 4 * size_t(col), 4);
    return word;
}
bool isDrawn(uint32_t pixel) { return (pixel & 0xFFFFFFu) != 0xFFFFFFu; }

// Counts, for each side, the pixels every triangle changes when drawn alone over white (each
// image is restored around the triangle afterwards), into the scene's per-frame totals, and
// checks that the two sides do the same work before they are timed:
// - the first triangle, over the whole image: pixels change only near it, the two counts lie
//   within 3% of each other and at least 90% of each side's pixels are changed by both (the
//   sides place edges a little differently);
// - all triangles: the totals lie within 3% of each other, and the mean red, green and blue
//   of the pixels both change lie within 10%, which a wrong palette, channel order or light
//   scale would break by far more. Single pixels are not compared, and the colour margin is
//   wide, because SDL's triangles sample a texel or so off the exact mapping (measured: its
//   means drift by up to about 6% from the exact ones, DRAWTRI's by about 2%).
bool countTrianglePixels(TriangleScene& scene) {
    std::memset(gTileImage, 0xFF, kTileImageBytes);
    std::memset(gSdl->pixels(), 0xFF, kTileImageBytes);
    INIT(gTileImage, kTileImageWidth, kTileImageHeight, kTilePitch);
    scene.velkanoPixels = scene.sdlPixels = 0;
    int64_t shared = 0, velkanoSum[3] = {0, 0, 0}, sdlSum[3] = {0, 0, 0};
    for (int64_t i = 0; i < kTriangles; ++i) {
        drawVelkanoTriangles(i, 1);
        drawSdlTriangles(i, 1);
        const float* p = scene.triangles[i].positions;
        const float left = std::min({p[0], p[2], p[4]}), right = std::max({p[0], p[2], p[4]});
        const float top = std::min({p[1], p[3], p[5]}), bottom = std::max({p[1], p[3], p[5]});
        // Around the triangle, or the whole image for the first.
        const int32_t x0 = i == 0 ? 0 : std::max(0, int32_t(left) - 3);
        const int32_t x1 = i == 0 ? kTileImageWidth : std::min(kTileImageWidth, int32_t(right) + 4);
        const int32_t y0 = i == 0 ? 0 : std::max(0, int32_t(top) - 3);
        const int32_t y1 = i == 0 ? kTileImageHeight : std::min(kTileImageHeight, int32_t(bottom) + 4);
        int64_t velkano = 0, sdl = 0, both = 0, outside = 0;
        for (int32_t row = y0; row < y1; ++row) {
            for (int32_t col = x0; col < x1; ++col) {
                const uint32_t v = pixelAt(gTileImage, col, row), s = pixelAt(gSdl->pixels(), col, row);
                velkano += isDrawn(v), sdl += isDrawn(s);
                if ((isDrawn(v) || isDrawn(s)) && (col < left - 3 || col > right + 3 || row < top - 3 || row > bottom + 3))
                    ++outside;
                if (!isDrawn(v) || !isDrawn(s)) continue;
                ++both;
                for (int c = 0; c < 3; ++c) velkanoSum[c] += v >> 8 * c & 0xFF, sdlSum[c] += s >> 8 * c & 0xFF;
            }
            std::memset(gTileImage + size_t{kTilePitch} * row + 4 * size_t(x0), 0xFF, 4 * size_t(x1 - x0));
            std::memset(gSdl->pixels() + size_t{kTilePitch} * row + 4 * size_t(x0), 0xFF, 4 * size_t(x1 - x0));
        }
        if (i == 0) {
            std::fprintf(stderr, "velkano_bench: first triangle (area %.0f): DRAWTRI changes %lld pixels, SDL %lld, both %lld\n",
                         triangleArea(p), static_cast<long long>(velkano), static_cast<long long>(sdl),
                         static_cast<long long>(both));
            if (outside != 0 || both == 0 || std::abs(velkano - sdl) * 100 > 3 * std::min(velkano, sdl) ||
                both * 10 < 9 * std::max(velkano, sdl))
                return false;
        }
        scene.velkanoPixels += velkano;
        scene.sdlPixels += sdl;
        shared += both;
    }
    std::fprintf(stderr, "velkano_bench: %lld triangles, area %.0f pixels in all; DRAWTRI changes %lld pixels, SDL %lld;"
                 " mean (r, g, b) where both draw: DRAWTRI %.1f %.1f %.1f, SDL %.1f %.1f %.1f\n",
                 static_cast<long long>(kTriangles), scene.area, static_cast<long long>(scene.velkanoPixels),
                 static_cast<long long>(scene.sdlPixels), double(velkanoSum[2]) / double(shared),
                 double(velkanoSum[1]) / double(shared), double(velkanoSum[0]) / double(shared),
                 double(sdlSum[2]) / double(shared), double(sdlSum[1]) / double(shared), double(sdlSum[0]) / double(shared));
    const auto within = [](int64_t percent, int64_t a, int64_t b) { return std::abs(a - b) * 100 <= percent * std::min(a, b); };
    for (int c = 0; c < 3; ++c)
        if (!within(10, velkanoSum[c], sdlSum[c])) return false;
    return within(3, scene.velkanoPixels, scene.sdlPixels);
}

// The compositor's regions: both halves of every triangle, cut at the middle vertex's row
// as DRAWTRI cuts them (positions rounded to whole pixels), and the spans the compositor
// walks for them, found by compositing each region alone.
struct Span {
    int32_t row, column, count;
};
struct CompositeScene {
    std::vector<velkano::SpanRegion> regions;
    std::vector<Span> spans;
    int64_t pixels = 0;  // per frame
};

velkano::RenderContext gCompositeContext{};  // bound to gCompositeImage
uint8_t* gCompositeImage = nullptr;          // the destination
uint8_t* gCompositeSource = nullptr;
CompositeScene* gComposite = nullptr;

std::vector<velkano::SpanRegion> triangleHalves(const std::vector<Triangle>& triangles) {
    std::vector<velkano::SpanRegion> regions;
    for (const Triangle& t : triangles) {
        int32_t x[3], y[3];
        for (int i = 0; i < 3; ++i)
            x[i] = static_cast<int32_t>(std::nearbyint(t.positions[2 * i])),
            y[i] = static_cast<int32_t>(std::nearbyint(t.positions[2 * i + 1]));
        int order[3] = {0, 1, 2};
        std::sort(order, order + 3, [&](int a, int b) { return y[a] < y[b]; });
        const int a = order[0], m = order[1], b = order[2];
        // Where the long edge a-b crosses row y[m].
        const int32_t split = y[a] == y[b] ? x[a]
                              : static_cast<int32_t>(std::nearbyint(x[a] + double(x[b] - x[a]) * (y[m] - y[a]) / (y[b] - y[a])));
        regions.push_back({y[a], y[m], x[a], x[a], x[m], split});
        regions.push_back({y[m], y[b], x[m], split, x[b], x[b]});
    }
    return regions;
}

void compositeAll(uint8_t* destination, const uint8_t* source, velkano::CompositeMode mode) {
    for (const velkano::SpanRegion& r : gComposite->regions) {
        velkano::SpanRegion region = r;  // normalised in place: each call gets a fresh one
        velkano::compositeSpans(gCompositeContext, destination, source, region, mode);
    }
}
void copyAllSpans(uint8_t* destination, const uint8_t* source) {
    for (const Span& span : gComposite->spans) {
        const size_t at = size_t{kTilePitch} * span.row + 4 * size_t(span.column);
        std::memcpy(destination + at, source + at, 4 * size_t(span.count));
    }
}

// Finds the spans: each region copied alone from an all-ones source onto a zero image, its
// rows read back (one unbroken span per row) and cleared. Then checks the reference does
// the compositor's work: nothing was written outside the regions' rows and columns, and
// copying the spans from varied pixels gives the same image as mode 0.
bool findCompositeSpans(CompositeScene& scene) {
    gComposite = &scene;
    uint8_t* image = gCompositeImage;
    std::memset(image, 0, kTileImageBytes);
    std::memset(gCompositeSource, 0xFF, kTileImageBytes);
    for (const velkano::SpanRegion& r : scene.regions) {
        velkano::SpanRegion region = r;
        velkano::compositeSpans(gCompositeContext, image, gCompositeSource, region, velkano::CompositeMode::Replace);
        const int32_t x0 = std::max(0, std::min(region.topLeftX, region.bottomLeftX) - 1);
        const int32_t x1 = std::min(kTileImageWidth, std::max(region.topRightX, region.bottomRightX) + 1);
        for (int32_t row = std::max(region.top, 0); row < std::min(region.bottom, kTileImageHeight); ++row) {
            int32_t first = -1, last = -1, count = 0;
            for (int32_t col = x0; col < x1; ++col) {
                if (pixelAt(image, col, row) == 0) continue;
                if (first < 0) first = col;
                last = col, ++count;
            }
            if (count == 0) continue;
            if (last - first + 1 != count) return false;
            scene.spans.push_back({row, first, count});
            scene.pixels += count;
            std::memset(image + size_t{kTilePitch} * row + 4 * size_t(first), 0, 4 * size_t(count));
        }
    }
    if (std::any_of(image, image + kTileImageBytes, [](uint8_t b) { return b != 0; })) return false;

    std::vector<uint8_t> copied(kTileImageBytes);
    fillVaried(gCompositeSource, kTileImageBytes);
    for (size_t i = 0; i < kTileImageBytes; ++i) gCompositeSource[i] ^= 0x5A;
    fillVaried(image, kTileImageBytes);
    fillVaried(copied.data(), kTileImageBytes);
    compositeAll(image, gCompositeSource, velkano::CompositeMode::Replace);
    copyAllSpans(copied.data(), gCompositeSource);
    std::fprintf(stderr, "velkano_bench: %zu regions, %zu spans, %lld pixels per compositor frame\n", scene.regions.size(),
                 scene.spans.size(), static_cast<long long>(scene.pixels));
    return std::memcmp(image, copied.data(), kTileImageBytes) == 0;
}

struct NamedMode {
    const char* name;
    velkano::CompositeMode mode;
};
constexpr NamedMode kCompositeModes[] = {{"copy", velkano::CompositeMode::Replace},
                                         {"add", velkano::CompositeMode::AddSat},
                                         {"mod2x", velkano::CompositeMode::Modulate2x},
                                         {"mul2x", velkano::CompositeMode::Multiply2x}};

void benchComposite(benchmark::State& state, velkano::CompositeMode mode) {
    runFrames(state, gCompositeImage, gComposite->pixels, [=] { compositeAll(gCompositeImage, gCompositeSource, mode); });
}
void benchCopySpans(benchmark::State& state) {
    runFrames(state, gCompositeImage, gComposite->pixels, [] { copyAllSpans(gCompositeImage, gCompositeSource); });
}

// Passes everything to the reporter the --benchmark_format/--benchmark_color flags ask
// for, keeping each benchmark's throughput on the side (items per second where it counts
// items, otherwise bytes per second): the median aggregate when repetitions give one,
// otherwise the median of the plain runs.
class RecordingReporter : public benchmark::BenchmarkReporter {
public:
    explicit RecordingReporter(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override { return display_->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end()) rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end()) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") medians_[name] = rate->second.value;
            } else {
                samples_[name].push_back(rate->second.value);
            }
        }
        display_->ReportRuns(runs);
    }
    void Finalize() override { display_->Finalize(); }

    bool consoleOutput() const { return dynamic_cast<benchmark::ConsoleReporter*>(display_) != nullptr; }

    // Throughput of `name`, or 0 when it did not run.
    double rate(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        auto s = samples_.find(name);
        if (s == samples_.end() || s->second.empty()) return 0.0;
        std::vector<double> v = s->second;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    }

private:
    benchmark::BenchmarkReporter* display_;  // owned by the benchmark library
    std::map<std::string, double> medians_;
    std::map<std::string, std::vector<double>> samples_;
};

void printRatios(const RecordingReporter& rec, FILE* out) {
    const double pixman = rec.rate("pixman_add"), move = rec.rate("memmove_in_place");
    auto cell = [](double num, double den) {
        char text[32];
        if (num > 0 && den > 0) std::snprintf(text, sizeof text, "%.2fx", num / den);
        else std::snprintf(text, sizeof text, "n/a");
        return std::string(text);
    };
    std::fprintf(out, "\nratios (higher is better)  %15s %12s\n", "vs pixman add", "vs memmove");
    for (const char* flash : {"FLASHADD", "FLASHSUB", "FLASHMOD"}) {
        const double r = rec.rate(flash);
        std::fprintf(out, "%-26s %15s %12s\n", flash, cell(r, pixman).c_str(), cell(r, move).c_str());
    }
    std::fprintf(out, "%-26s %15s\n", "tiles, pixels per second", "vs SDL2");
    for (const TileMode& mode : kTileModes) {
        const std::string name = mode.name;
        std::fprintf(out, "%-26s %15s\n", ("DRAWTILE " + name).c_str(),
                     cell(rec.rate("DRAWTILE_" + name), rec.rate("sdl_" + name)).c_str());
    }
    const auto megapixels = [](double rate) { return rate / 1e6; };
    const double drawTri = rec.rate("DRAWTRI_copy"), sdlTri = rec.rate("sdl_geometry_copy");
    std::fprintf(out, "%-26s %15s   (changed pixels: DRAWTRI %.0f, SDL %.0f Mpx/s)\n", "triangles, pixels/second",
                 "vs SDL2", megapixels(drawTri), megapixels(sdlTri));
    std::fprintf(out, "%-26s %15s\n", "DRAWTRI copy", cell(drawTri, sdlTri).c_str());
    const double copy = rec.rate("memcpy_spans");
    std::fprintf(out, "%-26s %15s   (memcpy %.0f Mpx/s)\n", "spans, pixels per second", "vs memcpy", megapixels(copy));
    for (const NamedMode& mode : kCompositeModes) {
        const double r = rec.rate(std::string("compositeSpans_") + mode.name);
        std::fprintf(out, "%-26s %15s   (%.0f Mpx/s)\n", (std::string("compositeSpans ") + mode.name).c_str(),
                     cell(r, copy).c_str(), megapixels(r));
    }
}

}  // namespace

// persp_bench.cpp: sets up and registers the DRAWPERSPTRI and OSMesa benchmarks (false
// when they cannot be compared), and adds their ratios to the table.
bool registerPerspectiveBenchmarks();
void printPerspectiveRatios(const std::function<double(const std::string&)>& rate, FILE* out);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    gBlock = static_cast<uint8_t*>(std::aligned_alloc(64, kBlockBytes));
    if (gBlock == nullptr) return 1;
    fillVaried(gBlock);
    INIT(gBlock, kWidth, kHeight, kPitch);
    if (!pixmanMatchesFlashAdd()) {
        std::fprintf(stderr, "velkano_bench: FLASHADD and pixman's add disagree; not comparing them\n");
        return 1;
    }

    const TileScene scene = makeTileScene();
    TriangleScene triangles = makeTriangleScene();
    SdlRenderer sdl(scene, triangles.palette);
    gTileImage = static_cast<uint8_t*>(std::aligned_alloc(64, kTileImageBytes));
    if (gTileImage == nullptr || !sdl.ready()) {
        std::fprintf(stderr, "velkano_bench: cannot set up the tiles: %s\n", SDL_GetError());
        return 1;
    }
    gScene = &scene, gSdl = &sdl;
    if (!sdlMatchesDrawTile()) {
        std::fprintf(stderr, "velkano_bench: DRAWTILE and SDL draw different tiles; not comparing them\n");
        return 1;
    }
    gTriangles = &triangles;
    if (!countTrianglePixels(triangles)) {
        std::fprintf(stderr, "velkano_bench: DRAWTRI and SDL draw different triangles; not comparing them\n");
        return 1;
    }

    gCompositeImage = static_cast<uint8_t*>(std::aligned_alloc(64, kTileImageBytes));
    gCompositeSource = static_cast<uint8_t*>(std::aligned_alloc(64, kTileImageBytes));
    if (gCompositeImage == nullptr || gCompositeSource == nullptr) return 1;
    velkano::initContext(gCompositeContext, gCompositeImage, kTileImageWidth, kTileImageHeight, kTilePitch);
    CompositeScene composite;
    composite.regions = triangleHalves(triangles.triangles);
    if (!findCompositeSpans(composite)) {
        std::fprintf(stderr, "velkano_bench: the spans copied do not match the compositor's; not comparing them\n");
        return 1;
    }

    benchmark::RegisterBenchmark("FLASHADD", benchFlashAdd);
    benchmark::RegisterBenchmark("FLASHSUB", benchFlashSub);
    benchmark::RegisterBenchmark("FLASHMOD", benchFlashMod);
    benchmark::RegisterBenchmark("pixman_add", benchPixmanAdd);
    benchmark::RegisterBenchmark("memmove_in_place", benchMemmove);
    for (const TileMode& mode : kTileModes) {
        const std::string name = mode.name;
        benchmark::RegisterBenchmark(("DRAWTILE_" + name).c_str(), benchDrawTile, mode.velkano)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("sdl_" + name).c_str(), benchSdlTiles, mode.sdl)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("DRAWTRI_copy", benchDrawTriangles)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("sdl_geometry_copy", benchSdlTriangles)->Unit(benchmark::kMillisecond);
    for (const NamedMode& mode : kCompositeModes)
        benchmark::RegisterBenchmark((std::string("compositeSpans_") + mode.name).c_str(), benchComposite, mode.mode)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("memcpy_spans", benchCopySpans)->Unit(benchmark::kMillisecond);
    if (!registerPerspectiveBenchmarks()) return 1;

    RecordingReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    std::cout.flush();
    // Keep machine-readable output on stdout clean.
    FILE* ratios = reporter.consoleOutput() ? stdout : stderr;
    printRatios(reporter, ratios);
    printPerspectiveRatios([&reporter](const std::string& name) { return reporter.rate(name); }, ratios);

    UNLOAD();
    benchmark::Shutdown();
    velkano::destroyContext(gCompositeContext);
    std::free(gBlock);
    std::free(gTileImage);
    std::free(gCompositeImage);
    std::free(gCompositeSource);
    return 0;
}
