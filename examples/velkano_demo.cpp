// velkano_demo: a host program driving Velkano. It owns a 320 x 240 image with padded rows and
// paints a sky into it each frame; the library draws a scrolling tiled ground and tinted
// sprites over it in several blend modes, a spinning crate of lit textured triangles in the
// sky and a heat shimmer over the horizon, then applies whole-image effects (fade in, hit
// flash, night tint, fade out). Every frame is saved as a PNG.
//
// Usage: velkano_demo [output-dir]   (default: demo-frames)
#include "png_writer.h"
#include "velkano.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numbers>
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

// Wooden crate sides: a dark frame, boards with grain and gaps, one diagonal brace.
IndexedTexture makeCrate() {
    IndexedTexture t(64);
    for (int i = 0; i < 256; ++i) t.palette[i] = paletteEntry(40 + 0.75 * i, 26 + 0.52 * i, 12 + 0.28 * i);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int grain = (x * 7 + (y % 14) * 29 + (x * y) % 11) % 24;
            std::uint8_t index = static_cast<std::uint8_t>(130 + grain);  // board
            if (y % 14 == 0) index = 60;                                   // gap between boards
            if (std::abs(x - y) < 5) index = static_cast<std::uint8_t>(175 + grain);
            if (x < 5 || y < 5 || x > 58 || y > 58) index = static_cast<std::uint8_t>(x == 0 || y == 0 ? 20 : 90 + grain);
            t.indices[static_cast<size_t>(y) * 64 + x] = index;
        }
    return t;
}

// Displacement offsets for blend mode 6, which reads blue / 4 pixels to the right and
// green / 4 rows down of the lit texel. Index i holds blue 0..23 and green 13..0; lit at
// 200 (the band's middle) they move a pixel by up to 8 columns and 5 rows, and less where
// the band's light falls off. The index pattern is a wavy interference of two ripples.
IndexedTexture makeShimmer() {
    IndexedTexture t(32);
    for (int i = 0; i < 256; ++i) t.palette[i] = paletteEntry(0, 13.0 * (255 - i) / 255, 23.0 * i / 255);
    const double tau = 2 * std::numbers::pi;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const double wave = std::sin(tau * (y / 16.0 + 0.3 * std::sin(tau * x / 32))) + std::sin(tau * (x + y) / 32);
            t.indices[static_cast<size_t>(y) * 32 + x] = static_cast<std::uint8_t>(std::lround(127.5 + 63.5 * wave));
        }
    return t;
}

// A light word for DRAWTRI: red in byte 0; 128 leaves a texel as it is, 255 nearly doubles it.
std::uint32_t lightWord(double r, double g, double b) {
    auto c = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0) + 0.5); };
    return c(r) | c(g) << 8 | c(b) << 16;
}

