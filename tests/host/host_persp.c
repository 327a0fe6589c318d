/* host_persp.c: DRAWPERSPTRI through the host's table, with and without a lightmap, on
 * a 100 x 60 image (not a whole number of 16-pixel blocks wide) with padded rows. */
#include <stdlib.h>
#include <string.h>

#include "host_scenario.h"

enum { kWallTexWidth = 32, kWallTexHeight = 16, kOddTexWidth = 24, kOddTexHeight = 12, kLightSide = 8 };

static uint8_t wallTexels[kWallTexWidth * kWallTexHeight], oddTexels[kOddTexWidth * kOddTexHeight];
static uint32_t patternPalette[256], flatPalette[256];
static uint32_t patternLight[kLightSide * kLightSide], flatLight[kLightSide * kLightSide];

typedef struct PerspTriangle {
    float xy[6], uv[6], lightUv[6], z[3];
} PerspTriangle;

/* Exact bytes at interior pixels; some change at interior pixels; no change at all; some
 * change in the image (rows squeezed, so not where the geometry says). All but the last also
 * require pixels well outside the triangle to keep their bytes, and every kind the row
 * padding and the image's last row. */
typedef enum { PerspExact, PerspInside, PerspNothing, PerspSqueezed } PerspCheck;

/* A palette entry (red in byte 0) as a PixelWord, lit by a lightmap word when `lit`: per
 * lane min(255, 2 min(255, (s * l) >> 7)), byte 3 zero. */
static uint32_t litPixel(uint32_t entry, int lit, uint32_t light) {
    const uint32_t s = (entry & 0xFF) << 16 | (entry & 0xFF00) | (entry >> 16 & 0xFF);
    uint32_t word = 0;
    int lane;
    if (!lit) return s;
    for (lane = 0; lane < 3; ++lane) {
        const unsigned m = ((s >> 8 * lane & 0xFF) * (light >> 8 * lane & 0xFF)) >> 7;
        const unsigned doubled = 2 * (m > 255 ? 255 : m);
        word |= (uint32_t)(doubled > 255 ? 255 : doubled) << 8 * lane;
    }
    return word;
}

/* Binds `light` as an 8 x 8 lightmap, or unbinds the lightmap, then draws t (without
 * lightmap coordinates when unlit: they must not be read) and checks it as `expect` says;
 * for PerspExact interior pixels take `word` written in `mode`. */
static void drawAndCheck(const VelkanoApi* api, const Image* image, const PerspTriangle* t, const uint32_t* light,
                         int32_t mode, PerspCheck expect, uint32_t word, const char* what, FILE* out) {
    unsigned char* before = (unsigned char*)malloc(image->sizeBytes);
    size_t o, firstBad = (size_t)-1, changedInside = 0, exactBytes = 0;
    memcpy(before, image->pixels, image->sizeBytes);
    api->setLightmap(light, light ? kLightSide : 0, light ? kLightSide : 0);
    api->drawPerspTri(t->xy, t->uv, light ? t->lightUv : NULL, t->z);
    for (o = 0; o < image->sizeBytes; ++o) {
        const int32_t row = (int32_t)(o / (size_t)image->pitch), offset = (int32_t)(o % (size_t)image->pitch);
        const int changed = image->pixels[o] != before[o];
        int zone;
        if (offset >= 4 * image->width || row == image->height - 1 || expect == PerspNothing) zone = -1;
        else zone = expect == PerspSqueezed ? 1 : triangleZone(t->xy, offset / 4, row);
        if (zone == -1 && changed && firstBad == (size_t)-1) firstBad = o;
        if (zone != 1) continue;
        changedInside += (size_t)changed;
        if (expect != PerspExact) continue;
        ++exactBytes;
        if (image->pixels[o] != blendByte(mode, word >> 8 * (offset % 4) & 0xFF, before[o]) && firstBad == (size_t)-1)
            firstBad = o;
    }
    checkPixels(what, image, firstBad, before, "before");
    if (expect == PerspExact) check(exactBytes > 0, what, -1); /* the triangle has an interior */
    if (expect == PerspInside || expect == PerspSqueezed) check(changedInside > 0, what, -2);
    fwrite(image->pixels, 1, image->sizeBytes, out);
    free(before);
}

static void fillTextures(void) {
    uint32_t seed = 21;
    int i;
    for (i = 0; i < (int)sizeof wallTexels; ++i) wallTexels[i] = (uint8_t)nextRandom(&seed);
    for (i = 0; i < (int)sizeof oddTexels; ++i) oddTexels[i] = (uint8_t)nextRandom(&seed);
    for (i = 0; i < 256; ++i) patternPalette[i] = nextRandom(&seed) ^ nextRandom(&seed) << 24;
    for (i = 0; i < kLightSide * kLightSide; ++i) patternLight[i] = nextRandom(&seed) ^ nextRandom(&seed) << 24;
}

