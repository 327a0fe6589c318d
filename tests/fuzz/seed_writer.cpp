// seed_writer.cpp: writes the hand-made seed inputs of the fuzzer's corpus, in the format the
// fuzz target reads: ordinary frames in every blend mode, odd pitches and tiny images, huge
// sizes, and the slowest calls the limits allow (far tiles and triangles on 640 x 480 pixels'
// worth of image).
//   velkano_fuzz_seeds tests/fuzz/corpus
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "call_sequence_fuzzer.h"

namespace {

using namespace fuzzformat;

class InputWriter {
public:
    explicit InputWriter(uint8_t level) { bytes_.push_back(level); }

    void byte(uint8_t value) { bytes_.push_back(value); }
    void word(uint32_t value) {
        for (int i = 0; i < 4; ++i) byte(static_cast<uint8_t>(value >> (8 * i)));
    }
    // In 1/32 steps where that is exact, otherwise as float bits.
    void coordinate(float value) {
        const float scaled = value * 32.0f;
        if (scaled == std::floor(scaled) && std::fabs(scaled) <= 32767.0f) {
            byte(kCoordinateListedBelow);
            const auto fixed = static_cast<uint16_t>(static_cast<int16_t>(scaled));
            byte(static_cast<uint8_t>(fixed)), byte(static_cast<uint8_t>(fixed >> 8));
        } else {
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            byte(kCoordinateFixedBelow), word(bits);
        }
    }
    void size(int32_t value) {
        if (value >= 1 && value <= 1024) {
            byte(kSizeListedBelow), byte(static_cast<uint8_t>(value - 1)), byte(static_cast<uint8_t>((value - 1) >> 8));
        } else {
            byte(kSizeSmallBelow), word(static_cast<uint32_t>(value));
        }
    }
    void block(uint32_t seed) { byte(1), byte(0), word(seed); }  // present, against the page after it

    void init(int32_t width, int32_t height, int32_t padding = 0) {
        byte(kInit), size(width), size(height);
        if (padding) byte(kPitchPadded), byte(static_cast<uint8_t>(padding));
        else byte(kPitchExact);
        block(12345u + static_cast<uint32_t>(width));
    }
    void setTexture(int32_t width, int32_t height, uint8_t mode) {
        byte(kSetTexture), size(width), size(height), block(777u + static_cast<uint32_t>(width * height));
        block(4242u), byte(mode);
    }
    void setLightmap(int32_t width, int32_t height) {
        byte(kSetLightmap), size(width), size(height), block(999u + static_cast<uint32_t>(width));
    }
    void drawTile(const float (&a)[8], uint32_t tint) {
        byte(kDrawTile);
        for (float value : a) coordinate(value);
        word(0), word(0), word(tint);
    }
    void drawTri(const float (&xy)[6], const float (&uv)[6], const uint32_t (&colours)[3], Shape shape = kAsGiven) {
        byte(kDrawTri);
        triangle(xy, shape);
        for (float value : uv) coordinate(value);
        for (uint32_t colour : colours) word(colour);
        byte(1), byte(1), byte(1);  // no null array
    }
    void drawPerspTri(const float (&xy)[6], const float (&uv)[6], const float (&lightmapUv)[6],
                      const float (&depths)[3]) {
        byte(kDrawPerspTri);
        triangle(xy, kAsGiven);
        for (float value : uv) coordinate(value);
        for (float value : lightmapUv) coordinate(value);
        for (float value : depths) coordinate(value);
        byte(1), byte(1), byte(1), byte(1);
    }
    void flash(Call call, uint32_t colour) { byte(call), word(colour); }
    void changePalette(uint8_t index, uint32_t colour) { byte(kChangePalette), byte(index), word(colour); }

