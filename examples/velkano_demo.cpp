// velkano_demo: a host program driving Velkano. It owns a 320 x 240 image with padded rows and
// paints a sky into it each frame; the library draws a scrolling tiled ground and tinted
// sprites over it in several blend modes, then applies whole-image effects (fade in, hit
// flash, night tint, fade out). Every frame is saved as a PNG.
//
// Usage: velkano_demo [output-dir]   (default: demo-frames)
#include "png_writer.h"
#include "velkano.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kPitch = 1312;  // 328 words per row: 8 words of padding the host never shows
constexpr int kHorizon = kHeight / 2;

struct Image {
    std::vector<std::uint32_t> words = std::vector<std::uint32_t>(kPitch / 4 * kHeight);
    std::uint32_t& at(int x, int y) { return words[static_cast<size_t>(y) * (kPitch / 4) + x]; }
};

std::uint32_t rgb(double r, double g, double b) {
    auto c = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0) + 0.5); };
    return c(r) << 16 | c(g) << 8 | c(b);
}
std::uint32_t grey(int level) { return rgb(level, level, level); }

void fillEllipse(Image& img, double cx, double cy, double rx, double ry, std::uint32_t colour) {
    for (int y = std::max(0, int(cy - ry)); y <= std::min(kHeight - 1, int(cy + ry)); ++y)
        for (int x = std::max(0, int(cx - rx)); x <= std::min(kWidth - 1, int(cx + rx)); ++x) {
            const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
            if (dx * dx + dy * dy <= 1.0) img.at(x, y) = colour;
        }
}

// An 8-bit indexed texture with its 256-entry palette (red in the lowest byte of an entry).
struct IndexedTexture {
    int size;
    std::vector<std::uint8_t> indices;
    std::vector<std::uint32_t> palette = std::vector<std::uint32_t>(256);
    explicit IndexedTexture(int n) : size(n), indices(static_cast<size_t>(n) * n) {}
    void bind(int blendMode) const { SETTEXTURE(indices.data(), size, size, palette.data(), blendMode); }
};

std::uint32_t paletteEntry(double r, double g, double b) {  // red in byte 0
    const std::uint32_t pixel = rgb(r, g, b);
    return (pixel >> 16 & 0xFF) | (pixel & 0xFF00) | (pixel & 0xFF) << 16;
}

// Stone blocks in staggered rows, for the scrolling ground.
IndexedTexture makeStones() {
    IndexedTexture t(32);
    for (int i = 0; i < 256; ++i) t.palette[i] = paletteEntry(90 + i / 2.0, 80 + i / 2.5, 60 + i / 4.0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int shifted = (x + (y / 16 % 2) * 8) % 16;
            const bool mortar = y % 16 == 0 || shifted == 0;
            const int grain = (x * 37 + y * 91 + x * y) % 40;
            t.indices[static_cast<size_t>(y) * 32 + x] = static_cast<std::uint8_t>(mortar ? 10 : 120 + grain + 2 * (y % 16));
        }
    return t;
}

// A round 16 x 16 sprite: `shade` gives the palette index for a point at distance d (0 at
// the centre, 1 at the rim); index 0 outside the disc.
template <typename Shade>
IndexedTexture makeDisc(Shade shade) {
    IndexedTexture t(16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const double dx = (x - 7.5) / 8, dy = (y - 7.5) / 8, d = std::sqrt(dx * dx + dy * dy);
            t.indices[static_cast<size_t>(y) * 16 + x] = d < 1.0 ? shade(d, dx, dy) : 0;
        }
    return t;
}

struct Sprites {
    IndexedTexture stones = makeStones();
    // Lit from the top left; drawn with mode 1, so index 0 shows the scene behind.
    IndexedTexture ball = makeDisc([](double, double dx, double dy) {
        return static_cast<std::uint8_t>(1 + std::clamp(200 - 120 * (dx + dy), 1.0, 254.0));
    });
    // Bright in the middle, fading out; added with mode 2.
    IndexedTexture glow = makeDisc([](double d, double, double) { return static_cast<std::uint8_t>(255 * (1 - d)); });
    // Modulated with mode 3: entry 129 (128 after the white tint) keeps the ground as it is.
    IndexedTexture shadow = makeDisc([](double d, double, double) { return static_cast<std::uint8_t>(d < 0.7 ? 1 : 2); });
    Sprites() {
        for (int i = 0; i < 256; ++i) {
            ball.palette[i] = paletteEntry(i, i * 0.6, i * 0.5);
            glow.palette[i] = paletteEntry(i, i * 0.9, i * 0.5);
        }
        shadow.palette[0] = shadow.palette[2] = paletteEntry(129, 129, 129);
        shadow.palette[1] = paletteEntry(60, 60, 70);
    }
};

