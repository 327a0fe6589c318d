/* host_affine.c: DRAWTRI through the host's table: flat and patterned textures in every
 * mode, clipped, covering no pixel, refused, after UNLOAD and many times in a row, on a
 * 41 x 31 image with padded rows. */
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "host_scenario.h"

enum { kTriTexWidth = 32, kTriTexHeight = 16 };
static uint8_t triTexels[kTriTexWidth * kTriTexHeight];
static uint32_t triPalette[256];
static uint32_t flatPalette[256]; /* every entry one colour, so the texel pattern cannot show */

typedef struct Triangle {
    float xy[6], uv[6];
    uint32_t colours[3];
} Triangle;

/* Exact bytes at interior pixels; some change at interior pixels; no change anywhere; no
 * change in the row padding; that and some change in the image. The first three also require
 * pixels well outside the triangle to keep their bytes. */
typedef enum { TriExact, TriInside, TriNothing, TriInImage, TriSomeInImage } TriCheck;

static void fillTriangleTextures(void) {
    uint32_t seed = 11;
    int x, y;
    for (y = 0; y < kTriTexHeight; ++y)
        for (x = 0; x < kTriTexWidth; ++x)
            triTexels[y * kTriTexWidth + x] = (uint8_t)(((x >> 2) + (y >> 1)) % 6 * 41 + ((x ^ y) & 1));
    for (x = 0; x < 256; ++x) triPalette[x] = nextRandom(&seed) ^ (nextRandom(&seed) << 24);
}

static void bindTriangleTexture(const VelkanoApi* api, const uint32_t* colours, int32_t mode) {
    api->setTexture(triTexels, kTriTexWidth, kTriTexHeight, colours, mode);
}

/* A palette entry lit by a vertex colour (both red in byte 0), as a target word 0x00RRGGBB:
 * per channel m = (t * l) >> 8, then min(255, 2m). */
static uint32_t litTexel(uint32_t entry, uint32_t light) {
    uint32_t word = 0;
    int channel;
    for (channel = 0; channel < 3; ++channel) {
        const unsigned m = (((entry >> (8 * channel)) & 0xFF) * ((light >> (8 * channel)) & 0xFF)) >> 8;
        word |= (uint32_t)(2 * m > 255 ? 255 : 2 * m) << (8 * (2 - channel));
    }
    return word;
}

/* The darkest light a lane of vertex value v gives inside a triangle whose three vertices
 * share it. The point where the long edge crosses the middle vertex's row blends v with
 * itself, min(255, ((v (255 - f)) >> 8) + ((v f) >> 8)) for some f in 0..255, which can come
 * out a step or two below v; every other interior light lies between that and v. */
static unsigned darkestLight(unsigned v) {
    unsigned f, darkest = v;
    for (f = 0; f < 256; ++f) {
        const unsigned b = ((v * (255 - f)) >> 8) + ((v * f) >> 8);
        if ((b > 255 ? 255 : b) < darkest) darkest = b > 255 ? 255 : b;
    }
    return darkest;
}

enum { kMaxLitWords = 27 }; /* at most three lights per channel */

/* Every word a palette entry can become inside a triangle lit by `light` at all three
 * vertices: one per combination of the channel lights darkestLight allows. */
static int litWords(uint32_t entry, uint32_t light, uint32_t* words) {
    unsigned darkest[3], brightest[3], l[3];
    int channel, count = 0;
    for (channel = 0; channel < 3; ++channel) {
        brightest[channel] = (light >> (8 * channel)) & 0xFF;
        darkest[channel] = darkestLight(brightest[channel]);
    }
    for (l[0] = darkest[0]; l[0] <= brightest[0]; ++l[0])
        for (l[1] = darkest[1]; l[1] <= brightest[1]; ++l[1])
            for (l[2] = darkest[2]; l[2] <= brightest[2] && count < kMaxLitWords; ++l[2])
                words[count++] = litTexel(entry, l[0] | l[1] << 8 | l[2] << 16);
    return count;
}

/* The byte lane `lane` of pixel (x, y) takes when source word s meets it in `mode`, or -1
 * when displacement reads a pixel that this draw may already have written. */
