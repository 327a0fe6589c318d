// persp_bench.cpp: DRAWPERSPTRI beside Mesa's off-screen GL (OSMesa) drawing the same
// screen triangles; part of velkano_bench, whose main sets these benchmarks up and prints
// their ratios with the others.
//
// Both sides draw on a 640 x 480 image from a 64 x 64 texture (8-bit indices, 256-entry
// palette) lit by a 16 x 16 lightmap: DRAWPERSPTRI in mode 0; GL with the texture on unit 0
// and the lightmap on unit 1 (GL_MODULATE both), nearest texels, GL_REPEAT, and clip-space
// vertices (x_ndc * w, y_ndc * w, 0, w) with w the view depth, so that it interpolates
// perspective-correctly as DRAWPERSPTRI does. Every light lane lies in 24..63: DRAWPERSPTRI
// scales a texel by about l / 64, GL by l / 255, so GL's lightmap holds 4l and both draw the
// same picture, never white. Mesa runs single-threaded (LP_NUM_THREADS=0); each GL frame ends
// with glFinish, which also copies the frame into the caller's buffer.
//
// Two workloads, each a fixed list of screen triangles drawn by both sides:
// - room: a 6 x 3 x 20 corridor cut into unit squares, two triangles each, seen from inside;
//   each triangle is clipped in homogeneous space to the near plane and to the screen
//   (columns 0..640, rows 0..479), so the triangles tile the screen;
// - small: 4000 small 3D triangles at depths 2 to 20, each 20 to 200 pixels' area on screen.
// Pixels are counted per side as in the DRAWTRI benchmark: every triangle drawn alone over
// white, its changed pixels counted.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "velkano.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr size_t kPixels = size_t{kWidth} * kHeight;
constexpr int32_t kTextureSize = 64;
constexpr int32_t kLightmapSize = 16;
constexpr double kFocal = 320;  // pixels: a 90-degree horizontal field of view
constexpr double kNear = 0.05;
constexpr int64_t kSmallTriangles = 4000;