// The host paints the sky itself; the library draws the ground as one large tile that
// repeats the stone texture and scrolls, then the sprites over it.
void paintScene(Image& img, const Sprites& sprites, int frame) {
    for (int y = 0; y < kHorizon; ++y) {
        const double s = double(y) / kHorizon;
        const std::uint32_t c = rgb(20 + 230 * s, 40 + 130 * s, 110 - 20 * s);
        for (int x = 0; x < kWidth; ++x) img.at(x, y) = c;
    }
    fillEllipse(img, 60 + 8.0 * frame, 40 + 2.5 * frame, 18, 18, rgb(255, 230, 120));

    // Ground: columns 0 to 319, rows 120 to 239, two texels per pixel, scrolling left.
    sprites.stones.bind(0);
    DRAWTILE(0, kHorizon, kWidth - 1, kHeight - kHorizon - 1, 6.0f * frame, 0, kWidth / 2.0f, (kHeight - kHorizon) / 2.0f, 0, 0, 0x00FFFFFF);
    // Sun glow over the sky, added.
    sprites.glow.bind(2);
    DRAWTILE(60 + 8.0f * frame - 40, 40 + 2.5f * frame - 40, 80, 80, 0, 0, 16, 16, 0, 0, 0x00806040);
    // The ball's shadow darkens the ground; the ball, tinted by a colour that cycles, covers it.
    const float bx = 40 + 10.0f * frame;
    const float by = 200 - 70 * static_cast<float>(std::fabs(std::sin(frame * 0.45)));
    sprites.shadow.bind(3);
    DRAWTILE(bx - 22, 206, 44, 12, 0, 0, 16, 16, 0, 0, 0x00FFFFFF);
    sprites.ball.bind(1);
    const std::uint32_t tint = frame % 8 < 4 ? 0x00FFD0D0 : 0x00D0FFD0;
    DRAWTILE(bx - 16, by - 32, 32, 32, 0, 0, 16, 16, 0, 0, tint);
    // Sparks trailing the ball, added with a fading warm tint; early on they start off-image.
    sprites.glow.bind(2);
    for (int i = 1; i <= 4; ++i)
        DRAWTILE(bx - 24.0f * i, by - 24 + 6.0f * i, 12, 12, 0, 0, 16, 16, 0, 0, 0x00FFC080 - 0x00201000u * i);
}

// A run of frames sharing one effect; t goes from just above 0 to 1 across the run.
struct Segment {
    const char* name;
    int frames;
    void (*effect)(double t);
};

constexpr std::uint32_t kNight = 0x00606080;  // FLASHMOD: red and green at 3/4, blue kept

const Segment kSegments[] = {
    {"fade in", 6, [](double t) { FLASHMOD(grey(int(std::lround(128 * t)))); }},
    {"daylight", 3, [](double) {}},
    {"hit", 4, [](double t) { FLASHADD(rgb(224 * (1.0 - t) + 56, 0, 0)); }},
    {"dusk", 4, [](double t) {
         const double rg = 128 - 32 * t;
         FLASHMOD(rgb(rg, rg, 128));
     }},
    {"night", 3, [](double) { FLASHMOD(kNight); }},
    {"fade out", 4, [](double t) {
         FLASHMOD(kNight);
         FLASHADD(grey(int(std::lround(255 * t * t))));  // eases in, ends white
     }},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [output-dir]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path outDir = argc > 1 ? argv[1] : "demo-frames";
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", outDir.string().c_str(), ec.message().c_str());
        return 1;
    }

    Image image;
    const Sprites sprites;
    INIT(image.words.data(), kWidth, kHeight, kPitch);
    int frame = 0;
    for (const Segment& segment : kSegments) {
        for (int i = 0; i < segment.frames; ++i, ++frame) {
            BEGINUPDATE();
            paintScene(image, sprites, frame);
            segment.effect(double(i + 1) / segment.frames);
            ENDUPDATE();

            char name[32];
            std::snprintf(name, sizeof name, "frame_%02d.png", frame);
            const std::string path = (outDir / name).string();
            if (!demo::writePng(path, image.words.data(), kWidth, kHeight, kPitch)) {
                UNLOAD();
                return 1;
            }
            std::printf("%s\n", path.c_str());
        }
    }
    UNLOAD();
    return 0;
}