void perspectiveSequence(const VelkanoApi* api, FILE* out) {
    /* A wall receding to the right, depth 1 on the left and 4 on the right, as two triangles;
     * the texture repeats twice across it. */
    static const PerspTriangle wall[2] = {
        {{4, 3, 96, 14, 96, 46}, {0, 0, 64, 0, 64, 32}, {0, 0, 8, 0, 8, 8}, {1, 4, 4}},
        {{4, 3, 96, 46, 4, 57}, {0, 0, 64, 32, 0, 32}, {0, 0, 8, 8, 0, 8}, {1, 4, 1}},
    };
    static const struct {
        int32_t mode;
        int lit;
    } wallDraws[] = {{0, 0}, {0, 1}, {2, 1}, {3, 0}, {4, 1}, {6, 0}, {1, 1}};
    /* Large, partly outside on the left and on the right, near the last row, narrower than a
     * block. None reaches above or below the image. */
    static const float shapes[][6] = {
        {6, 4, 90, 14, 30, 52},       {-20, 10, 40, 2, 25, 50}, {70, 5, 130, 30, 80, 55},
        {10, 40, 95, 45, 50, 58.25f}, {33, 20, 45, 22, 40, 40},
    };
    static const float shapeUv[6] = {-3.5f, 2, 40, -7.25f, 11, 30}, shapeLightUv[6] = {0, 0, 9.5f, -3, 2, 17};
    /* A flat palette under flat light: one word inside the triangle in every writing mode.
     * 0x404040 keeps a lane with its lowest bit cleared, 0x808080 doubles it, 0 blacks it.
     * The draw after the black one is unlit, so a lightmap left bound would show. */
    static const struct {
        int shape;
        int32_t mode;
        uint32_t entry;
        int lit;
        uint32_t light;
        float z[3];
    } flat[] = {
        {0, 0, 0x00C08040u, 0, 0, {1, 1, 1}},
        {0, 0, 0x7F3A91C5u, 1, 0x00404040u, {1, 1, 1}},
        {1, 0, 0x00204080u, 0, 0, {2, 0.5f, 8}},
        {1, 0, 0x00C08041u, 1, 0x00808080u, {3, 3, 3}},
        {2, 1, 0x0055AAFFu, 0, 0, {1, 1, 1}},
        {2, 1, 0x00FFFFFFu, 1, 0x00000000u, {1, 2, 3}},
        {3, 0, 0x00123456u, 0, 0, {5, 1, 1}},
        {3, 2, 0x00203040u, 1, 0xFF408020u, {1, 1, 1}},
        {4, 3, 0x00A05030u, 1, 0x00404040u, {1, 1, 1}},
        {0, 4, 0x00FF8001u, 1, 0x00808080u, {4, 1, 2}},
        {1, 2, 0xFF90C0E0u, 0, 0, {1, 1, 1}},
        {2, 6, 0x00400099u, 1, 0x00404040u, {1, 1, 1}},
        {0, 5, 0x00FFFFFFu, 1, 0x00404040u, {1, 1, 1}},
        {3, 7, 0x00FFFFFFu, 0, 0, {1, 1, 1}},
        {4, -1, 0x00FFFFFFu, 1, 0x00808080u, {2, 1, 1}},
    };
    /* Wholly above, below (from row 60 exactly), left of and right of the image. */
    static const float outside[][6] = {
        {10, -30, 80, -20, 40, -2},
        {5, 60, 90, 60, 50, 75},
        {-50, 5, -3, 20, -20, 50},
        {104, 5, 160, 20, 120, 50},
    };
    /* Crossing the top, the bottom, both: squeezed into the image's rows. */
    static const float crossing[][6] = {
        {10, -25, 90, 20, 40, 45},
        {8, 30, 92, 40, 50, 85},
        {-40, -50, 140, 20, 50, 120},
    };
    /* 100 x 60 pixels with a 413-byte pitch: 13 bytes of padding, rows at every alignment. */
    Image image = makeImage(100, 60, 413, 13);
    PerspTriangle t;
    size_t i;
    int k;

    fillTextures();
    api->init(image.pixels, image.width, image.height, image.pitch);
    for (i = 0; i < sizeof wallDraws / sizeof wallDraws[0]; ++i) {
        api->setTexture(wallTexels, kWallTexWidth, kWallTexHeight, patternPalette, wallDraws[i].mode);
        for (k = 0; k < 2; ++k)
            drawAndCheck(api, &image, &wall[k], wallDraws[i].lit ? patternLight : NULL, wallDraws[i].mode, PerspInside,
                         0, "DRAWPERSPTRI wall stays in its triangle", out);
    }
    memcpy(t.uv, shapeUv, sizeof t.uv);
    memcpy(t.lightUv, shapeLightUv, sizeof t.lightUv);
    for (i = 0; i < sizeof flat / sizeof flat[0]; ++i) {
        const int32_t mode = flat[i].mode;
        for (k = 0; k < 256; ++k) flatPalette[k] = flat[i].entry;
        for (k = 0; k < kLightSide * kLightSide; ++k) flatLight[k] = flat[i].light;
        memcpy(t.xy, shapes[flat[i].shape], sizeof t.xy);
        memcpy(t.z, flat[i].z, sizeof t.z);
        api->setTexture(oddTexels, kOddTexWidth, kOddTexHeight, flatPalette, mode);
        drawAndCheck(api, &image, &t, flat[i].lit ? flatLight : NULL, mode,
                     !modeWrites(mode) ? PerspNothing
                     : mode == 6       ? PerspInside
                                       : PerspExact,
                     litPixel(flat[i].entry, flat[i].lit, flat[i].light), "DRAWPERSPTRI flat texture and light", out);
    }
    /* One texel under the whole triangle, whatever the depths: which index and which palette
     * entry land where; every other one lit by a quarter-strength lightmap. */
    for (k = 0; k < kLightSide * kLightSide; ++k) flatLight[k] = 0x00404040u;
    api->setTexture(wallTexels, kWallTexWidth, kWallTexHeight, patternPalette, 0);
    for (i = 0; i < sizeof shapes / sizeof shapes[0]; ++i) {
        const int u = (int)(i * 13 % kWallTexWidth), v = (int)(i * 7 % kWallTexHeight);
        const uint32_t entry = patternPalette[wallTexels[v * kWallTexWidth + u]];
        memcpy(t.xy, shapes[i], sizeof t.xy);
        for (k = 0; k < 3; ++k) {
            t.uv[2 * k] = (float)u + 0.5f;
            t.uv[2 * k + 1] = (float)v + 0.5f;
            t.z[k] = 1.0f + 2.5f * (float)k;
        }
        drawAndCheck(api, &image, &t, i % 2 ? flatLight : NULL, 0, PerspExact,
                     litPixel(entry, (int)(i % 2), 0x00404040u), "DRAWPERSPTRI one texel", out);
    }
    /* The patterned texture that is not a power of two wide, partly outside left and right. */
    memcpy(t.uv, shapeUv, sizeof t.uv);
    api->setTexture(oddTexels, kOddTexWidth, kOddTexHeight, patternPalette, 2);
    for (i = 1; i < 3; ++i) {
        memcpy(t.xy, shapes[i], sizeof t.xy);
        drawAndCheck(api, &image, &t, patternLight, 2, PerspInside, 0, "DRAWPERSPTRI odd texture", out);
    }
    for (i = 0; i < sizeof outside / sizeof outside[0]; ++i) {
        memcpy(t.xy, outside[i], sizeof t.xy);
        drawAndCheck(api, &image, &t, i % 2 ? patternLight : NULL, 2, PerspNothing, 0, "DRAWPERSPTRI outside the image",
                     out);
    }
    for (i = 0; i < sizeof crossing / sizeof crossing[0]; ++i) {
        memcpy(t.xy, crossing[i], sizeof t.xy);
        drawAndCheck(api, &image, &t, i % 2 ? NULL : patternLight, 2, PerspSqueezed, 0,
                     "DRAWPERSPTRI across the top or bottom", out);
    }
    /* Many 4-argument calls in a row, a small triangle and one outside the image: a wrong
     * calling convention would move the stack by 16 bytes per call. */
    for (k = 0; k < 256; ++k) flatPalette[k] = 0x00A0C0E0u;
    api->setTexture(oddTexels, kOddTexWidth, kOddTexHeight, flatPalette, 0);
    memcpy(t.xy, shapes[4], sizeof t.xy);
    for (i = 0; i < 20000; ++i) {
        api->drawPerspTri(t.xy, t.uv, NULL, t.z);
        api->drawPerspTri(outside[0], t.uv, NULL, t.z);
    }
    drawAndCheck(api, &image, &t, NULL, 0, PerspExact, litPixel(0x00A0C0E0u, 0, 0), "many DRAWPERSPTRI calls", out);
    checkCanaries(&image, "canaries after the perspective triangles");
    api->unload();
    drawAndCheck(api, &image, &wall[0], patternLight, 2, PerspNothing, 0, "DRAWPERSPTRI after UNLOAD", out);
    api->setLightmap(NULL, 0, 0);
    free(image.storage);
}