struct Vec3 {
    double x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(double k, Vec3 a) { return {k * a.x, k * a.y, k * a.z}; }
double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 unit(Vec3 a) { return (1 / std::sqrt(dot(a, a))) * a; }

// A vertex in homogeneous screen space: pixel x = X / W, y = Y / W, W the view depth. The
// attributes are linear in this space, so clipping here interpolates them perspective-correctly.
struct ClipVertex {
    double X, Y, W, u, v, lu, lv;
};

// A point in view space (x right, y up, z the depth ahead) with its texture and lightmap coordinates.
ClipVertex project(Vec3 p, double u, double v, double lu, double lv) {
    return {kFocal * p.x + kWidth / 2 * p.z, -kFocal * p.y + kHeight / 2 * p.z, p.z, u, v, lu, lv};
}

// a X + b Y + c W + d >= 0 inside: the near plane, then columns 0..640 and rows 0..479.
struct Plane {
    double a, b, c, d;
};
constexpr Plane kClipPlanes[] = {
    {0, 0, 1, -kNear}, {1, 0, 0, 0}, {-1, 0, kWidth, 0}, {0, 1, 0, 0}, {0, -1, kHeight - 1, 0}};
double distance(const Plane& plane, const ClipVertex& p) { return plane.a * p.X + plane.b * p.Y + plane.c * p.W + plane.d; }

// Sutherland-Hodgman, one plane after the other.
std::vector<ClipVertex> clipToScreen(std::vector<ClipVertex> polygon) {
    for (const Plane& plane : kClipPlanes) {
        std::vector<ClipVertex> kept;
        for (size_t i = 0; i < polygon.size(); ++i) {
            const ClipVertex &p = polygon[i], &q = polygon[(i + 1) % polygon.size()];
            const double dp = distance(plane, p), dq = distance(plane, q);
            if (dp >= 0) kept.push_back(p);
            if ((dp >= 0) == (dq >= 0)) continue;
            const double t = dp / (dp - dq);
            const auto mix = [t](double x, double y) { return x + (y - x) * t; };
            kept.push_back({mix(p.X, q.X), mix(p.Y, q.Y), mix(p.W, q.W), mix(p.u, q.u), mix(p.v, q.v), mix(p.lu, q.lu),
                            mix(p.lv, q.lv)});
        }
        polygon = std::move(kept);
    }
    return polygon;
}

// One triangle as DRAWPERSPTRI takes it, and its three vertices as GL takes them.
struct ScreenTriangle {
    float positions[6], texCoords[6], lightCoords[6], depths[3];
};
struct GlVertex {
    float clip[4], texture[2], light[2];
};

// The divisions' last-bit overshoot past the screen is clamped away.
ScreenTriangle toScreen(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
    ScreenTriangle t;
    const ClipVertex* corners[3] = {&a, &b, &c};
    for (int k = 0; k < 3; ++k) {
        const ClipVertex& p = *corners[k];
        t.positions[2 * k] = float(std::clamp(p.X / p.W, 0.0, double(kWidth)));
        t.positions[2 * k + 1] = float(std::clamp(p.Y / p.W, 0.0, double(kHeight - 1)));
        t.texCoords[2 * k] = float(p.u), t.texCoords[2 * k + 1] = float(p.v);
        t.lightCoords[2 * k] = float(p.lu), t.lightCoords[2 * k + 1] = float(p.lv);
        t.depths[k] = float(p.W);
    }
    return t;
}

double screenArea(const float* p) {
    return std::fabs((double(p[2]) - p[0]) * (double(p[5]) - p[1]) - (double(p[4]) - p[0]) * (double(p[3]) - p[1])) / 2;
}

struct Workload {
    std::vector<ScreenTriangle> triangles;
    GLuint vertexBuffer = 0;
    int64_t velkanoPixels = 0;  // per frame
    int64_t mesaPixels = 0;
};

uint64_t nextRandom(uint64_t& s) {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
}
double uniform(uint64_t& s, double lo, double hi) { return lo + (hi - lo) * double(nextRandom(s) >> 11) * 0x1p-53; }

// The corridor x -3..3, y 0..3 (floor to ceiling), z -2..18, seen from (-1, 1.6, 0) turned
// 20 degrees right and 5 down; the wall at z = -2 lies behind the eye. Each triangle is
// clipped and its remains cut into a fan. Texture 64 texels per unit; lightmap 2 texels per
// unit, repeating every 8 units.
Workload makeRoom() {
    struct Face {
        Vec3 origin, s, t;  // a corner and unit steps along the face
        int sCells, tCells;
    };
    constexpr Face kFaces[] = {
        {{-3, 0, -2}, {1, 0, 0}, {0, 0, 1}, 6, 20}, {{-3, 3, -2}, {1, 0, 0}, {0, 0, 1}, 6, 20},  // floor, ceiling
        {{-3, 0, -2}, {0, 1, 0}, {0, 0, 1}, 3, 20}, {{3, 0, -2}, {0, 1, 0}, {0, 0, 1}, 3, 20},   // side walls
        {{-3, 0, 18}, {1, 0, 0}, {0, 1, 0}, 6, 3},  {{-3, 0, -2}, {1, 0, 0}, {0, 1, 0}, 6, 3}};  // end walls
    const Vec3 eye{-1, 1.6, 0};
    const double yaw = 20 * std::numbers::pi / 180, pitch = 5 * std::numbers::pi / 180;
    const auto corner = [&](const Face& f, double s, double t) {
        const Vec3 p = f.origin + s * f.s + t * f.t - eye;
        const double x = std::cos(yaw) * p.x - std::sin(yaw) * p.z, z = std::sin(yaw) * p.x + std::cos(yaw) * p.z;
        const Vec3 view{x, std::cos(pitch) * p.y + std::sin(pitch) * z, std::cos(pitch) * z - std::sin(pitch) * p.y};
        return project(view, 64 * s, 64 * t, 0.5 + 2 * s, 0.5 + 2 * t);
    };
    Workload room;
    for (const Face& f : kFaces)
        for (int i = 0; i < f.sCells; ++i)
            for (int j = 0; j < f.tCells; ++j) {
                const ClipVertex a = corner(f, i, j), b = corner(f, i + 1, j), c = corner(f, i + 1, j + 1),
                                 d = corner(f, i, j + 1);
                for (const std::vector<ClipVertex>& polygon : {clipToScreen({a, b, c}), clipToScreen({a, c, d})})
                    for (size_t k = 2; k < polygon.size(); ++k) {
                        const ScreenTriangle t = toScreen(polygon[0], polygon[k - 1], polygon[k]);
                        if (screenArea(t.positions) > 0.01) room.triangles.push_back(t);
                    }
            }
    return room;
}

// Each triangle: three points within 10 pixels' reach of a centre at depth 2 to 20, their
// depths up to a quarter apart, kept when on screen, 20 to 200 pixels' area and no sliver.
// Textured in its own plane at 0.6 to 1 texel per pixel, the lightmap at 1/8 of that.
Workload makeSmall() {
    uint64_t s = 0xD1B54A32D192ED03ull;
    Workload small;
    while (static_cast<int64_t>(small.triangles.size()) < kSmallTriangles) {
        const double depth = uniform(s, 2, 20), cx = uniform(s, 16, kWidth - 16), cy = uniform(s, 16, kHeight - 17);
        const double perPixel = depth / kFocal;  // view-space units per pixel at the centre
        Vec3 p[3];
        for (Vec3& q : p)
            q = {(cx - kWidth / 2 + uniform(s, -10, 10)) * perPixel, (kHeight / 2 - cy + uniform(s, -10, 10)) * perPixel,
                 depth * (1 + uniform(s, -0.25, 0.25))};
        // The texture's axes: along the first edge, and across it in the triangle's plane.
        const Vec3 across = unit(cross(cross(p[1] - p[0], p[2] - p[0]), p[1] - p[0])), along = unit(p[1] - p[0]);
        const double texels = uniform(s, 0.6, 1.0) / perPixel;
        const double u0 = uniform(s, 0, 64), v0 = uniform(s, 0, 64), lu0 = uniform(s, 0, 16), lv0 = uniform(s, 0, 16);
        ClipVertex c[3];
        bool onScreen = true;
        for (int i = 0; i < 3; ++i) {
            const double u = texels * dot(p[i] - p[0], along), v = texels * dot(p[i] - p[0], across);
            c[i] = project(p[i], u0 + u, v0 + v, lu0 + u / 8, lv0 + v / 8);
            for (const Plane& plane : kClipPlanes) onScreen = onScreen && distance(plane, c[i]) >= 0;
        }
        const ScreenTriangle t = toScreen(c[0], c[1], c[2]);
        const float* q = t.positions;
        double longest = 0;
        for (int i = 0, j = 1; i < 3; ++i, j = (i + 1) % 3)
            longest = std::max(longest, std::hypot(double(q[2 * j]) - q[2 * i], double(q[2 * j + 1]) - q[2 * i + 1]));
        const double area = screenArea(q);
        if (onScreen && area >= 20 && area <= 200 && area >= 0.15 * longest * longest) small.triangles.push_back(t);
    }
    return small;
}

// What both sides draw with and into, and Mesa's context (made current on creation).
struct PerspectiveSetup {
    std::vector<uint8_t> indices = std::vector<uint8_t>(kTextureSize * kTextureSize);
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);                         // 0x00BBGGRR
    std::vector<uint32_t> lightmap = std::vector<uint32_t>(kLightmapSize * kLightmapSize);  // 0x00RRGGBB
    std::vector<uint32_t> velkanoImage = std::vector<uint32_t>(kPixels);
    std::vector<uint32_t> mesaImage = std::vector<uint32_t>(kPixels);
    OSMesaContext mesa = nullptr;  // owns the textures and vertex buffers
    std::string renderer;
    Workload room = makeRoom(), small = makeSmall();

