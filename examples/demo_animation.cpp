// demo_animation.cpp: the demo's frames: the corridor (demo_room.cpp), then the crate, its
// shadow, the heat shimmer, lamp glows, sparks and the HUD, then the frame's whole-image
// effect, every call made through the host's table of entry points.
#include "demo_animation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace demo {
namespace {

constexpr int kHudTop = 216;  // the HUD panel covers rows 216 to 239
constexpr int kMaxHealth = 5;

// A round 16 x 16 sprite: `shade` gives the palette index for a point at distance d (0 at
// the centre, 1 at the rim); index 0 outside the disc.
template <typename Shade>
IndexedTexture makeDisc(Shade shade) {
    IndexedTexture t(16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const double dx = (x - 7.5) / 8, dy = (y - 7.5) / 8, d = std::sqrt(dx * dx + dy * dy);
            t.at(x, y) = d < 1.0 ? shade(d, dx, dy) : 0;
        }
    return t;
}

// The disc sprites' shades. The pip is lit from the top left; the glow is bright in the middle,
// fading out; the shadow's inner disc takes entry 1, its rim entry 2.
std::uint8_t pipShade(double, double dx, double dy) {
    return static_cast<std::uint8_t>(1 + std::clamp(200 - 120 * (dx + dy), 1.0, 254.0));
}
std::uint8_t glowShade(double d, double, double) { return static_cast<std::uint8_t>(255 * (1 - d)); }
std::uint8_t shadowShade(double d, double, double) { return static_cast<std::uint8_t>(d < 0.6 ? 1 : 2); }

// Wooden crate sides: a dark frame, boards with grain and gaps, one diagonal brace.
IndexedTexture makeCrate() {
    IndexedTexture t(64);
    for (int i = 0; i < 256; ++i) t.palette[i] = colourWord(40 + 0.75 * i, 26 + 0.52 * i, 12 + 0.28 * i);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int grain = (x * 7 + (y % 14) * 29 + (x * y) % 11) % 24;
            std::uint8_t index = static_cast<std::uint8_t>(130 + grain);  // board
            if (y % 14 == 0) index = 60;                                  // gap between boards
            if (std::abs(x - y) < 5) index = static_cast<std::uint8_t>(175 + grain);
            if (x < 5 || y < 5 || x > 58 || y > 58)
                index = static_cast<std::uint8_t>(x == 0 || y == 0 ? 20 : 90 + grain);
            t.at(x, y) = index;
        }
    return t;
}

// Displacement offsets for blend mode 6, which reads blue / 4 pixels to the right and
// green / 4 rows down of the lit texel. Index i holds blue 0..23 and green 13..0; lit at
// 200 (the band's middle) they move a pixel by up to 8 columns and 5 rows, and less where
// the light falls off. The index pattern is a wavy interference of two ripples.
IndexedTexture makeShimmer() {
    IndexedTexture t(32);
    for (int i = 0; i < 256; ++i) t.palette[i] = colourWord(0, 13.0 * (255 - i) / 255, 23.0 * i / 255);
    const double tau = 2 * std::numbers::pi;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const double wave =
                std::sin(tau * (y / 16.0 + 0.3 * std::sin(tau * x / 32))) + std::sin(tau * (x + y) / 32);
            t.at(x, y) = static_cast<std::uint8_t>(std::lround(127.5 + 63.5 * wave));
        }
    return t;
}

// The HUD panel: brushed steel with a rivet near each corner of its 32 x 32 texels.
IndexedTexture makePanel() {
    IndexedTexture t(32);
    for (int i = 0; i < 256; ++i) t.palette[i] = colourWord(30 + 0.5 * i, 34 + 0.5 * i, 42 + 0.55 * i);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool rivet = (x % 29 - 2) * (x % 29 - 2) + (y % 29 - 2) * (y % 29 - 2) <= 1;
            t.at(x, y) = static_cast<std::uint8_t>(rivet    ? 230
                                                   : y == 0 ? 200
                                                            : 90 + (x * 13 + y * 3) % 17 + 2 * (y % 4));
        }
    return t;
}

// The camera walks down the corridor, swaying, turning its head and bobbing a little.
Camera cameraAt(int frame) {
    return {{0.45 * std::sin(0.27 * frame), -0.15 + 0.06 * std::sin(0.9 * frame), 0.6 + 0.62 * frame},
            0.32 * std::sin(0.22 * frame + 0.5),
            0.04 * std::sin(0.45 * frame)};
}

// The crate floats ahead of the camera, a little nearer each frame; its path keeps it whole
// inside the image's rows, since DRAWTRI squeezes triangles reaching beyond them.
constexpr double kCrateHalfSize = 0.5;
Vec3 crateCentre(int frame) {
    return {0.4 * std::sin(0.2 * frame), 0.3 + 0.1 * std::sin(0.5 * frame),
            cameraAt(frame).position.z + 5.4 - 0.06 * frame};
}

