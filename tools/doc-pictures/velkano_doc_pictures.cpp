// velkano_doc_pictures: draws the pictures of the API reference (docs/pictures/) with Velkano
// itself, calling the public C API as a host does, and checks that the committed pictures are
// still what the library draws. Each picture is a small scene, saved magnified (every pixel a
// square of scale x scale) so single pixels stay visible.
//
// Usage: velkano_doc_pictures --write DIR   draw every picture into DIR/<name>.png
//        velkano_doc_pictures --check DIR   draw every picture again and compare its pixels with
//            the decoded DIR/<name>.png; a picture that differs or is missing, or a PNG file in
//            DIR that no scene draws, is reported and the exit status is 1
//        velkano_doc_pictures --list        each file name with a line about its scene
#include "png_writer.h"
#include "velkano.h"

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A host image of 0xXXRRGGBB words without row padding.
struct Image {
    int width, height;
    std::vector<std::uint32_t> pixels;

    Image(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    std::uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void bind() { INIT(pixels.data(), width, height, width * 4); }  // fresh, zero-filled layers
};

// An 8-bit indexed texture with its palette of 0xXXBBGGRR entries (red in the low byte).
struct Texture {
    int width, height;
    std::vector<std::uint8_t> indices;
    std::vector<std::uint32_t> palette;

    void bind(int blendMode) const { SETTEXTURE(indices.data(), width, height, palette.data(), blendMode); }
};

template <typename IndexAt>
Texture makeTexture(int width, int height, std::vector<std::uint32_t> palette, IndexAt indexAt) {
    Texture texture{width, height, {}, std::move(palette)};
    for (int v = 0; v < height; ++v)
        for (int u = 0; u < width; ++u) texture.indices.push_back(static_cast<std::uint8_t>(indexAt(u, v)));
    return texture;
}

// 8 x 8: a dark border along column 0 and row 0, a white centre, a diamond ring of index 0
// (magenta, or a hole in tile mode 1) and a sky-blue fill in the corners.
const Texture kRing = makeTexture(8, 8, {0x00C030D0, 0x00A04020, 0x00F0C040, 0x00F0F0F0}, [](int u, int v) {
    const int d = std::abs(u - 4) + std::abs(v - 4);
    return u == 0 || v == 0 ? 1 : d <= 1 ? 3 : d <= 3 ? 0 : 2;
});

// 16 x 16: four courses of sandstone bricks, 8 texels long and offset by half a brick, with
// dark mortar (index 0).
const Texture kBricks = makeTexture(16, 16, {0x00404850, 0x00788898, 0x00707880, 0x008098A8}, [](int u, int v) {
    const int course = v / 4, shifted = u + course % 2 * 4;
    return v % 4 == 0 || shifted % 8 == 0 ? 0 : 1 + (shifted / 8 + course) % 3;
});

const Texture kRed = makeTexture(4, 4, {0x000000FF}, [](int, int) { return 0; });
const Texture kBlue = makeTexture(4, 4, {0x00FF7020, 0x00C04010}, [](int u, int v) { return (u + v) / 2 % 2; });

constexpr std::uint32_t kDarkCell = 0x484848, kNight = 0x181C24;

// Dark grey cells and light cells whose colour drifts with their place (red to the right,
// green downwards), so a pixel moved by displacement shows where it came from.
void checker(Image& image, int cell) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const auto red = static_cast<std::uint32_t>(0x50 + x / cell * cell * 0x70 / image.width),
                       green = static_cast<std::uint32_t>(0x50 + y / cell * cell * 0x70 / image.height);
            image.at(x, y) = (x / cell + y / cell) % 2 ? red << 16 | green << 8 | 0x90 : kDarkCell;
        }
}

void fill(Image& image, std::uint32_t colour) { std::fill(image.pixels.begin(), image.pixels.end(), colour); }

// The two images next to each other, with a gap of the given colour between them.
Image sideBySide(const Image& left, const Image& right, std::uint32_t gapColour) {
    constexpr int kGap = 2;
    Image both(left.width + kGap + right.width, std::max(left.height, right.height));
    fill(both, gapColour);
    for (int y = 0; y < left.height; ++y)
        for (int x = 0; x < left.width; ++x) both.at(x, y) = left.at(x, y);
    for (int y = 0; y < right.height; ++y)
        for (int x = 0; x < right.width; ++x) both.at(left.width + kGap + x, y) = right.at(x, y);
    return both;
}

// ---- flashes: four ramps 0..255 (grey, red, green, blue), before and after -----------------