    PerspectiveSetup();
    ~PerspectiveSetup() {
        if (mesa != nullptr) OSMesaDestroyContext(mesa);
    }
};
std::unique_ptr<PerspectiveSetup> gSetup;

// Nearest texels, repeating, modulating what the unit before it gives.
void uploadTexture(GLenum unit, GLuint name, int32_t size, const std::vector<uint32_t>& bgra) {
    glActiveTexture(unit);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_BGRA, GL_UNSIGNED_BYTE, bgra.data());
    for (GLenum parameter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER}) glTexParameteri(GL_TEXTURE_2D, parameter, GL_NEAREST);
    for (GLenum parameter : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) glTexParameteri(GL_TEXTURE_2D, parameter, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
}

GLuint uploadVertices(const Workload& w) {
    std::vector<GlVertex> vertices;
    for (const ScreenTriangle& t : w.triangles)
        for (int i = 0; i < 3; ++i) {
            const float x = t.positions[2 * i], y = t.positions[2 * i + 1], depth = t.depths[i];
            vertices.push_back({{(2 * x / kWidth - 1) * depth, (2 * y / kHeight - 1) * depth, 0, depth},
                                {t.texCoords[2 * i] / kTextureSize, t.texCoords[2 * i + 1] / kTextureSize},
                                {t.lightCoords[2 * i] / kLightmapSize, t.lightCoords[2 * i + 1] / kLightmapSize}});
        }
    GLuint name = 0;
    glGenBuffers(1, &name);
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(GlVertex)), vertices.data(), GL_STATIC_DRAW);
    return name;
}

