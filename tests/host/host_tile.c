/* host_tile.c: DRAWTILE through the host's table: texel for texel in every mode, scaled and
 * clipped, refused, after the texture memory changed, on an image wider than its pitch and
 * many times in a row, on a 29 x 23 image with padded rows. */
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "host_scenario.h"

enum { kTexWidth = 16, kTexHeight = 8 }; /* not square, so a swapped row length shows */
static uint8_t texels[kTexWidth * kTexHeight];
static uint32_t palette[256];

typedef struct Tile {
    float x, y, w, h, uOffset, vOffset, uSpan, vSpan;
    int32_t mode;
    uint32_t tint;
} Tile;

typedef enum { ExpectTexels, ExpectInsideOnly, ExpectNothing } TileCheck;

static int32_t usableWidth(const Image* image) {
    return image->width < image->pitch / 4 ? image->width : image->pitch / 4;
}

/* Round to nearest, ties to even; NaN, infinities and values beyond int32 give INT32_MIN. */
static int32_t nearestInt(float f) {
    const double d = f;
    int32_t i;
    double rest;
    if (!(d >= -2147483648.0 && d < 2147483647.0)) return INT32_MIN;
    i = (int32_t)d;
    rest = d - i;
    if (rest > 0.5 || (rest == 0.5 && (i & 1))) ++i;
    else if (rest < -0.5 || (rest == -0.5 && (i & 1))) --i;
    return i;
}

/* The bytes a texel-for-texel tile leaves (x, y and the offsets whole, w = uSpan and
 * h = vSpan, so u and v step by exactly 1): pixel (x + i, y + j) takes texel
 * (i + uOffset, j + vOffset), both wrapped. Palette bytes are red, green, blue; pixel bytes
 * blue, green, red, unused. */
static void expectTexels(unsigned char* bytes, const Image* image, const Tile* t) {
    const int32_t x0 = (int32_t)t->x, y0 = (int32_t)t->y, x1 = x0 + (int32_t)t->w, y1 = y0 + (int32_t)t->h;
    int32_t px, py;
    for (py = y0 > 0 ? y0 : 0; py <= y1 && py < image->height; ++py)
        for (px = x0 > 0 ? x0 : 0; px <= x1 && px < usableWidth(image); ++px) {
            const int32_t iu = px - x0 + (int32_t)t->uOffset, iv = py - y0 + (int32_t)t->vOffset;
            const unsigned index = texels[(iv & (kTexHeight - 1)) * kTexWidth + (iu & (kTexWidth - 1))];
            unsigned char* p = bytes + (size_t)py * (size_t)image->pitch + 4 * (size_t)px;
            int lane;
            if (t->mode == 1 && index == 0) continue;
            for (lane = 0; lane < 4; ++lane) {
                const unsigned c =
                    lane == 3 ? 0
                              : (((palette[index] >> (8 * (2 - lane))) & 0xFF) * ((t->tint >> (8 * lane)) & 0xFF)) >> 8;
                const unsigned r = t->mode <= 1 ? c : t->mode == 2 ? p[lane] + c : (p[lane] * c) >> 7;
                p[lane] = (unsigned char)(r > 255 ? 255 : r);
            }
        }
}

/* Draws one tile with the texture already bound and checks the image: every byte as
 * expectTexels says, or no byte outside the covered rectangle changed and some inside did,
 * or no byte changed at all. */
static void drawAndCheck(const VelkanoApi* api, const Image* image, const Tile* t, TileCheck expect, const char* what,
                         FILE* out) {
    unsigned char* before = (unsigned char*)malloc(image->sizeBytes);
    const int32_t x0 = nearestInt(t->x), x1 = nearestInt(t->x + t->w);
    const int32_t y0 = nearestInt(t->y), y1 = nearestInt(t->y + t->h);
    size_t o, firstBad = (size_t)-1, changedInside = 0;
    memcpy(before, image->pixels, image->sizeBytes);
    api->drawTile(t->x, t->y, t->w, t->h, t->uOffset, t->vOffset, t->uSpan, t->vSpan, 0xDEADBEEFu, 0x7FC00001u,
                  t->tint);
    if (expect == ExpectInsideOnly) {
        for (o = 0; o < image->sizeBytes; ++o) {
            const int32_t row = (int32_t)(o / (size_t)image->pitch), column = (int32_t)(o % (size_t)image->pitch / 4);
            const int inside = row >= y0 && row <= y1 && column >= x0 && column <= x1 && column < usableWidth(image);
            if (image->pixels[o] == before[o]) continue;
            if (inside) ++changedInside;
            else if (firstBad == (size_t)-1) firstBad = o;
        }
        checkPixels(what, image, firstBad, before, "before");
        check(changedInside > 0, what, -1);
    } else {
        if (expect == ExpectTexels) expectTexels(before, image, t);
        checkBytes(what, image, before);
    }
    fwrite(image->pixels, 1, image->sizeBytes, out);
    free(before);
}