Image flashScene(void(VELKANO_CALL* flash)(std::uint32_t), std::uint32_t colour) {
    Image image(64, 32);
    static const std::uint32_t kChannels[] = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.at(x, y) = static_cast<std::uint32_t>(x * 255 / 63) * 0x010101 & kChannels[y / 8];
    const Image before = image;
    image.bind();
    flash(colour);
    return sideBySide(before, image, 0x808080);
}

// ---- tiles ---------------------------------------------------------------------------------

constexpr float kTileX = 12, kTileY = 12, kTileSize = 32;
constexpr std::uint32_t kTileTint = 0xFFC080;

Image tileScene(int blendMode) {
    Image image(56, 56);
    checker(image, 4);
    image.bind();
    kRing.bind(blendMode);
    DRAWTILE(kTileX, kTileY, kTileSize, kTileSize, 0, 0, 8, 8, 0, 0, kTileTint);
    return image;
}

// Mode 0, with white brackets above and left of the tile from x to x + w and y to y + h.
Image drawTileScene() {
    Image image = tileScene(0);
    const int x0 = static_cast<int>(kTileX), x1 = x0 + static_cast<int>(kTileSize);
    const int y0 = static_cast<int>(kTileY), y1 = y0 + static_cast<int>(kTileSize);
    for (int i = x0; i <= x1; ++i) image.at(i, y0 - 4) = 0xFFFFFF;
    for (int i = y0; i <= y1; ++i) image.at(x0 - 4, i) = 0xFFFFFF;
    for (int tick = 1; tick <= 2; ++tick) {
        image.at(x0, y0 - 4 + tick) = image.at(x1, y0 - 4 + tick) = 0xFFFFFF;
        image.at(x0 - 4 + tick, y0) = image.at(x0 - 4 + tick, y1) = 0xFFFFFF;
    }
    return image;
}

// ---- affine triangles ----------------------------------------------------------------------

Image triangleScene(int blendMode, bool onChecker) {
    static const float kPositions[] = {6, 4, 90, 18, 28, 60};
    static const float kTexCoords[] = {0, 0, 40, 8, 8, 40};
    static const std::uint32_t kColours[] = {0x003030E0, 0x0030E030, 0x00E03030};  // red, green, blue light
    Image image(96, 64);
    if (onChecker) checker(image, 4);
    else fill(image, kNight);
    image.bind();
    kBricks.bind(blendMode);
    DRAWTRI(kPositions, kTexCoords, kColours);
    return image;
}

// ---- perspective triangles: a brick wall from depth 1 to depth 8 ----------------------------

// 32 x 16 lightmap words 0xXXRRGGBB: a dim, cool ambient light (0x40 would keep a texel) and a
// warm lamp near the front of the wall.
std::vector<std::uint32_t> lampLightmap() {
    std::vector<std::uint32_t> words;
    for (int v = 0; v < 16; ++v)
        for (int u = 0; u < 32; ++u) {
            const int glow = std::max(0, 0x50 - ((u - 6) * (u - 6) + (v - 6) * (v - 6)) * 5 / 4);
            words.push_back(static_cast<std::uint32_t>(std::min(255, 0x22 + glow * 3 / 2)) << 16 |
                            static_cast<std::uint32_t>(0x28 + glow) << 8 | static_cast<std::uint32_t>(0x34 + glow / 3));
        }
    return words;
}

Image perspectiveScene(bool lit) {
    // Screen x = 92 - 88 / z, y = 28 -+ 24 / z for the top and bottom edge of the wall.
    static const float kPositions[] = {4, 4, 4, 52, 81, 25, 81, 25, 4, 52, 81, 31};
    static const float kTexCoords[] = {0, 0, 0, 32, 112, 0, 112, 0, 0, 32, 112, 32};
    static const float kLightCoords[] = {0, 0, 0, 16, 28, 0, 28, 0, 0, 16, 28, 16};
    static const float kDepths[] = {1, 1, 8, 8, 1, 8};
    static const std::vector<std::uint32_t> kLightmap = lampLightmap();
    Image image(96, 72);
    fill(image, kNight);
    image.bind();
    kBricks.bind(0);
    if (lit) SETLIGHTMAP(kLightmap.data(), 32, 16);
    else SETLIGHTMAP(nullptr, 0, 0);
    for (int t = 0; t < 2; ++t)
        DRAWPERSPTRI(kPositions + 6 * t, kTexCoords + 6 * t, kLightCoords + 6 * t, kDepths + 3 * t);
    SETLIGHTMAP(nullptr, 0, 0);
    return image;
}