static int blendedByte(const Image* image, const unsigned char* before, const float* xy, int32_t mode, uint32_t s,
                       int32_t x, int32_t y, int lane) {
    const unsigned c = (s >> (8 * lane)) & 0xFF;
    const unsigned d = before[(size_t)y * (size_t)image->pitch + 4 * (size_t)x + (size_t)lane];
    int32_t fromX, fromY;
    switch (mode) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4: return (int)blendByte(mode, c, d);
        case 6:
            fromX = (x + (int32_t)((s & 0xFF) >> 2)) % image->width;
            fromY = (y + (int32_t)(((s >> 8) & 0xFF) >> 2)) % image->height;
            if (triangleZone(xy, fromX, fromY) != -1) return -1;
            return before[(size_t)fromY * (size_t)image->pitch + 4 * (size_t)fromX + (size_t)lane];
        default: return (int)d;
    }
}

/* Checks the image after triangle t was drawn over `before` with the texture bound in
 * `mode`, as `expect` says. For TriExact every texel the triangle samples has the palette
 * entry `entry` and the three vertex colours are equal: an interior byte must be what one of the words litWords
 * allows gives. */
static void checkTriangle(const Image* image, const unsigned char* before, const Triangle* t, int32_t mode,
                          TriCheck expect, uint32_t entry, const char* what) {
    uint32_t words[kMaxLitWords];
    const int wordCount = expect == TriExact ? litWords(entry, t->colours[0], words) : 0;
    size_t o, firstBad = (size_t)-1, changedInside = 0, changedInImage = 0, exactBytes = 0;
    for (o = 0; o < image->sizeBytes; ++o) {
        const int32_t row = (int32_t)(o / (size_t)image->pitch), offset = (int32_t)(o % (size_t)image->pitch);
        const int changed = image->pixels[o] != before[o];
        int zone, w, matched = 0, unknown = 0;
        if (offset >= 4 * image->width || expect == TriNothing) zone = -1;
        else if (expect == TriInImage || expect == TriSomeInImage) {
            changedInImage += (size_t)changed;
            continue;
        } else zone = triangleZone(t->xy, offset / 4, row);
        if (zone == -1 && changed && firstBad == (size_t)-1) firstBad = o;
        if (zone != 1) continue;
        changedInside += (size_t)changed;
        for (w = 0; w < wordCount; ++w) {
            const int want = blendedByte(image, before, t->xy, mode, words[w], offset / 4, row, offset % 4);
            if (want < 0) unknown = 1;
            else matched |= image->pixels[o] == want;
        }
        if (expect != TriExact || unknown) continue;
        ++exactBytes;
        if (!matched && firstBad == (size_t)-1) firstBad = o;
    }
    checkPixels(what, image, firstBad, before, "before");
    if (expect == TriExact) check(exactBytes > 0, what, -1); /* the triangle has an interior */
    if (expect == TriInside) check(changedInside > 0, what, -2);
    if (expect == TriSomeInImage) check(changedInImage > 0, what, -3);
}

static void drawTriangleAndCheck(const VelkanoApi* api, const Image* image, const Triangle* t, int32_t mode,
                                 TriCheck expect, uint32_t entry, const char* what, FILE* out) {
    unsigned char* before = (unsigned char*)malloc(image->sizeBytes);
    memcpy(before, image->pixels, image->sizeBytes);
    api->drawTri(t->xy, t->uv, t->colours);
    checkTriangle(image, before, t, mode, expect, entry, what);
    fwrite(image->pixels, 1, image->sizeBytes, out);
    free(before);
}

