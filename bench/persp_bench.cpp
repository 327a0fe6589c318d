// persp_bench: DRAWPERSPTRI beside Mesa's off-screen GL (OSMesa) drawing the same screen
// triangles, the room, small, tiny and dots workloads of persp_scene.h.
//
// Both sides draw on the 640 x 480 image from the banded 64 x 64 texture (hue palette) lit
// by the 16 x 16 pool lightmap: DRAWPERSPTRI in mode 0; GL with the texture on unit 0 and
// the lightmap on unit 1 (GL_MODULATE both), nearest texels, GL_REPEAT, and clip-space
// vertices (x_ndc * w, y_ndc * w, 0, w) with w the view depth, so that it interpolates
// perspective-correctly as DRAWPERSPTRI does. Every light lane lies in 24..63: DRAWPERSPTRI
// scales a texel by about l / 64, GL by l / 255, so GL's lightmap holds 4l and both draw the
// same picture, never white. Mesa runs single-threaded (LP_NUM_THREADS=0); each GL frame ends
// with glFinish, which also copies the frame into the caller's buffer.
//
// Pixels are counted per side as in tri_bench: every triangle drawn alone over white, its
// changed pixels counted. The dots (about a pixel each) are counted in triangles instead: at
// that size the two fill rules decide different pixels, and what is measured is the call.
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
#include <string>
#include <vector>

#include "support/persp_scene.h"
#include "support/scene.h"
#include "support/side_by_side.h"
#include "velkano.h"

namespace {

using namespace velkano::bench;

constexpr size_t kPixels = size_t{kImageWidth} * kImageHeight;

// One triangle's vertex as GL takes it.
struct GlVertex {
    float clip[4], texture[2], light[2];
};

struct Workload {
    const char* name;
    std::vector<ScreenTriangle> triangles;
    bool perTriangle = false;  // rates in triangles, not pixels: the sides' pixels are not compared
    GLuint vertexBuffer = 0;
    int64_t velkanoPixels = 0;  // per frame
    int64_t mesaPixels = 0;
};

// What both sides draw with and into, and Mesa's context (made current on creation).
struct PerspectiveSetup {
    std::vector<uint8_t> indices = bandedTexture();
    std::vector<uint32_t> palette = huePalette();     // 0x00BBGGRR
    std::vector<uint32_t> lightmap = poolLightmap();  // 0x00RRGGBB
    std::vector<uint32_t> velkanoImage = std::vector<uint32_t>(kPixels);
    std::vector<uint32_t> mesaImage = std::vector<uint32_t>(kPixels);
    OSMesaContext mesa = nullptr;  // owns the textures and vertex buffers
    std::string renderer;
    Workload room{"room", makeRoom()}, small{"small", makeSmall()}, tiny{"tiny", makeTiny()},
        dots{"dots", makeDots(), true};

    PerspectiveSetup();
    ~PerspectiveSetup() {
        if (mesa != nullptr) OSMesaDestroyContext(mesa);
    }
    PerspectiveSetup(const PerspectiveSetup&) = delete;
    PerspectiveSetup& operator=(const PerspectiveSetup&) = delete;

