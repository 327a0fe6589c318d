// scene.h: inputs that more than one benchmark program draws or times, built the same way
// every run: the fixed pseudo-random sequence, varied pixels, the 640 x 480 image, the
// 64 x 64 indexed texture and its hue palette, and the 5000 textured, lit triangles.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace velkano::bench {

// The xorshift sequence behind every pseudo-random input here.
inline uint64_t nextRandom(uint64_t& s) {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
}
// lo + (hi - lo) * a 53-bit fraction in [0, 1).
inline double uniform(uint64_t& s, double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(nextRandom(s) >> 11) * 0x1p-53;
}

// The same varied bytes (every byte lane of a pixel, X included) each call; `bytes` is a
// multiple of 8. Plain stores, so the block stays cache-resident as the code under test
// leaves it.
void fillVaried(uint8_t* block, size_t bytes);

// Bytes starting on a 64-byte boundary; data() is null when they could not be had.
class AlignedBytes {
public:
    explicit AlignedBytes(size_t bytes) : bytes_(static_cast<uint8_t*>(std::aligned_alloc(64, bytes))), size_(bytes) {}
    uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> bytes_;
    size_t size_;
};

// The image the tiles, triangles and spans are drawn on: 640 x 480 pixels, rows unpadded.
constexpr int32_t kImageWidth = 640;
constexpr int32_t kImageHeight = 480;
constexpr int32_t kImagePitch = 4 * kImageWidth;
constexpr size_t kImageBytes = size_t{kImagePitch} * kImageHeight;

uint32_t pixelAt(const uint8_t* image, int32_t col, int32_t row);
// Every scene is drawn over white and never draws white.
inline bool isDrawn(uint32_t pixel) { return (pixel & 0xFFFFFFu) != 0xFFFFFFu; }

// One frame per iteration onto `image` (kImageBytes), refilled with varied pixels before each
// frame with timing paused, so every frame starts from the same pixels. Counts
// `pixelsPerFrame` items per frame.
template <typename Draw>
void runFrames(benchmark::State& state, uint8_t* image, int64_t pixelsPerFrame, Draw drawFrame) {
    for (auto _ : state) {
        state.PauseTiming();
        fillVaried(image, kImageBytes);
        state.ResumeTiming();
        drawFrame();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixelsPerFrame);
}

// The indexed texture: kTextureSize squared index bytes, diagonal bands crossed by 8 x 8
// checks, so every index appears and neighbours always differ.
constexpr int32_t kTextureSize = 64;
std::vector<uint8_t> bandedTexture();
// 256 palette words (0x00BBGGRR), a smooth ramp of hues with every channel in 1..191, so no
// pixel drawn from it, lit or not, is white.
std::vector<uint32_t> huePalette();
// A palette word as an opaque 0xAARRGGBB texel, for the peers' textures.
constexpr uint32_t argbTexel(uint32_t colour) {
    return 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

// The area of the triangle with corners (p0, p1), (p2, p3) and (p4, p5).
double triangleArea(const float* p);

// One textured triangle, lit by its vertex colours (0x00BBGGRR words, each channel 48..127,
// so the light darkens the texel by l / 128).
struct Triangle {
    float positions[6];
    float texCoords[6];  // in texels, all inside the texture: every peer reads them unrepeated
    uint32_t colours[3];
};
constexpr int64_t kTriangles = 5000;
struct TriangleScene {
    std::vector<Triangle> triangles;
    double area = 0;  // the sum of the triangles' areas
};
// kTriangles triangles of 400 to 800 pixels' area, no slivers, all inside the image, with
// the texture turned and scaled (0.6 to 1 texel per pixel) about each centroid.
TriangleScene makeTriangleScene();

}  // namespace velkano::bench