// ---- the scratch layers ----------------------------------------------------------------------

// Frame 1 draws a large red triangle. Frame 2 draws the background afresh and a blue triangle
// where the red one lay; its final pass covers a few pixels along the edges that its
// rasterisers did not write, and those take the red that frame 1 left in the layers.
Image scratchEdgesScene() {
    static const float kRedPositions[] = {1, 1, 46, 2, 2, 38}, kBluePositions[] = {7, 6, 35, 10, 10, 31};
    static const float kTexCoords[] = {0, 0, 16, 0, 0, 16};
    static const std::uint32_t kNeutral[] = {0x00808080, 0x00808080, 0x00808080};
    Image image(48, 40);
    checker(image, 4);
    image.bind();
    kRed.bind(0);
    DRAWTRI(kRedPositions, kTexCoords, kNeutral);
    const Image frame1 = image;
    checker(image, 4);
    kBlue.bind(0);
    DRAWTRI(kBluePositions, kTexCoords, kNeutral);
    int strays = 0;
    for (std::uint32_t p : image.pixels) strays += p >> 16 >= 0xC0 && (p >> 8 & 0xFF) < 0x40 && (p & 0xFF) < 0x40;
    if (strays == 0) throw std::runtime_error("scratch-edges.png: no red pixel from frame 1 shows in frame 2");
    return sideBySide(frame1, image, 0xFFFFFF);
}

// ---- the table -----------------------------------------------------------------------------

struct Scene {
    const char* file;
    const char* caption;
    Image (*draw)();
    int scale = 4;  // each pixel saved as a scale x scale square
};

const Scene kScenes[] = {
    {"flashadd.png",
     "FLASHADD(0x606060): four ramps 0..255 (grey, red, green, blue) before (left) and after (right); "
     "the bright ends saturate at 255",
     [] { return flashScene(FLASHADD, 0x606060); }},
    {"flashsub.png", "FLASHSUB(0x606060): the same ramps before and after; the dark ends clamp at 0",
     [] { return flashScene(FLASHSUB, 0x606060); }},
    {"flashmod.png",
     "FLASHMOD(0xC08040): the same ramps before and after; red x1.5 (saturating), green x1 "
     "(0x80 keeps), blue x0.5",
     [] { return flashScene(FLASHMOD, 0xC08040); }},
    {"drawtile.png",
     "DRAWTILE(12, 12, 32, 32, 0, 0, 8, 8, 0, 0, 0xFFC080): an 8x8 texture scaled 4x and tinted, "
     "mode 0; the white brackets run from x to x+w and y to y+h: both end columns and rows are "
     "drawn (33x33 pixels), the last ones with texel column and row 0 again",
     [] { return drawTileScene(); }},
    {"tile-mode-0.png", "the same tile in blend mode 0: replace (index 0 shows its magenta palette entry)",
     [] { return tileScene(0); }},
    {"tile-mode-1.png", "the same tile in blend mode 1: replace except index 0, the magenta ring becomes a hole",
     [] { return tileScene(1); }},
    {"tile-mode-2.png", "the same tile in blend mode 2: saturating add onto the checker", [] { return tileScene(2); }},
    {"tile-mode-3.png", "the same tile in blend mode 3: modulate, min(255, (target * colour) >> 7)",
     [] { return tileScene(3); }},
    {"drawtri.png",
     "DRAWTRI: a brick-textured triangle, mode 0, lit by vertex colours 0x3030E0 (red, top left), "
     "0x30E030 (green, right) and 0xE03030 (blue, bottom), colours 0x00BBGGRR where 0x80 keeps the texel; "
     "the dark specks along the left edges are the still empty scratch layers (see scratch-edges.png)",
     [] { return triangleScene(0, false); }},
    {"blend-mode-0.png", "the lit triangle in blend mode 0: replace", [] { return triangleScene(0, true); }},
    {"blend-mode-1.png", "the lit triangle in blend mode 1: for triangles the same as mode 0",
     [] { return triangleScene(1, true); }},
    {"blend-mode-2.png", "the lit triangle in blend mode 2: saturating add onto the checker",
     [] { return triangleScene(2, true); }},
    {"blend-mode-3.png", "the lit triangle in blend mode 3: modulate and double, min(255, 2 * min(255, (s * d) >> 7))",
     [] { return triangleScene(3, true); }},
    {"blend-mode-4.png", "the lit triangle in blend mode 4: multiply and double, min(255, 2 * ((s * d) >> 8))",
     [] { return triangleScene(4, true); }},
    {"blend-mode-5.png", "the lit triangle in blend mode 5: nothing is written, the checker stays",
     [] { return triangleScene(5, true); }},
    {"blend-mode-6.png",
     "the lit triangle in blend mode 6: displacement, each pixel takes the target pixel blue/4 columns "
     "right and green/4 rows down (wrapping round the image), blue and green of its lit texel",
     [] { return triangleScene(6, true); }},
    {"drawpersptri.png",
     "DRAWPERSPTRI: a brick wall of two triangles receding from depth 1 (left) to depth 8, "
     "lit by a 32x16 lightmap (words 0xXXRRGGBB, 0x40 keeps the texel) with a warm lamp; the fine dots "
     "in the light are its 2x2 pattern of sub-texel sample positions",
     [] { return perspectiveScene(true); }},
    {"persp-unlit.png", "the same wall with no lightmap bound (SETLIGHTMAP(NULL, 0, 0)): the texels as they are",
     [] { return perspectiveScene(false); }},
    {"scratch-edges.png",
     "the scratch layers: frame 1 (left) draws a red triangle; frame 2 (right) redraws the "
     "checker and draws a blue triangle, and red pixels that frame 1 left in the layers "
     "show along its left edges (frame 1 shows black there: the layers were still zero from INIT); "
     "magnified 8x",
     [] { return scratchEdgesScene(); }, 8},
};