    void bindVelkano() {
        INIT(velkanoImage.data(), kImageWidth, kImageHeight, kImagePitch);
        SETTEXTURE(indices.data(), kTextureSize, kTextureSize, palette.data(), 0);
        SETLIGHTMAP(lightmap.data(), kLightmapSize, kLightmapSize);
    }
};

// Nearest texels, repeating, modulating what the unit before it gives.
void uploadTexture(GLenum unit, GLuint name, int32_t size, const std::vector<uint32_t>& bgra) {
    glActiveTexture(unit);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_BGRA, GL_UNSIGNED_BYTE, bgra.data());
    for (GLenum parameter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER})
        glTexParameteri(GL_TEXTURE_2D, parameter, GL_NEAREST);
    for (GLenum parameter : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
        glTexParameteri(GL_TEXTURE_2D, parameter, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
}

GLuint uploadVertices(const Workload& w) {
    std::vector<GlVertex> vertices;
    for (const ScreenTriangle& t : w.triangles)
        for (int i = 0; i < 3; ++i) {
            const float x = t.positions[2 * i], y = t.positions[2 * i + 1], depth = t.depths[i];
            vertices.push_back({{(2 * x / kImageWidth - 1) * depth, (2 * y / kImageHeight - 1) * depth, 0, depth},
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
    setenv("LP_NUM_THREADS", "0", 1);  // llvmpipe rasterises on the calling thread
    mesa = OSMesaCreateContextExt(OSMESA_BGRA, 0, 0, 0, nullptr);
    if (mesa == nullptr || !OSMesaMakeCurrent(mesa, mesaImage.data(), GL_UNSIGNED_BYTE, kImageWidth, kImageHeight))
        return;
    if (const GLubyte* name = glGetString(GL_RENDERER); name != nullptr) renderer = reinterpret_cast<const char*>(name);
    // Memory row r is window row r (OSMesa's default), so GL's window y is DRAWPERSPTRI's y.
    glViewport(0, 0, kImageWidth, kImageHeight);
    glDisable(GL_DITHER);
    glClearColor(1, 1, 1, 1);
    std::vector<uint32_t> texels(indices.size()), lights(lightmap.size());
    for (size_t i = 0; i < texels.size(); ++i) texels[i] = argbTexel(palette[indices[i]]);
    for (size_t i = 0; i < lights.size(); ++i) lights[i] = 0xFF000000u | 4 * lightmap[i];
    GLuint textures[2];
    glGenTextures(2, textures);
    uploadTexture(GL_TEXTURE0, textures[0], kTextureSize, texels);
    uploadTexture(GL_TEXTURE1, textures[1], kLightmapSize, lights);
    for (Workload* w : {&room, &small, &tiny, &dots}) w->vertexBuffer = uploadVertices(*w);
    glEnableClientState(GL_VERTEX_ARRAY);
    for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE1})
        glClientActiveTexture(unit), glEnableClientState(GL_TEXTURE_COORD_ARRAY);
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

// Counts, for each side, the pixels every triangle changes when drawn alone over white, into
// the workload's per-frame totals, and checks that the two sides do the same work: the first
// triangle (over the whole image) changes pixels only near it, at least 80% of each side's
// pixels are changed by both (if it has 100 or more); over all triangles the totals lie within 3% of each other and
// the mean red, green and blue where both draw within 5% (DRAWPERSPTRI's lightmap samples
// sit up to 3/4 texel from GL's, and its light scale is 1/64 where GL's is 4/255).
bool countPixels(PerspectiveSetup& setup, Workload& w) {
    std::vector<uint32_t>& velkanoImage = setup.velkanoImage;
    const std::vector<uint32_t>& mesaImage = setup.mesaImage;
    std::fill(velkanoImage.begin(), velkanoImage.end(), 0xFFFFFFFFu);
    setup.bindVelkano();
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
        const int32_t x0 = i == 0 ? 0 : std::max(0, int32_t(left));
        const int32_t x1 = i == 0 ? kImageWidth : std::min(kImageWidth, int32_t(right) + 1);
        const int32_t y0 = i == 0 ? 0 : std::max(0, int32_t(top));
        const int32_t y1 = i == 0 ? kImageHeight : std::min(kImageHeight, int32_t(bottom) + 1);
        int64_t velkano = 0, mesa = 0, shared = 0, outside = 0;
        for (int32_t row = y0; row < y1; ++row)
            for (int32_t col = x0; col < x1; ++col) {
                const uint32_t v = velkanoImage[size_t(row) * kImageWidth + col];
                const uint32_t m = mesaImage[size_t(row) * kImageWidth + col];
                velkano += isDrawn(v), mesa += isDrawn(m);
                outside += (isDrawn(v) || isDrawn(m)) && (col < left || col > right || row < top || row > bottom);
                if (!isDrawn(v) || !isDrawn(m)) continue;
                ++shared;
                for (int c = 0; c < 3; ++c) velkanoSum[c] += v >> 8 * c & 0xFF, mesaSum[c] += m >> 8 * c & 0xFF;
            }
        for (int32_t row = y0; row < y1; ++row)
            std::fill_n(&velkanoImage[size_t(row) * kImageWidth + x0], x1 - x0, 0xFFFFFFFFu);
        // Whether a triangle of a few pixels shares 80% of them says nothing about its place.
        const bool placeable = std::max(velkano, mesa) >= 100;
        if (i == 0 && (outside != 0 || (placeable && shared * 5 < 4 * std::max(velkano, mesa)))) {
            std::fprintf(stderr,
                         "velkano_bench_persp: %s, first triangle: DRAWPERSPTRI changes %lld pixels, GL %lld, "
                         "both %lld, %lld far from it\n",
                         w.name, static_cast<long long>(velkano), static_cast<long long>(mesa),
                         static_cast<long long>(shared), static_cast<long long>(outside));
            return false;
        }
        w.velkanoPixels += velkano, w.mesaPixels += mesa, both += shared;
    }
    double velkanoMean[3], mesaMean[3];
    for (int c = 0; c < 3; ++c)
        velkanoMean[c] = double(velkanoSum[c]) / double(both), mesaMean[c] = double(mesaSum[c]) / double(both);
    std::fprintf(stderr,
                 "velkano_bench_persp: %s: %zu triangles; DRAWPERSPTRI changes %lld pixels, GL %lld; mean "
                 "(r, g, b) where both draw: DRAWPERSPTRI %.1f %.1f %.1f, GL %.1f %.1f %.1f\n",
                 w.name, w.triangles.size(), static_cast<long long>(w.velkanoPixels),
                 static_cast<long long>(w.mesaPixels), velkanoMean[2], velkanoMean[1], velkanoMean[0], mesaMean[2],
                 mesaMean[1], mesaMean[0]);
    const auto within = [](double percent, double a, double b) {
        return std::fabs(a - b) * 100 <= percent * std::min(a, b);
    };
    for (int c = 0; c < 3; ++c)
        if (!within(5, velkanoMean[c], mesaMean[c])) return false;
    return within(3, double(w.velkanoPixels), double(w.mesaPixels));
}

}  // namespace

int main(int argc, char** argv) {
    SideBySide table("velkano_bench_persp", argc, argv);
    if (!table.initialised()) return 1;

    PerspectiveSetup setup;
    if (setup.mesa == nullptr || setup.renderer.empty()) return table.refuse("cannot set up OSMesa");
    std::fprintf(stderr, "velkano_bench_persp: OSMesa renderer: %s\n", setup.renderer.c_str());
    benchmark::AddCustomContext("osmesa_renderer", setup.renderer);
    table.note("OSMesa: " + setup.renderer + ", one thread");
    for (Workload* w : {&setup.room, &setup.small, &setup.tiny, &setup.dots}) {
        if (w->perTriangle) {
            w->velkanoPixels = w->mesaPixels = static_cast<int64_t>(w->triangles.size());
        } else if (!countPixels(setup, *w))
            return table.refuse(std::string("DRAWPERSPTRI and GL draw different ") + w->name +
                                " triangles; not comparing them");
        const std::string name = w->name;
        // One frame per iteration, drawn over the last: every triangle is opaque, so the image
        // the frame starts from makes no difference to either side.
        benchmark::RegisterBenchmark(("DRAWPERSPTRI_" + name).c_str(), [&setup, w](benchmark::State& state) {
            setup.bindVelkano();
            for (auto _ : state) {
                drawVelkano(*w, 0, w->triangles.size());
                benchmark::ClobberMemory();
            }
            state.SetItemsProcessed(state.iterations() * w->velkanoPixels);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("osmesa_" + name).c_str(), [&setup, w](benchmark::State& state) {
            bindMesa(*w);
            state.SetLabel(setup.renderer);
            for (auto _ : state) {
                glDrawArrays(GL_TRIANGLES, 0, GLsizei(3 * w->triangles.size()));
                glFinish();
            }
            state.SetItemsProcessed(state.iterations() * w->mesaPixels);
        })->Unit(benchmark::kMillisecond);
        table.compare("DRAWPERSPTRI " + name + " vs OSMesa", "DRAWPERSPTRI_" + name, "osmesa_" + name,
                      w->perTriangle ? "triangles" : "pixels");
    }

    const int status = table.run();
    UNLOAD();
    return status;
}