static void bindTexture(const VelkanoApi* api, int32_t mode) {
    api->setTexture(texels, kTexWidth, kTexHeight, palette, mode);
}

void tileSequence(const VelkanoApi* api, FILE* out) {
    /* Texel for texel, every mode, partly outside on every side, negative offsets and
     * wrapping both ways. */
    static const Tile exact[] = {
        {3, 2, 16, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu}, /* column 19 and row 10 repeat texel 0 */
        {-5, -3, 20, 12, -3, -7, 20, 12, 1, 0x80FF40C0u}, {20, 15, 16, 16, 5, 2, 16, 16, 2, 0xC0C0C0C0u},
        {-2, -2, 40, 30, -9, 4, 40, 30, 3, 0x00FF80FFu},  {0, 22, 28, 1, 3, -1, 28, 1, 1, 0xFF10FF80u},
        {27, 0, 1, 22, -1, -17, 1, 22, 2, 0xFFFFFFFFu},
    };
    /* Fractional positions and scales, mirrored and huge spans, a single pixel whose
     * coordinates are 0/0, a tile reaching back to -2^20 exactly. */
    static const Tile drawn[] = {
        {2.25f, 1.75f, 10.5f, 6.25f, 0.5f, -1.25f, 32, 4, 0, 0xFFFFFFFFu},
        {-3.5f, 12.5f, 7.5f, 20, -2.75f, 3.5f, -8, 12, 1, 0x40FFFF80u},
        {25.5f, -4.5f, 9.25f, 9.75f, -10, -0.5f, 5, 33.5f, 2, 0x00306090u},
        {0.5f, 0.5f, 27.5f, 21.5f, 0.125f, -3, 3.75f, -2.5f, 3, 0xFF8080FFu},
        {4, 4, 3, 2, 0.5f, 0, 100000, -70000, 1, 0x00FFFFFFu},
        {11, 7, 0, 0, 0, 0, 0, 5, 0, 0xFFFFFFFFu},
        {-1048576, 3, 1048590, 2.5f, -0.25f, 1.5f, 3000000, 3, 2, 0x00402010u},
    };
    /* Nothing drawn: bad modes, ends before starts, non-finite values, ends beyond 2^20. */
    static const Tile nothing[] = {
        {3, 2, 16, 8, 0, 0, 16, 8, 5, 0xFFFFFFFFu},
        {3, 2, 16, 8, 0, 0, 16, 8, -1, 0xFFFFFFFFu},
        {3, 2, 16, 8, 0, 0, 16, 8, 4, 0xFFFFFFFFu},
        {3, 2, -1.5f, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, 2, 16, -2, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {NAN, 2, 16, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, INFINITY, 16, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, 2, -INFINITY, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, 2, 16, INFINITY, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, 2, NAN, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {-1048577, 2, 1048590, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, 5, 16, 1048572, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
    };
    /* Bindings nothing can be drawn from. */
    static const struct {
        const uint8_t* indices;
        int32_t width, height;
        const uint32_t* palette;
    } unusable[] = {
        {NULL, kTexWidth, kTexHeight, palette}, {texels, kTexWidth, kTexHeight, NULL}, {texels, 0, kTexHeight, palette},
        {texels, kTexWidth, 0, palette},        {texels, -16, kTexHeight, palette},
    };
    static const uint32_t lightmap[16] = {0x01020304u, 0xFFFFFFFFu, 0, 0x80808080u};
    /* 29 x 23 pixels with a 125-byte pitch: 9 bytes of padding, rows at every alignment. */
    Image image = makeImage(29, 23, 125, 3), wide, tiny = makeImage(2, 1, 8, 5);
    unsigned char* before = (unsigned char*)malloc(image.sizeBytes);
    uint32_t seed = 4;
    size_t i;

    for (i = 0; i < sizeof texels; ++i) texels[i] = i % 5 == 0 ? 0 : (uint8_t)nextRandom(&seed);
    for (i = 0; i < 256; ++i) palette[i] = nextRandom(&seed) ^ (nextRandom(&seed) << 24);
    api->init(image.pixels, image.width, image.height, image.pitch);
    memcpy(before, image.pixels, image.sizeBytes);
    api->setLightmap(lightmap, 4, 4); /* bound for the draws below, which must not use it */
    checkBytes("SETLIGHTMAP leaves the image", &image, before);

    for (i = 0; i < sizeof exact / sizeof exact[0]; ++i) {
        bindTexture(api, exact[i].mode);
        drawAndCheck(api, &image, &exact[i], ExpectTexels, "DRAWTILE texel for texel", out);
    }
    for (i = 0; i < sizeof drawn / sizeof drawn[0]; ++i) {
        bindTexture(api, drawn[i].mode);
        drawAndCheck(api, &image, &drawn[i], ExpectInsideOnly, "DRAWTILE scaled stays in its rectangle", out);
    }
    for (i = 0; i < sizeof nothing / sizeof nothing[0]; ++i) {
        bindTexture(api, nothing[i].mode);
        drawAndCheck(api, &image, &nothing[i], ExpectNothing, "DRAWTILE that draws nothing", out);
    }
    for (i = 0; i < sizeof unusable / sizeof unusable[0]; ++i) {
        api->setTexture(unusable[i].indices, unusable[i].width, unusable[i].height, unusable[i].palette, 0);
        drawAndCheck(api, &image, &exact[0], ExpectNothing, "DRAWTILE without a usable texture", out);
    }

    /* Texture memory is read by each draw: a palette changed in place shows without
     * rebinding, and texels and palette changed in place show after rebinding the same arrays. */
    bindTexture(api, 0);
    for (i = 0; i < 256; ++i) palette[i] = ~palette[i] ^ (uint32_t)(i * 0x01030507u);
    drawAndCheck(api, &image, &exact[0], ExpectTexels, "DRAWTILE after the palette changed", out);
    for (i = 0; i < sizeof texels; ++i) texels[i] = (uint8_t)(texels[i] + 77);
    for (i = 0; i < 256; i += 2) palette[i] = palette[255 - i];
    bindTexture(api, exact[1].mode);
    drawAndCheck(api, &image, &exact[1], ExpectTexels, "DRAWTILE after rebinding changed arrays", out);
    checkCanaries(&image, "canaries after the tiles");

    /* Wider than the pitch: only pitch / 4 = 31 columns are drawn, padding included. */
    wide = image;
    wide.width = 40;
    api->init(wide.pixels, wide.width, wide.height, wide.pitch);
    bindTexture(api, exact[2].mode);
    drawAndCheck(api, &wide, &exact[2], ExpectTexels, "DRAWTILE on an image wider than its pitch", out);
    checkCanaries(&image, "canaries after the wide image");
    api->setLightmap(NULL, 0, 0);
    api->unload();

    /* Many 11-argument calls in a row, each an exact draw followed by one that draws
     * nothing: a wrong calling convention would move the stack by 44 bytes per call. */
    {
        static const Tile small = {0, 0, 2, 1, -1, 3, 2, 1, 0, 0xFFC0A080u};
        unsigned char want[8];
        memcpy(want, tiny.pixels, sizeof want);
        expectTexels(want, &tiny, &small);
        api->init(tiny.pixels, tiny.width, tiny.height, tiny.pitch);
        bindTexture(api, small.mode);
        for (i = 0; i < 200000; ++i) {
            api->drawTile(small.x, small.y, small.w, small.h, small.uOffset, small.vOffset, small.uSpan, small.vSpan,
                          (uint32_t)i, ~(uint32_t)i, small.tint);
            api->drawTile(NAN, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0);
        }
        checkBytes("many DRAWTILE calls", &tiny, want);
        checkCanaries(&tiny, "canaries after many DRAWTILE calls");
        fwrite(tiny.pixels, 1, tiny.sizeBytes, out);
        api->unload();
    }
    free(before);
    free(image.storage);
    free(tiny.storage);
}