// The picture as the 0x00RRGGBB words of the saved file: every pixel a scale x scale square.
Image magnified(const Image& small, int scale) {
    Image big(small.width * scale, small.height * scale);
    for (int y = 0; y < big.height; ++y)
        for (int x = 0; x < big.width; ++x) big.at(x, y) = small.at(x / scale, y / scale) & 0xFFFFFF;
    return big;
}

// Decodes a PNG file into 0x00RRGGBB words; false if it cannot be read.
bool readPng(const fs::path& path, Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.string().c_str())) return false;
    png.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    image = Image(static_cast<int>(png.width), static_cast<int>(png.height));
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint32_t>(rgb[3 * i]) << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
    return true;
}

// Compares one drawn picture with its file; prints what is wrong and returns false.
bool matches(const fs::path& path, const Image& drawn) {
    Image saved(0, 0);
    if (!fs::exists(path)) {
        std::printf("%s: missing\n", path.string().c_str());
        return false;
    }
    if (!readPng(path, saved)) {
        std::printf("%s: cannot be decoded\n", path.string().c_str());
        return false;
    }
    if (saved.width != drawn.width || saved.height != drawn.height) {
        std::printf("%s: %dx%d, drawn %dx%d\n", path.string().c_str(), saved.width, saved.height, drawn.width,
                    drawn.height);
        return false;
    }
    for (int y = 0; y < drawn.height; ++y)
        for (int x = 0; x < drawn.width; ++x)
            if (saved.at(x, y) != drawn.at(x, y)) {
                std::printf("%s: differs, first at (%d, %d): file %06X, drawn %06X\n", path.string().c_str(), x, y,
                            saved.at(x, y), drawn.at(x, y));
                return false;
            }
    return true;
}

int usage(const char* program) {
    std::fprintf(stderr, "usage: %s --write DIR | --check DIR | --list\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--list" && argc == 2) {
        for (const Scene& scene : kScenes) std::printf("%-18s %s\n", scene.file, scene.caption);
        return 0;
    }
    if ((mode != "--write" && mode != "--check") || argc != 3) return usage(argv[0]);
    const fs::path dir = argv[2];
    std::error_code ec;
    if (mode == "--write") fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        std::fprintf(stderr, "%s: not a directory\n", dir.string().c_str());
        return 1;
    }

    bool ok = true;
    std::set<std::string> drawnFiles;
    try {
        for (const Scene& scene : kScenes) {
            const Image picture = magnified(scene.draw(), scene.scale);
            const fs::path path = dir / scene.file;
            drawnFiles.insert(scene.file);
            if (mode == "--check") ok = matches(path, picture) && ok;
            else if (!velkano::tools::writePng(path.string(), picture.pixels.data(), picture.width, picture.height,
                                               picture.width * 4))
                ok = false;
        }
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        ok = false;
    }
    UNLOAD();
    if (mode == "--check")
        for (const fs::directory_entry& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".png" && !drawnFiles.count(entry.path().filename().string())) {
                std::printf("%s: not drawn by this program (stale?)\n", entry.path().string().c_str());
                ok = false;
            }
    if (mode == "--check" && ok) std::printf("%zu pictures match %s\n", drawnFiles.size(), dir.string().c_str());
    return ok ? 0 : 1;
}