PerspectiveSetup::PerspectiveSetup() {
    for (int i = 0; i < 256; ++i) {  // a ramp of hues, every channel in 1..191
        auto ch = [&](double phase) { return static_cast<uint32_t>(96 + 95 * std::sin(2 * std::numbers::pi * i / 256 + phase)); };
        palette[i] = ch(0) | ch(2.1) << 8 | ch(4.2) << 16;
    }
    for (int v = 0; v < kTextureSize; ++v)  // diagonal bands crossed by 8 x 8 checks
        for (int u = 0; u < kTextureSize; ++u) indices[v * kTextureSize + u] = uint8_t(3 * u + 5 * v + 64 * ((u ^ v) >> 3 & 1));
    for (int v = 0; v < kLightmapSize; ++v)  // soft pools of light, every lane in 24..63, repeating smoothly
        for (int u = 0; u < kLightmapSize; ++u) {
            auto lane = [&](double phase) {
                const double a = 2 * std::numbers::pi / kLightmapSize;
                return static_cast<uint32_t>(43.5 + 19.5 * std::sin(a * u + phase) * std::cos(a * v - phase));
            };
            lightmap[v * kLightmapSize + u] = lane(0) << 16 | lane(1) << 8 | lane(2);
        }

    setenv("LP_NUM_THREADS", "0", 1);  // llvmpipe rasterises on the calling thread
    mesa = OSMesaCreateContextExt(OSMESA_BGRA, 0, 0, 0, nullptr);
    if (mesa == nullptr || !OSMesaMakeCurrent(mesa, mesaImage.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) return;
    if (const GLubyte* name = glGetString(GL_RENDERER); name != nullptr) renderer = reinterpret_cast<const char*>(name);
    // Memory row r is window row r (OSMesa's default), so GL's window y is DRAWPERSPTRI's y.
    glViewport(0, 0, kWidth, kHeight);
    glDisable(GL_DITHER);
    glClearColor(1, 1, 1, 1);
    std::vector<uint32_t> texels(indices.size()), lights(lightmap.size());
    for (size_t i = 0; i < texels.size(); ++i) {
        const uint32_t c = palette[indices[i]];
        texels[i] = 0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
    }
    for (size_t i = 0; i < lights.size(); ++i) lights[i] = 0xFF000000u | 4 * lightmap[i];
    GLuint textures[2];
    glGenTextures(2, textures);
    uploadTexture(GL_TEXTURE0, textures[0], kTextureSize, texels);
    uploadTexture(GL_TEXTURE1, textures[1], kLightmapSize, lights);
    room.vertexBuffer = uploadVertices(room);
    small.vertexBuffer = uploadVertices(small);
    glEnableClientState(GL_VERTEX_ARRAY);
    for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE1}) glClientActiveTexture(unit), glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