    bool save(const std::string& path) const {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        const bool written = std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
        return std::fclose(file) == 0 && written;
    }

private:
    void triangle(const float (&xy)[6], Shape shape) {
        for (float value : xy) coordinate(value);
        byte(shape);
    }
    std::vector<uint8_t> bytes_;
};

// Fixed pseudo-random values, so the seeds are the same on every run.
class Numbers {
public:
    float between(float low, float high) {
        state_ = state_ * 1664525u + 1013904223u;
        return low + (high - low) * static_cast<float>(state_ >> 16) / 65536.0f;
    }
    uint32_t word() { return state_ = state_ * 1664525u + 1013904223u; }

private:
    uint32_t state_ = 7;
};

struct Frame {
    int32_t width, height, padding;
    int32_t textureWidth, textureHeight, lightmapWidth, lightmapHeight;
    uint8_t mode;
};

// An ordinary frame: triangles, perspective triangles without and with a lightmap, a tile,
// the three flashes, a palette change, a collinear triangle, then draws after UNLOAD.
InputWriter ordinaryFrame(const Frame& f, uint8_t level, Numbers& n) {
    InputWriter in(level);
    const auto w = static_cast<float>(f.width), h = static_cast<float>(f.height);
    auto corners = [&](float(&xy)[6]) {
        for (int i = 0; i < 6; i += 2) xy[i] = n.between(-8, w + 8), xy[i + 1] = n.between(-8, h + 8);
    };
    auto spread = [&](float(&values)[6], float reach) {
        for (float& value : values) value = n.between(-reach, reach);
    };
    float xy[6], uv[6], lightmapUv[6];
    in.init(f.width, f.height, f.padding);
    in.byte(kBeginUpdate);
    in.setTexture(f.textureWidth, f.textureHeight, f.mode);
    for (int i = 0; i < 3; ++i) {
        corners(xy), spread(uv, 40);
        in.drawTri(xy, uv, {n.word(), n.word(), n.word()});
    }
    corners(xy), spread(uv, 40);
    in.drawPerspTri(xy, uv, {0, 0, 0, 0, 0, 0}, {n.between(0.5f, 4), n.between(0.5f, 4), n.between(0.5f, 4)});
    in.setLightmap(f.lightmapWidth, f.lightmapHeight);
    for (int i = 0; i < 2; ++i) {
        corners(xy), spread(uv, 40), spread(lightmapUv, 9);
        in.drawPerspTri(xy, uv, lightmapUv, {n.between(0.5f, 4), n.between(0.5f, 4), n.between(0.5f, 4)});
    }
    in.drawTile({n.between(-5, w), n.between(-5, h), n.between(1, 40), n.between(1, 40), n.between(-3, 3),
                 n.between(-3, 3), 16, 16},
                0xFFFFFFFFu);
    in.flash(kFlashAdd, 0x10203040u), in.flash(kFlashSub, 0x01020304u), in.flash(kFlashMod, 0x80808080u);
    in.byte(kEndUpdate);
    in.changePalette(7, 0x123456u);
    corners(xy), spread(uv, 40);
    in.drawTri(xy, uv, {n.word(), n.word(), n.word()}, kCollinear);
    in.byte(kUnload);
    corners(xy);
    in.drawTri(xy, {0, 0, 0, 0, 0, 0}, {0, 0, 0});
    in.drawTile({1, 1, 8, 8, 0, 0, 16, 16}, 0x808080u);
    return in;
}

// The slowest calls the limits allow: a tile whose walk crosses nearly 2^21 columns and rows,
// and both triangles reaching almost 2^20 pixels out on every side, in mode 6.
InputWriter farCalls(int32_t width, int32_t height, uint8_t level) {
    InputWriter in(level);
    const float far[6] = {-1040000, -1040000, 1040000, -1000, 0, 1040000};
    const float uv[6] = {0, 0, 9e5f, 0, 0, 9e5f};
    in.init(width, height);
    in.setTexture(256, 256, 6);
    in.setLightmap(64, 64);
    in.drawTile({-1048000, -1048000, 2096000, 2096000, 0, 0, 16, 16}, 0xFFFFFFu);
    in.drawTri(far, uv, {0xFFFFFFu, 0x808080u, 0x102030u});
    in.drawPerspTri(far, uv, {0, 0, 5e4f, 0, 0, 5e4f}, {1.0f, 0.001f, 30.0f});
    in.flash(kFlashAdd, 0x01010101u), in.flash(kFlashMod, 0x81818181u);
    return in;
}

// Sizes at the ends of the int32 range: an image, a texture and a lightmap of INT32_MAX by
// INT32_MAX (more than any host could hold, so passed with null addresses), then sizes whose
// products wrap 32 bits, with draws after each binding.
InputWriter hugeSizes() {
    InputWriter in(2);
    const float xy[6] = {-10, -10, 300, 20, 40, 200};
    const float uv[6] = {0, 0, 64, 0, 0, 64};
    const int32_t max = 2147483647;
    in.byte(kInit), in.size(max), in.size(max), in.byte(kPitchExact), in.byte(0);
    in.byte(kSetTexture), in.size(max), in.size(max), in.byte(1), in.block(1), in.byte(6);
    in.byte(kSetLightmap), in.size(max), in.size(max), in.byte(1);
    in.drawTri(xy, uv, {1, 2, 3});
    in.drawPerspTri(xy, uv, uv, {1, 2, 3});
    in.init(640, 480);
    in.byte(kSetTexture), in.size(65536), in.size(65536), in.byte(1), in.block(2), in.byte(0);
    in.drawTile({0, 0, 640, 480, 0, 0, 65536, 65536}, 0xFFFFFFu);
    in.setTexture(1 << 20, 1024, 2);
    in.setLightmap(1 << 16, 1 << 13);
    in.drawTri(xy, uv, {1, 2, 3});
    in.drawPerspTri(xy, uv, uv, {1, 2, 3});
    return in;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output-directory\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/seed-";
    Numbers n;
    bool ok = true;
    for (uint8_t mode = 0; mode < 8; ++mode)
        ok &= ordinaryFrame({64, 48, 0, 16, 16, 8, 8, mode}, mode % 3, n).save(dir + "mode" + std::to_string(mode));
    ok &= ordinaryFrame({37, 29, 3, 12, 10, 5, 3, 6}, 0, n).save(dir + "odd-pitch");
    ok &= ordinaryFrame({640, 480, 0, 256, 128, 64, 32, 0}, 2, n).save(dir + "640x480");
    ok &= ordinaryFrame({7, 300, 1, 16, 16, 8, 8, 2}, 1, n).save(dir + "tall");
    ok &= ordinaryFrame({1, 1, 0, 16, 16, 8, 8, 4}, 2, n).save(dir + "one-pixel");
    ok &= hugeSizes().save(dir + "huge-sizes");
    for (uint8_t level = 0; level < 3; ++level) {
        ok &= farCalls(640, 480, level).save(dir + "far-640x480-level" + std::to_string(level));
        ok &= farCalls(1, 640 * 480, level).save(dir + "far-1x307200-level" + std::to_string(level));
        ok &= farCalls(640 * 480, 1, level).save(dir + "far-307200x1-level" + std::to_string(level));
    }
    if (!ok) std::fprintf(stderr, "seeds: cannot write to %s\n", argv[1]);
    return ok ? 0 : 1;
}