struct Vec3 {
    double x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalised(Vec3 a) {
    const double n = std::sqrt(dot(a, a));
    return {a.x / n, a.y / n, a.z / n};
}

// The crate: a cube turning about two axes, seen from a camera at the origin looking
// along +z (x right, y down, as on screen). Each face is two DRAWTRI triangles; faces turned
// away are culled by their winding on screen and the rest drawn far to near. Every corner is
// lit on its own (diffuse, from the direction of a warm point light near the crate, plus a
// little cool sky light), so the light shades smoothly across each face: 128 keeps the
// texture's own colours, the brightest corners come out nearly twice as bright.
void drawCrate(const IndexedTexture& crate, int frame) {
    constexpr double kDistance = 4.2, kFocal = 96;
    constexpr double kCentreX = 256, kCentreY = 54;
    // Each face's corners a, b, c, d go round it so that (b - a) x (c - a) points out of the
    // cube; projected (y down), a face towards the camera then winds negatively on screen.
    static constexpr std::array<std::array<int, 3>, 8> kCorners = {{
        {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}};
    static constexpr std::array<std::array<int, 4>, 6> kFaces = {{
        {3, 2, 1, 0}, {6, 7, 4, 5}, {7, 3, 0, 4}, {2, 6, 5, 1}, {0, 1, 5, 4}, {7, 6, 2, 3}}};
    static constexpr float kFaceTexels[8] = {0, 0, 64, 0, 64, 64, 0, 64};

    const double yaw = 0.26 * frame + 0.4, pitch = 0.17 * frame + 0.5;
    const auto turn = [&](Vec3 p) {
        const Vec3 q{p.x * std::cos(yaw) + p.z * std::sin(yaw), p.y, -p.x * std::sin(yaw) + p.z * std::cos(yaw)};
        return Vec3{q.x, q.y * std::cos(pitch) - q.z * std::sin(pitch), q.y * std::sin(pitch) + q.z * std::cos(pitch)};
    };
    std::array<Vec3, 8> corner;
    std::array<float, 16> screen;
    for (size_t i = 0; i < corner.size(); ++i) {
        const Vec3 p = turn({double(kCorners[i][0]), double(kCorners[i][1]), double(kCorners[i][2])});
        corner[i] = {p.x, p.y, p.z + kDistance};
        screen[2 * i] = static_cast<float>(kCentreX + kFocal * corner[i].x / corner[i].z);
        screen[2 * i + 1] = static_cast<float>(kCentreY + kFocal * corner[i].y / corner[i].z);
    }
    // The light swings from side to side in front of the crate, a little above it.
    const double swing = 0.35 * frame;
    const Vec3 light{3.2 * std::cos(swing), -1.8 + 0.6 * std::sin(1.3 * swing), kDistance - 2.8};

    struct VisibleFace {
        double depth;
        int face;
    };
    std::vector<VisibleFace> visible;
    for (int f = 0; f < 6; ++f) {
        const auto& q = kFaces[f];
        const float* a = &screen[2 * q[0]];
        const float* b = &screen[2 * q[1]];
        const float* c = &screen[2 * q[2]];
        const double winding = double(b[0] - a[0]) * (c[1] - a[1]) - double(b[1] - a[1]) * (c[0] - a[0]);
        if (winding >= 0) continue;  // turned away (or edge-on)
        double depth = 0;
        for (int k : q) depth += corner[k].z;
        visible.push_back({depth, f});
    }
    std::sort(visible.begin(), visible.end(), [](const VisibleFace& l, const VisibleFace& r) { return l.depth > r.depth; });

    crate.bind(0);
    for (const VisibleFace& v : visible) {
        const auto& q = kFaces[v.face];
        const Vec3 normal = normalised(cross(corner[q[1]] - corner[q[0]], corner[q[3]] - corner[q[0]]));
        float positions[8], texels[8];
        std::uint32_t lights[4];
        for (int k = 0; k < 4; ++k) {
            positions[2 * k] = screen[2 * q[k]], positions[2 * k + 1] = screen[2 * q[k] + 1];
            texels[2 * k] = kFaceTexels[2 * k], texels[2 * k + 1] = kFaceTexels[2 * k + 1];
            const double diffuse = std::max(0.0, dot(normal, normalised(light - corner[q[k]])));
            lights[k] = lightWord(40 + 230 * diffuse, 44 + 200 * diffuse, 60 + 150 * diffuse);
        }
        for (const std::array<int, 3>& tri : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
            float p[6], t[6];
            std::uint32_t l[3];
            for (int k = 0; k < 3; ++k) {
                p[2 * k] = positions[2 * tri[k]], p[2 * k + 1] = positions[2 * tri[k] + 1];
                t[2 * k] = texels[2 * tri[k]], t[2 * k + 1] = texels[2 * tri[k] + 1];
                l[k] = lights[tri[k]];
            }
            DRAWTRI(p, t, l);
        }
    }
}

// Heat shimmer along the horizon: a band of triangles in blend mode 6 over rows 100 to 140.
// Its light is 200 along the middle row and falls to 0 (no displacement) on the band's
// edges, so the shimmer fades out smoothly; the texture scrolls so the ripples drift.
void drawShimmer(const IndexedTexture& shimmer, int frame) {
    constexpr int kColumns = 8;
    constexpr float kTop = 100, kRowHeight = 20, kColumnWidth = kWidth / float(kColumns);
    shimmer.bind(6);
    const auto vertex = [&](int column, int row, float* p, float* t, std::uint32_t* l) {
        p[0] = column * kColumnWidth, p[1] = kTop + row * kRowHeight;
        t[0] = p[0] * 0.5f + 1.5f * frame, t[1] = p[1] * 0.75f - 2.0f * frame;
        const bool inside = row == 1 && column > 0 && column < kColumns;
        *l = inside ? lightWord(200, 200, 200) : 0;
    };
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < kColumns; ++column) {
            float p[8], t[8];
            std::uint32_t l[4];
            vertex(column, row, p, t, l);
            vertex(column + 1, row, p + 2, t + 2, l + 1);
            vertex(column + 1, row + 1, p + 4, t + 4, l + 2);
            vertex(column, row + 1, p + 6, t + 6, l + 3);
            const float p2[6] = {p[0], p[1], p[4], p[5], p[6], p[7]}, t2[6] = {t[0], t[1], t[4], t[5], t[6], t[7]};
            const std::uint32_t l2[3] = {l[0], l[2], l[3]};
            DRAWTRI(p, t, l);
            DRAWTRI(p2, t2, l2);
        }
}

struct Sprites {
    IndexedTexture stones = makeStones();
    IndexedTexture crate = makeCrate();
    IndexedTexture shimmer = makeShimmer();
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
// repeats the stone texture and scrolls, then the sprites and the crate over it, and last
// the shimmer, which moves what is already there.
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
    drawCrate(sprites.crate, frame);
    drawShimmer(sprites.shimmer, frame);
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