void bindVelkano() {
    INIT(gSetup->velkanoImage.data(), kWidth, kHeight, 4 * kWidth);
    SETTEXTURE(gSetup->indices.data(), kTextureSize, kTextureSize, gSetup->palette.data(), 0);
    SETLIGHTMAP(gSetup->lightmap.data(), kLightmapSize, kLightmapSize);
}
void drawVelkano(const Workload& w, size_t first, size_t count) {
    for (size_t i = first; i < first + count; ++i) {
        const ScreenTriangle& t = w.triangles[i];
        DRAWPERSPTRI(t.positions, t.texCoords, t.lightCoords, t.depths);
    }
}
void bindMesa(const Workload& w) {
    glBindBuffer(GL_ARRAY_BUFFER, w.vertexBuffer);
    glVertexPointer(4, GL_FLOAT, sizeof(GlVertex), reinterpret_cast<const void*>(offsetof(GlVertex, clip)));
    glClientActiveTexture(GL_TEXTURE0);
    glTexCoordPointer(2, GL_FLOAT, sizeof(GlVertex), reinterpret_cast<const void*>(offsetof(GlVertex, texture)));
    glClientActiveTexture(GL_TEXTURE1);
    glTexCoordPointer(2, GL_FLOAT, sizeof(GlVertex), reinterpret_cast<const void*>(offsetof(GlVertex, light)));
}

bool isDrawn(uint32_t pixel) { return (pixel & 0xFFFFFFu) != 0xFFFFFFu; }

// Counts, for each side, the pixels every triangle changes when drawn alone over white, into
// the workload's per-frame totals, and checks that the two sides do the same work: the first
// triangle (over the whole image) changes pixels only near it, at least 80% of each side's
// pixels are changed by both; over all triangles the totals lie within 3% of each other and
// the mean red, green and blue where both draw within 5% (DRAWPERSPTRI's lightmap samples
// sit up to 3/4 texel from GL's, and its light scale is 1/64 where GL's is 4/255).
bool countPixels(Workload& w, const char* name) {
    std::vector<uint32_t>& velkanoImage = gSetup->velkanoImage;
    const std::vector<uint32_t>& mesaImage = gSetup->mesaImage;
    std::fill(velkanoImage.begin(), velkanoImage.end(), 0xFFFFFFFFu);
    bindVelkano();
    bindMesa(w);
    int64_t both = 0, velkanoSum[3] = {0, 0, 0}, mesaSum[3] = {0, 0, 0};
    for (size_t i = 0; i < w.triangles.size(); ++i) {
        drawVelkano(w, i, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDrawArrays(GL_TRIANGLES, GLint(3 * i), 3);
        glFinish();
        const float* p = w.triangles[i].positions;
        const float left = std::min({p[0], p[2], p[4]}) - 3, right = std::max({p[0], p[2], p[4]}) + 3;
        const float top = std::min({p[1], p[3], p[5]}) - 3, bottom = std::max({p[1], p[3], p[5]}) + 3;
        const int32_t x0 = i == 0 ? 0 : std::max(0, int32_t(left)), x1 = i == 0 ? kWidth : std::min(kWidth, int32_t(right) + 1);
        const int32_t y0 = i == 0 ? 0 : std::max(0, int32_t(top)), y1 = i == 0 ? kHeight : std::min(kHeight, int32_t(bottom) + 1);
        int64_t velkano = 0, mesa = 0, shared = 0, outside = 0;
        for (int32_t row = y0; row < y1; ++row)
            for (int32_t col = x0; col < x1; ++col) {
                const uint32_t v = velkanoImage[size_t(row) * kWidth + col], m = mesaImage[size_t(row) * kWidth + col];
                velkano += isDrawn(v), mesa += isDrawn(m);
                outside += (isDrawn(v) || isDrawn(m)) && (col < left || col > right || row < top || row > bottom);
                if (!isDrawn(v) || !isDrawn(m)) continue;
                ++shared;
                for (int c = 0; c < 3; ++c) velkanoSum[c] += v >> 8 * c & 0xFF, mesaSum[c] += m >> 8 * c & 0xFF;
            }
        for (int32_t row = y0; row < y1; ++row) std::fill_n(&velkanoImage[size_t(row) * kWidth + x0], x1 - x0, 0xFFFFFFFFu);
        if (i == 0 && (outside != 0 || shared * 5 < 4 * std::max(velkano, mesa))) {
            std::fprintf(stderr, "velkano_bench: %s, first triangle: DRAWPERSPTRI changes %lld pixels, GL %lld, both %lld, "
                         "%lld far from it\n", name, static_cast<long long>(velkano), static_cast<long long>(mesa),
                         static_cast<long long>(shared), static_cast<long long>(outside));
            return false;
        }
        w.velkanoPixels += velkano, w.mesaPixels += mesa, both += shared;
    }
    double velkanoMean[3], mesaMean[3];
    for (int c = 0; c < 3; ++c) velkanoMean[c] = double(velkanoSum[c]) / double(both), mesaMean[c] = double(mesaSum[c]) / double(both);
    std::fprintf(stderr, "velkano_bench: %s: %zu triangles; DRAWPERSPTRI changes %lld pixels, GL %lld; mean (r, g, b) where"
                 " both draw: DRAWPERSPTRI %.1f %.1f %.1f, GL %.1f %.1f %.1f\n", name, w.triangles.size(),
                 static_cast<long long>(w.velkanoPixels), static_cast<long long>(w.mesaPixels), velkanoMean[2],
                 velkanoMean[1], velkanoMean[0], mesaMean[2], mesaMean[1], mesaMean[0]);
    const auto within = [](double percent, double a, double b) { return std::fabs(a - b) * 100 <= percent * std::min(a, b); };
    for (int c = 0; c < 3; ++c)
        if (!within(5, velkanoMean[c], mesaMean[c])) return false;
    return within(3, double(w.velkanoPixels), double(w.mesaPixels));
}

// One frame per iteration, drawn over the last: every triangle is opaque, so the image
// the frame starts from makes no difference to either side.
void benchVelkano(benchmark::State& state, const Workload* w) {
    bindVelkano();
    for (auto _ : state) {
        drawVelkano(*w, 0, w->triangles.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * w->velkanoPixels);
}
void benchMesa(benchmark::State& state, const Workload* w) {
    bindMesa(*w);
    state.SetLabel(gSetup->renderer);
    for (auto _ : state) {
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(3 * w->triangles.size()));
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * w->mesaPixels);
}

}  // namespace

