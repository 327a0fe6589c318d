// footprint_test.cpp: the footprints --pixel reports, against what the linked library draws.
// Random tiles (quarter-pixel positions for the rounding ties, tiny and negative sizes, far and
// non-finite values) must change exactly their footprint, random triangles of both kinds only
// pixels inside their box, and the flashes exactly theirs, an odd last pixel included.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "footprint.h"
#include "velkano.h"

namespace velkano::replay {
namespace {

// X byte 0xAA and no zero byte: every tile and triangle pixel (X byte 0) and every flash
// below changes it.
constexpr uint32_t kBackground = 0xAA123456u;

class Image {
public:
    Image(int32_t width, int32_t height, int32_t pitchBytes)
        : words_((static_cast<size_t>(pitchBytes) * height + 3) / 4, kBackground) {
        geometry_.data = reinterpret_cast<uint8_t*>(words_.data());
        geometry_.width = width;
        geometry_.height = height;
        geometry_.pitch = pitchBytes;
        geometry_.sizeBytes = static_cast<size_t>(pitchBytes) * height;
        INIT(words_.data(), width, height, pitchBytes);
    }
    ~Image() { UNLOAD(); }
    void clear() { std::fill(words_.begin(), words_.end(), kBackground); }
    const TargetImage& geometry() const { return geometry_; }
    // Every drawable pixel: whether the call changed it, against whether `inside` holds it.
    template <class Inside>
    uint64_t expectChanges(Inside inside, bool exact, const std::string& what) {
        uint64_t changed = 0;
        for (int32_t y = 0; y < geometry_.height; ++y) {
            for (int32_t x = 0; x < drawableWidth(geometry_); ++x) {
                const bool differs = pixelAt(geometry_, geometry_.data, x, y) != kBackground;
                changed += differs;
                if (differs && !inside(x, y)) ADD_FAILURE() << what << ": changed (" << x << ", " << y << ") outside";
                if (exact && !differs && inside(x, y)) ADD_FAILURE() << what << ": left (" << x << ", " << y << ")";
            }
        }
        return changed;
    }

private:
    std::vector<uint32_t> words_;
    TargetImage geometry_;
};

struct Texture {
    uint8_t texels[8 * 8];
    uint32_t palette[256];
    explicit Texture(std::mt19937& random) {
        for (uint8_t& t : texels) t = static_cast<uint8_t>(random());
        for (uint32_t& p : palette) p = static_cast<uint32_t>(random());
        SETTEXTURE(texels, 8, 8, palette, 0);
        SETLIGHTMAP(nullptr, 0, 0);
    }
};

// A coordinate: mostly quarter pixels around and across the image, sometimes far or not finite.
float coordinate(std::mt19937& random, float low, float high) {
    static constexpr float kOdd[] = {std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity(),
                                     -1048576.5f,
                                     1048576.0f,
                                     1048577.0f,
                                     -1000.5f,
                                     -300.25f,
                                     200.75f,
                                     1070.25f,
                                     3000.75f,
                                     2.5f,
                                     -0.5f};
    if (random() % 16 == 0) return kOdd[random() % std::size(kOdd)];
    return std::floor(std::uniform_real_distribution<float>(low, high)(random) * 4) / 4;
}

TEST(Footprint, TilesChangeExactlyTheirArea) {
    std::mt19937 random(25);
    Image image(37, 29, 4 * 40);
    Texture texture(random);
    for (int i = 0; i < 3000; ++i) {
        const float x = coordinate(random, -20, 50), y = coordinate(random, -20, 40);
        // Sizes tiny enough that x + w rounds otherwise in float than in double, now and then.
        const float w = random() % 8 == 0 ? 1e-7f * (random() % 3) : coordinate(random, -4, 40);
        const float h = random() % 8 == 0 ? -1e-7f : coordinate(random, -4, 30);
        image.clear();
        DRAWTILE(x, y, w, h, 0, 0, 8, 8, 0, 0, static_cast<uint32_t>(random()));
        const PixelBox box = tileBox(x, y, w, h, 37, 29);
        image.expectChanges([&](int32_t px, int32_t py) { return box.contains(px, py); }, true,
                            "tile " + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(w) + ", " +
                                std::to_string(h));
    }
}

TEST(Footprint, TrianglesChangeOnlyPixelsInTheirBox) {
    std::mt19937 random(26);
    Image image(37, 29, 4 * 40);
    Texture texture(random);
    uint64_t changed = 0;
    for (int i = 0; i < 3000; ++i) {
        float positions[6], texCoords[6], depths[3];
        uint32_t colours[3];
        for (int k = 0; k < 6; k += 2) {
            positions[k] = coordinate(random, -15, 50);
            positions[k + 1] = coordinate(random, -15, 45);
            texCoords[k] = coordinate(random, -8, 8);
            texCoords[k + 1] = coordinate(random, -8, 8);
            depths[k / 2] = std::uniform_real_distribution<float>(0.5f, 4)(random);
            colours[k / 2] = static_cast<uint32_t>(random());
        }
        image.clear();
        if (i % 2 == 0) DRAWTRI(positions, texCoords, colours);
        else DRAWPERSPTRI(positions, texCoords, nullptr, depths);
        const PixelBox box = triangleBox(positions, 37, 29);
        changed += image.expectChanges([&](int32_t px, int32_t py) { return box.contains(px, py); }, false,
                                       std::string(i % 2 == 0 ? "DRAWTRI " : "DRAWPERSPTRI ") + std::to_string(i) +
                                           " " + std::to_string(positions[0]) + "," + std::to_string(positions[1]) +
                                           " " + std::to_string(positions[2]) + "," + std::to_string(positions[3]) +
                                           " " + std::to_string(positions[4]) + "," + std::to_string(positions[5]));
    }
    EXPECT_GT(changed, 100000u);  // the triangles drew: the check above had something to check
}

TEST(Footprint, FlashesChangeExactlyTheirArea) {
    // 5 x 3 words with no padding leaves an odd last pixel to FLASHADD and FLASHSUB; a pitch of
    // 22 bytes leaves two padding bytes per row.
    const struct { int32_t width, height, pitch; } images[] = {{5, 3, 20}, {4, 3, 16}, {5, 3, 22}, {7, 2, 24}};
    for (const auto& size : images) {
        Image image(size.width, size.height, size.pitch);
        for (trace::EntryPoint entry :
             {trace::EntryPoint::FlashAdd, trace::EntryPoint::FlashSub, trace::EntryPoint::FlashMod}) {
            image.clear();
            if (entry == trace::EntryPoint::FlashAdd) FLASHADD(0x01010101u);
            if (entry == trace::EntryPoint::FlashSub) FLASHSUB(0x01010101u);
            if (entry == trace::EntryPoint::FlashMod) FLASHMOD(0x40404040u);
            const Footprint f = flashFootprint(entry, image.geometry());
            image.expectChanges([&](int32_t x, int32_t y) { return f.contains(x, y); }, true,
                                std::string(trace::signature(entry).name) + " on " + std::to_string(size.width) +
                                    " x " + std::to_string(size.height) + ", pitch " + std::to_string(size.pitch));
        }
    }
}

}  // namespace
}  // namespace velkano::replay