// The crate: a cube turning about two axes, in world space. Each face is two DRAWTRI
// triangles; faces turned away are culled by their winding on screen and the rest drawn
// far to near. Every corner is lit on its own by the corridor's lamps (diffuse, the same
// falloff as the lightmaps) plus a little ambient light, so the light shades smoothly
// across each face: 128 keeps the texture's colours, the brightest corners nearly double them.
void drawCrate(const DemoApi& api, const IndexedTexture& crate, const Camera& camera, const std::vector<Lamp>& lamps,
               int frame) {
    // Each face's corners a, b, c, d go round it so that (b - a) x (c - a) points out of the
    // cube; projected (y down), a face towards the camera then winds negatively on screen.
    static constexpr std::array<std::array<int, 3>, 8> kCorners = {
        {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}};
    static constexpr std::array<std::array<int, 4>, 6> kFaces = {
        {{3, 2, 1, 0}, {6, 7, 4, 5}, {7, 3, 0, 4}, {2, 6, 5, 1}, {0, 1, 5, 4}, {7, 6, 2, 3}}};
    static constexpr double kFaceTexels[8] = {0, 0, 64, 0, 64, 64, 0, 64};

    const double yaw = 0.26 * frame + 0.4, pitch = 0.17 * frame + 0.5;
    const auto turn = [&](Vec3 p) {
        const Vec3 q{p.x * std::cos(yaw) + p.z * std::sin(yaw), p.y, -p.x * std::sin(yaw) + p.z * std::cos(yaw)};
        return Vec3{q.x, q.y * std::cos(pitch) - q.z * std::sin(pitch), q.y * std::sin(pitch) + q.z * std::cos(pitch)};
    };
    std::array<Vec3, 8> world, view;
    std::array<double, 16> screen;
    for (size_t i = 0; i < world.size(); ++i) {
        world[i] = crateCentre(frame) +
                   kCrateHalfSize * turn({double(kCorners[i][0]), double(kCorners[i][1]), double(kCorners[i][2])});
        view[i] = camera.toView(world[i]);
        screen[2 * i] = Camera::screenX(view[i]);
        screen[2 * i + 1] = Camera::screenY(view[i]);
    }

    struct VisibleFace {
        double depth;
        int face;
    };
    std::vector<VisibleFace> visible;
    for (int f = 0; f < 6; ++f) {
        const auto& q = kFaces[f];
        const double* a = &screen[2 * q[0]];
        const double* b = &screen[2 * q[1]];
        const double* c = &screen[2 * q[2]];
        const double winding = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
        if (winding >= 0) continue;  // turned away (or edge-on)
        double depth = 0;
        for (int k : q) depth += view[k].z;
        visible.push_back({depth, f});
    }
    std::sort(visible.begin(), visible.end(),
              [](const VisibleFace& l, const VisibleFace& r) { return l.depth > r.depth; });

    crate.bind(api, 0);
    for (const VisibleFace& v : visible) {
        const auto& q = kFaces[v.face];
        const Vec3 normal = normalised(cross(world[q[1]] - world[q[0]], world[q[3]] - world[q[0]]));
        std::array<Vec3, 4> lights;  // red, green, blue of each corner's light word
        for (int k = 0; k < 4; ++k) {
            Vec3 light{0.35, 0.35, 0.4};
            for (const Lamp& lamp : lamps) {
                const Vec3 toLamp = lamp.position - world[q[k]];
                const double distance2 = dot(toLamp, toLamp);
                const double cosine = std::max(0.0, dot(normal, toLamp) / std::sqrt(distance2));
                light = light + (3 * cosine / (0.3 + distance2)) * lamp.colour;
            }
            lights[k] = 128 * light;
        }
        // Texels and light are linear on screen in DRAWTRI, so the grown corners take their
        // weights of both.
        for (const std::array<int, 3>& tri : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
            double p[6];
            for (int k = 0; k < 3; ++k) p[2 * k] = screen[2 * q[tri[k]]], p[2 * k + 1] = screen[2 * q[tri[k]] + 1];
            const GrownTriangle grown = growTriangle(p);
            float positions[6], texels[6];
            std::uint32_t colours[3];
            for (int k = 0; k < 3; ++k) {
                double u = 0, v = 0;
                Vec3 light{0, 0, 0};
                for (int j = 0; j < 3; ++j) {
                    const double w = grown.weights[k][j];
                    u += w * kFaceTexels[2 * tri[j]], v += w * kFaceTexels[2 * tri[j] + 1];
                    light = light + w * lights[tri[j]];
                }
                positions[2 * k] = static_cast<float>(grown.positions[2 * k]);
                positions[2 * k + 1] = static_cast<float>(grown.positions[2 * k + 1]);
                texels[2 * k] = static_cast<float>(u), texels[2 * k + 1] = static_cast<float>(v);
                colours[k] = colourWord(light.x, light.y, light.z);
            }
            api.drawTri(positions, texels, colours);
        }
    }
}