bool registerPerspectiveBenchmarks() {
    gSetup = std::make_unique<PerspectiveSetup>();
    if (gSetup->mesa == nullptr || gSetup->renderer.empty()) {
        std::fprintf(stderr, "velkano_bench: cannot set up OSMesa\n");
        return false;
    }
    std::fprintf(stderr, "velkano_bench: OSMesa renderer: %s\n", gSetup->renderer.c_str());
    benchmark::AddCustomContext("osmesa_renderer", gSetup->renderer);
    for (auto [name, workload] : {std::pair{"room", &gSetup->room}, std::pair{"small", &gSetup->small}}) {
        if (!countPixels(*workload, name)) {
            std::fprintf(stderr, "velkano_bench: DRAWPERSPTRI and GL draw different %s triangles; not comparing them\n", name);
            return false;
        }
        benchmark::RegisterBenchmark((std::string("DRAWPERSPTRI_") + name).c_str(), benchVelkano, workload)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("osmesa_") + name).c_str(), benchMesa, workload)->Unit(benchmark::kMillisecond);
    }
    return true;
}

void printPerspectiveRatios(const std::function<double(const std::string&)>& rate, FILE* out) {
    std::fprintf(out, "%-26s %15s   (%s, one thread)\n", "perspective, pixels/second", "vs OSMesa", gSetup->renderer.c_str());
    for (const std::string name : {"room", "small"}) {
        const double velkano = rate("DRAWPERSPTRI_" + name), mesa = rate("osmesa_" + name);
        char ratio[32] = "n/a";
        if (velkano > 0 && mesa > 0) std::snprintf(ratio, sizeof ratio, "%.2fx", velkano / mesa);
        std::fprintf(out, "%-26s %15s   (DRAWPERSPTRI %.0f, OSMesa %.0f Mpx/s)\n", ("DRAWPERSPTRI " + name).c_str(), ratio,
                     velkano / 1e6, mesa / 1e6);
    }
}
