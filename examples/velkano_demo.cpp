// velkano_demo: a host program driving Velkano. It owns a 320 x 240 image with padded rows,
// paints a moving scene into it each frame, lets the library apply whole-image effects
// (fade in, hit flash, night tint, fade out) and saves every frame as a PNG.
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

// The host's own drawing: a dusk sky with a sinking sun, a checkerboard floor scrolling
// towards the viewer and a ball bouncing across it with its shadow.
void paintScene(Image& img, int frame) {
    for (int y = 0; y < kHorizon; ++y) {
        const double s = double(y) / kHorizon;
        const std::uint32_t c = rgb(20 + 230 * s, 40 + 130 * s, 110 - 20 * s);
        for (int x = 0; x < kWidth; ++x) img.at(x, y) = c;
    }
    fillEllipse(img, 60 + 8.0 * frame, 40 + 2.5 * frame, 18, 18, rgb(255, 230, 120));
    for (int y = kHorizon; y < kHeight; ++y) {
        const double depth = 3000.0 / (y - kHorizon + 1);
        const double fog = std::min(1.0, 12.0 / (y - kHorizon + 1));
        const long row = std::lround(std::floor((depth - 12.0 * frame) / 40.0));
        for (int x = 0; x < kWidth; ++x) {
            const long col = std::lround(std::floor((x - kWidth / 2) * depth / 200.0 / 40.0));
            const bool light = ((row + col) & 1) != 0;
            const double r = light ? 200 : 40, g = light ? 210 : 90, b = light ? 190 : 60;
            img.at(x, y) = rgb(r + (250 - r) * fog, g + (170 - g) * fog, b + (90 - b) * fog);
        }
    }
    const double bx = 40 + 10.0 * frame;
    const double by = 200 - 70 * std::fabs(std::sin(frame * 0.45));
    fillEllipse(img, bx, 212, 22, 6, rgb(20, 40, 30));
    fillEllipse(img, bx, by - 16, 16, 16, rgb(220, 40, 60));
    fillEllipse(img, bx - 5, by - 22, 4, 4, rgb(255, 200, 200));
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
    INIT(image.words.data(), kWidth, kHeight, kPitch);
    int frame = 0;
    for (const Segment& segment : kSegments) {
        for (int i = 0; i < segment.frames; ++i, ++frame) {
            BEGINUPDATE();
            paintScene(image, frame);
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