void affineSequence(const VelkanoApi* api, FILE* out) {
    /* On a 41 x 31 image: various orientations, flat tops and bottoms, small and large, the
     * last two reaching out of the image on the left and top and across the right edge. None
     * reaches below the image, where a triangle is squeezed into the rows left rather than
     * cut, so its interior is not where the geometry puts it. */
    static const float shapes[][6] = {
        {4, 3, 37.5f, 8.25f, 10.75f, 28.5f},
        {36, 2, 3.5f, 14, 30.25f, 29.75f},
        {2, 25, 20, 1.5f, 39, 25},
        {5, 4, 35, 4, 20, 27.5f},
        {2, 0.5f, 30, 1.5f, 6, 14},
        {24, 14, 40.5f, 17, 29, 30},
        {-6, -8, 30, 18, 8, 29},
        {20, 3, 60, 12, 28, 26},
    };
    static const float shapeUv[6] = {0.5f, 0.5f, 15.5f, 1.25f, 7, 7.75f};
    /* A flat palette lit by flat light: the exact word in every mode, up to the light being a
     * step or two darker inside (darkestLight). Light 0xFF leaves one word when every byte is
     * at most 0x40, 2 (s - 1); 0x80 leaves s or s less one more low bit; mixed lights show
     * which channel goes where, palette byte 3 must not reach the target. The displacement
     * entries read rows and columns this draw does not write. */
    static const struct {
        int shape;
        int32_t mode;
        uint32_t entry, light;
    } flat[] = {
        {0, 0, 0xC0359A6Bu, 0x00808080u}, {1, 0, 0xC0359A6Bu, 0x00FFFFFFu},  {2, 1, 0x7FF00A81u, 0x0080FF80u},
        {3, 1, 0x01FF7F02u, 0xAB80FFFFu}, {0, 2, 0x00403020u, 0x00FFFFFFu},  {3, 2, 0xFF90C0E0u, 0x00FF80FFu},
        {1, 3, 0x0055AAFFu, 0x00FFFFFFu}, {2, 3, 0x80C08040u, 0x0080FF80u},  {0, 4, 0x00FF8001u, 0x00FFFFFFu},
        {3, 4, 0x2040C0FFu, 0x00FFFF80u}, {4, 6, 0x0054446Bu, 0x00808080u},  {5, 6, 0x00400099u, 0x00FFFFFFu},
        {6, 0, 0x00C08040u, 0x00808080u}, {7, 2, 0x00102030u, 0x00FFFFFFu},  {0, 5, 0x00FFFFFFu, 0x00FFFFFFu},
        {1, 7, 0x00FFFFFFu, 0x00FFFFFFu}, {2, -1, 0x00FFFFFFu, 0x00FFFFFFu}, {5, 0, 0x00104020u, 0x00FF00FFu},
    };
    /* The 32 x 16 pattern under differing vertex colours, once per mode, some partly outside
     * on the left, top and right, texture coordinates beyond the texture. */
    static const struct {
        Triangle t;
        int32_t mode;
    } patterned[] = {
        {{{3, 2, 38, 6, 12, 29}, {0, 0, 32, 0, 0, 16}, {0x00FF2040u, 0x0010C0FFu, 0x00808080u}}, 0},
        {{{-12, -6, 30, 4, 5, 24}, {-8, -4, 40, 2, 6, 20}, {0x000000FFu, 0x0000FF00u, 0x00FF0000u}}, 1},
        {{{20, 10, 55, 20, 28, 30}, {3.25f, 1.5f, 60, -7, 10, 30}, {0x00404040u, 0x00FFFFFFu, 0x00102030u}}, 2},
        {{{38, 3, 2, 16, 25, 28}, {31, 15, 0, 0, 20, -3}, {0x00C08040u, 0x0040C080u, 0x008040C0u}}, 3},
        {{{6, 6, 34, 6, 20, 26}, {0, 0, 64, 0, 16, 48}, {0x00FFFFFFu, 0x00808080u, 0x00FF00FFu}}, 4},
        {{{3, 2, 38, 6, 12, 29}, {0, 0, 32, 0, 0, 16}, {0x00FF2040u, 0x0010C0FFu, 0x00808080u}}, 5},
        {{{1, 1, 40, 12, 9, 30}, {0.5f, 0.5f, 30.5f, 4, 12, 15.5f}, {0x00FFFFFFu, 0x00A0A0A0u, 0x00FFFFFFu}}, 6},
        {{{3, 2, 38, 6, 12, 29}, {0, 0, 32, 0, 0, 16}, {0x00FF2040u, 0x0010C0FFu, 0x00808080u}}, 7},
        {{{3, 2, 38, 6, 12, 29}, {0, 0, 32, 0, 0, 16}, {0x00FF2040u, 0x0010C0FFu, 0x00808080u}}, -1},
    };
    /* Nothing to draw: wholly outside on each side, all three vertices on one row, collinear. */
    static const float empty[][6] = {
        {45, 3, 80, 10, 50, 25}, {-30, 2, -2, 12, -20, 28},          {3, -20, 30, -10, 12, -2}, {3, 31, 30, 33, 12, 60},
        {3, 12, 38, 12, 20, 12}, {-10, 7.25f, 50, 7.25f, 20, 7.25f}, {5, 0, 30, 0, 15, 0},      {3, 3, 13, 13, 23, 23},
    };
    /* Reaching below the image, far beyond it, or not finite: only the image may change,
     * and a triangle reaching below it with most of its area inside does change it. */
    static const struct {
        float xy[6], uv[6];
        int32_t mode;
        TriCheck expect;
    } wild[] = {
        {{-50, -40, 90, 10, 20, 80}, {0, 0, 32, 0, 0, 16}, 0, TriSomeInImage},
        {{5, 20, 35, 22, 15, 45}, {0, 0, 32, 0, 0, 16}, 2, TriSomeInImage},
        {{-6, -8, 30, 18, 8, 44}, {0.5f, 0.5f, 15.5f, 1.25f, 7, 7.75f}, 4, TriSomeInImage},
        {{1e30f, 5, 10, -1e30f, 20, 20}, {0, 0, 32, 0, 0, 16}, 0, TriInImage},
        {{-1e30f, -1e30f, 1e30f, -1e30f, 0, 1e30f}, {0, 0, 32, 0, 0, 16}, 6, TriInImage},
        {{NAN, 5, 30, 10, 10, 25}, {0, 0, 32, 0, 0, 16}, 0, TriInImage},
        {{3, 5, 30, NAN, 10, 25}, {0, 0, 32, 0, 0, 16}, 3, TriInImage},
        {{INFINITY, 3, 10, 20, -INFINITY, 25}, {0, 0, 32, 0, 0, 16}, 2, TriInImage},
        {{5, -INFINITY, 30, 10, 10, INFINITY}, {0, 0, 32, 0, 0, 16}, 0, TriInImage},
        {{-1048576, 0, 40, 10, 10, 30}, {0, 0, 32, 0, 0, 16}, 4, TriInImage},
        {{3, 2, 38, 6, 12, 29}, {NAN, 0, 1e30f, -1e30f, INFINITY, 3}, 0, TriInImage},
    };
    static const struct {
        const uint8_t* indices;
        int32_t width, height;
        const uint32_t* palette;
    } unusable[] = {
        {NULL, kTriTexWidth, kTriTexHeight, triPalette},
        {triTexels, kTriTexWidth, kTriTexHeight, NULL},
        {triTexels, 0, kTriTexHeight, triPalette},
        {triTexels, kTriTexWidth, 0, triPalette},
    };
    const Triangle* plain = &patterned[0].t;
    /* 41 x 31 pixels with a 173-byte pitch: 9 bytes of padding, rows at every alignment. */
    Image image = makeImage(41, 31, 173, 7), tiny = makeImage(8, 16, 36, 9);
    Triangle t;
    size_t i;
    int k;

    fillTriangleTextures();
    api->init(image.pixels, image.width, image.height, image.pitch);
    for (i = 0; i < sizeof flat / sizeof flat[0]; ++i) {
        for (k = 0; k < 256; ++k) flatPalette[k] = flat[i].entry;
        memcpy(t.xy, shapes[flat[i].shape], sizeof t.xy);
        memcpy(t.uv, shapeUv, sizeof t.uv);
        t.colours[0] = t.colours[1] = t.colours[2] = flat[i].light;
        bindTriangleTexture(api, flatPalette, flat[i].mode);
        drawTriangleAndCheck(api, &image, &t, flat[i].mode, modeWrites(flat[i].mode) ? TriExact : TriNothing,
                             flat[i].entry, "DRAWTRI flat texture and light", out);
    }
    /* One texel under the whole triangle, at texel centres: which index, and which palette
     * entry, lands where. */
    for (i = 0; i < 6; ++i) {
        const int u = (int)(i * 11 % kTriTexWidth), v = (int)(i * 5 % kTriTexHeight);
        memcpy(t.xy, shapes[i], sizeof t.xy);
        for (k = 0; k < 3; ++k) {
            t.uv[2 * k] = (float)u + 0.5f;
            t.uv[2 * k + 1] = (float)v + 0.5f;
            t.colours[k] = 0x00808080u;
        }
        bindTriangleTexture(api, triPalette, 0);
        drawTriangleAndCheck(api, &image, &t, 0, TriExact, triPalette[triTexels[v * kTriTexWidth + u]],
                             "DRAWTRI one texel", out);
    }
    for (i = 0; i < sizeof patterned / sizeof patterned[0]; ++i) {
        const int32_t mode = patterned[i].mode;
        bindTriangleTexture(api, triPalette, mode);
        drawTriangleAndCheck(api, &image, &patterned[i].t, mode, modeWrites(mode) ? TriInside : TriNothing, 0,
                             "DRAWTRI patterned stays in its triangle", out);
    }
    bindTriangleTexture(api, triPalette, 0);
    for (i = 0; i < sizeof empty / sizeof empty[0]; ++i) {
        t = *plain;
        memcpy(t.xy, empty[i], sizeof t.xy);
        drawTriangleAndCheck(api, &image, &t, 0, TriNothing, 0, "DRAWTRI that covers no pixel", out);
    }
    for (i = 0; i < sizeof wild / sizeof wild[0]; ++i) {
        t = *plain;
        memcpy(t.xy, wild[i].xy, sizeof t.xy);
        memcpy(t.uv, wild[i].uv, sizeof t.uv);
        bindTriangleTexture(api, triPalette, wild[i].mode);
        drawTriangleAndCheck(api, &image, &t, wild[i].mode, wild[i].expect, 0, "DRAWTRI off the image", out);
    }
    checkCanaries(&image, "canaries after the triangles");
    for (i = 0; i < sizeof unusable / sizeof unusable[0]; ++i) {
        api->setTexture(unusable[i].indices, unusable[i].width, unusable[i].height, unusable[i].palette, 0);
        drawTriangleAndCheck(api, &image, plain, 0, TriNothing, 0, "DRAWTRI without a usable texture", out);
    }
    /* After UNLOAD the target stays bound but nothing is drawn, until the next INIT. */
    bindTriangleTexture(api, triPalette, 0);
    api->unload();
    drawTriangleAndCheck(api, &image, plain, 0, TriNothing, 0, "DRAWTRI after UNLOAD", out);
    api->init(image.pixels, image.width, image.height, image.pitch);
    drawTriangleAndCheck(api, &image, plain, 0, TriInside, 0, "DRAWTRI after INIT again", out);
    api->unload();

    /* Many 3-argument calls in a row, a triangle over most of the image and one covering no
     * pixel: a wrong calling convention would move the stack by 12 bytes per call. */
    {
        static const Triangle most = {{-60, -40, 70, -40, 4, 15},
                                      {0.5f, 0.5f, 31.5f, 0.5f, 0.5f, 15.5f},
                                      {0x00808080u, 0x00808080u, 0x00808080u}};
        static const Triangle line = {{1, 3, 7, 3, 4, 3}, {0, 0, 1, 0, 0, 1}, {0, 0, 0}};
        unsigned char* before = (unsigned char*)malloc(tiny.sizeBytes);
        memcpy(before, tiny.pixels, tiny.sizeBytes);
        for (k = 0; k < 256; ++k) flatPalette[k] = 0x00C0A080u;
        api->init(tiny.pixels, tiny.width, tiny.height, tiny.pitch);
        bindTriangleTexture(api, flatPalette, 0);
        for (i = 0; i < 50000; ++i) {
            api->drawTri(most.xy, most.uv, most.colours);
            api->drawTri(line.xy, line.uv, line.colours);
        }
        checkTriangle(&tiny, before, &most, 0, TriExact, 0x00C0A080u, "many DRAWTRI calls");
        checkCanaries(&tiny, "canaries after many DRAWTRI calls");
        fwrite(tiny.pixels, 1, tiny.sizeBytes, out);
        api->unload();
        free(before);
    }
    free(image.storage);
    free(tiny.storage);
}