// The crate's shadow on the floor below it: an ellipse modulated into the floor (mode 3),
// flattened and scaled by the floor point's depth.
void drawCrateShadow(const DemoApi& api, const IndexedTexture& shadow, const Camera& camera, int frame) {
    const Vec3 centre = crateCentre(frame);
    const Vec3 below = camera.toView({centre.x, Room::kFloor, centre.z});
    if (below.z < 0.5) return;
    const double width = 1.6 * kCrateHalfSize * Camera::kFocal / below.z, height = 0.35 * width;
    shadow.bind(api, 3);
    api.drawTile(static_cast<float>(Camera::screenX(below) - width / 2),
                 static_cast<float>(Camera::screenY(below) - height / 2), static_cast<float>(width),
                 static_cast<float>(height), 0, 0, 16, 16, 0, 0, 0x00FFFFFF);
}

// A glow added (mode 2) round every lamp in front of the camera, sized by its depth and
// tinted by its colour and power.
void drawLampGlows(const DemoApi& api, const IndexedTexture& glow, const Camera& camera,
                   const std::vector<Lamp>& lamps) {
    glow.bind(api, 2);
    for (const Lamp& lamp : lamps) {
        const Vec3 v = camera.toView(lamp.position);
        if (v.z < 0.3) continue;
        const double size = 0.9 * Camera::kFocal / v.z;
        const std::uint32_t tint = rgb(200 * lamp.colour.x, 200 * lamp.colour.y, 200 * lamp.colour.z);
        api.drawTile(static_cast<float>(Camera::screenX(v) - size / 2),
                     static_cast<float>(Camera::screenY(v) - size / 2), static_cast<float>(size),
                     static_cast<float>(size), 0, 0, 16, 16, 0, 0, tint);
    }
}

// Heat shimmer over the furnace door: a grid of 4 x 2 quads in blend mode 6 over the door
// and the air above it. Its light is 200 along the middle row and falls to 0 (no
// displacement) on the grid's edges, so the shimmer fades out smoothly; the texture scrolls
// so the ripples drift upwards.
void drawShimmer(const DemoApi& api, const IndexedTexture& shimmer, const Camera& camera, int frame) {
    double left = kWidth, right = 0, top = kHeight, bottom = 0;
    for (const Vec3& corner : Room::furnaceCorners()) {
        const Vec3 v = camera.toView(corner);
        left = std::min(left, Camera::screenX(v)), right = std::max(right, Camera::screenX(v));
        top = std::min(top, Camera::screenY(v)), bottom = std::max(bottom, Camera::screenY(v));
    }
    constexpr int kColumns = 4;
    const double margin = 0.25 * (right - left);
    left -= margin, right += margin, top -= 2 * margin;
    shimmer.bind(api, 6);
    const auto vertex = [&](int column, int row, float* p, float* t, std::uint32_t* l) {
        p[0] = static_cast<float>(left + column * (right - left) / kColumns);
        p[1] = static_cast<float>(top + row * (bottom - top) / 2);
        t[0] = p[0] * 0.75f + 1.5f * frame, t[1] = p[1] * 0.75f + 3.0f * frame;
        const bool inside = row == 1 && column > 0 && column < kColumns;
        *l = inside ? colourWord(200, 200, 200) : 0;
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
            api.drawTri(p, t, l);
            api.drawTri(p2, t2, l2);
        }
}

// The HUD: a steel panel along the bottom (mode 0) with the health pips (mode 1, lost ones
// dimmed), a bar showing how far down the corridor the camera is (added, mode 2), and a
// crosshair of two glows added in the middle of the view.
void drawHud(const DemoApi& api, const Textures& textures, int health, double progress) {
    textures.panel.bind(api, 0);
    api.drawTile(0, kHudTop, kWidth - 1, kHeight - 1 - kHudTop, 0, 0, kWidth / 2.0f, (kHeight - kHudTop) / 2.0f, 0, 0,
                 0x00FFFFFF);
    textures.pip.bind(api, 1);
    for (int i = 0; i < kMaxHealth; ++i)
        api.drawTile(8.0f + 20 * i, kHudTop + 4.0f, 16, 16, 0, 0, 16, 16, 0, 0, i < health ? 0x00FF5040 : 0x00404048);
    textures.glow.bind(api, 2);
    api.drawTile(130, kHudTop + 8.0f, static_cast<float>(180 * progress), 8, 0, 0, 16, 16, 0, 0, 0x0060C0FF);
    api.drawTile(kWidth / 2.0f - 8, kHudTop / 2.0f - 2, 16, 4, 0, 0, 16, 16, 0, 0, 0x00C0FFC0);
    api.drawTile(kWidth / 2.0f - 2, kHudTop / 2.0f - 8, 4, 16, 0, 0, 16, 16, 0, 0, 0x00C0FFC0);
}

// Sparks flying out from the middle of the view when the camera is hit; `age` runs from
// just above 0 to 1 over the hit.
void drawSparks(const DemoApi& api, const IndexedTexture& glow, double age) {
    glow.bind(api, 2);
    for (int i = 0; i < 8; ++i) {
        const double angle = 2 * std::numbers::pi * (i + 0.3) / 8, reach = 30 + 140 * age, size = 24 * (1.2 - age);
        api.drawTile(static_cast<float>(kWidth / 2.0 + reach * std::cos(angle) - size / 2),
                     static_cast<float>(kHudTop / 2.0 + reach * std::sin(angle) - size / 2), static_cast<float>(size),
                     static_cast<float>(size), 0, 0, 16, 16, 0, 0, 0x00FFB060);
    }
}

// A run of frames sharing one mood. t goes from just above 0 to 1 across the run; lampPower
// drives the flickering lamps, flash applies the whole-image effect after drawing.
struct Segment {
    const char* name;
    int frames;
    bool hit;  // the camera takes a hit: sparks, and a health pip is lost
    double (*lampPower)(double t);
    void (*flash)(const DemoApi& api, double t);
};

double steady(double) { return 1; }
void noFlash(const DemoApi&, double) {}

const Segment kSegments[] = {
    {"fade in", 5, false, steady, [](const DemoApi& api, double t) { api.flashMod(grey(std::lround(128 * t))); }},
    {"walk", 4, false, steady, noFlash},
    {"hit", 4, true, steady, [](const DemoApi& api, double t) { api.flashAdd(rgb(200 * (1.0 - t) + 40, 0, 0)); }},
    {"brownout", 4, false, [](double t) { return 0.5 + 0.45 * std::cos(3 * std::numbers::pi * t); },
     [](const DemoApi& api, double) { api.flashSub(rgb(40, 36, 20)); }},
    {"walk", 3, false, steady, noFlash},
    {"fade out", 4, false, steady, [](const DemoApi& api, double t) { api.flashSub(grey(std::lround(255 * t * t))); }},
};

}  // namespace

Textures::Textures()
    : crate(makeCrate()), shimmer(makeShimmer()), panel(makePanel()), pip(makeDisc(pipShade)),
      glow(makeDisc(glowShade)), shadow(makeDisc(shadowShade)) {
    for (int i = 0; i < 256; ++i) {
        pip.palette[i] = colourWord(i, i, i);
        glow.palette[i] = colourWord(i, i, i);
    }
    shadow.palette[0] = shadow.palette[2] = colourWord(128, 128, 128);
    shadow.palette[1] = colourWord(70, 70, 76);
}

int Animation::frameCount() {
    int frames = 0;
    for (const Segment& segment : kSegments) frames += segment.frames;
    return frames;
}

void Animation::drawFrame(int frame, Image& image) {
    // The frame's segment, first frame `first`; each hit up to it has cost a health pip.
    const Segment* segment = nullptr;
    int first = 0, health = kMaxHealth;
    for (const Segment& s : kSegments) {
        if (s.hit) --health;
        if (frame >= first && frame < first + s.frames) {
            segment = &s;
            break;
        }
        first += s.frames;
    }
    if (!segment) return;

    const double t = double(frame - first + 1) / segment->frames;
    const Camera camera = cameraAt(frame);
    api_.beginUpdate();
    // The library covers every pixel; black shows through wherever it would not.
    std::fill(image.words.begin(), image.words.end(), 0);
    room_.draw(api_, camera, segment->lampPower(t));
    const std::vector<Lamp> lamps = room_.lamps();
    drawCrateShadow(api_, textures_.shadow, camera, frame);
    drawLampGlows(api_, textures_.glow, camera, lamps);
    drawCrate(api_, textures_.crate, camera, lamps, frame);
    drawShimmer(api_, textures_.shimmer, camera, frame);
    if (segment->hit) drawSparks(api_, textures_.glow, t);
    drawHud(api_, textures_, health, camera.position.z / Room::kLength);
    segment->flash(api_, t);
    api_.endUpdate();
}

}  // namespace demo
