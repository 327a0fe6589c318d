#include "host_scenario.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

enum { kCanaryBytes = 32, kCanary = 0xA5 };

typedef enum { FlashAdd, FlashSub, FlashMod } FlashKind;

static int checks, failures;

void check(int ok, const char* what, int detail) {
    ++checks;
    if (!ok) {
        ++failures;
        fprintf(stderr, "host: FAILED %s (%d)\n", what, detail);
    }
}

int failedChecks(void) { return failures; }

uint32_t nextRandom(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

Image makeImage(int32_t width, int32_t height, int32_t pitch, uint32_t seed) {
    Image image;
    size_t i;
    image.width = width;
    image.height = height;
    image.pitch = pitch;
    image.sizeBytes = (size_t)pitch * (size_t)height;
    image.storage = (unsigned char*)malloc(image.sizeBytes + 2 * kCanaryBytes + 1);
    memset(image.storage, kCanary, image.sizeBytes + 2 * kCanaryBytes + 1);
    image.pixels = image.storage + kCanaryBytes + 1;
    for (i = 0; i < image.sizeBytes; ++i) image.pixels[i] = (unsigned char)nextRandom(&seed);
    return image;
}

void checkCanaries(const Image* image, const char* when) {
    size_t i;
    int intact = 1;
    for (i = 0; i < kCanaryBytes + 1; ++i) intact &= image->storage[i] == kCanary;
    for (i = 0; i < kCanaryBytes; ++i) intact &= image->pixels[image->sizeBytes + i] == kCanary;
    check(intact, when, 0);
}

/* The flash's per-byte effect, written out independently of the library: add and sub
 * change whole 8-byte groups, mod whole 4-byte words; byte o meets colour byte o mod 4. */
static void expectFlash(unsigned char* bytes, size_t sizeBytes, FlashKind kind, uint32_t colour) {
    const size_t changed = kind == FlashMod ? sizeBytes / 4 * 4 : sizeBytes / 8 * 8;
    size_t o;
    for (o = 0; o < changed; ++o) {
        const unsigned p = bytes[o], c = (colour >> (8 * (o % 4))) & 0xFF;
        unsigned r;
        if (kind == FlashAdd) r = p + c > 255 ? 255 : p + c;
        else if (kind == FlashSub) r = p > c ? p - c : 0;
        else r = (p * c) >> 7 > 255 ? 255 : (p * c) >> 7;
        bytes[o] = (unsigned char)r;
    }
}

static void flashAndCheck(const VelkanoApi* api, Image* image, FlashKind kind, uint32_t colour, FILE* out) {
    unsigned char* want = (unsigned char*)malloc(image->sizeBytes);
    size_t o, firstBad = (size_t)-1;
    memcpy(want, image->pixels, image->sizeBytes);
    expectFlash(want, image->sizeBytes, kind, colour);
    if (kind == FlashAdd) api->flashAdd(colour);
    else if (kind == FlashSub) api->flashSub(colour);
    else api->flashMod(colour);
    for (o = 0; o < image->sizeBytes && firstBad == (size_t)-1; ++o)
        if (image->pixels[o] != want[o]) firstBad = o;
    check(firstBad == (size_t)-1, kind == FlashAdd ? "FLASHADD bytes" : kind == FlashSub ? "FLASHSUB bytes" : "FLASHMOD bytes",
          (int)firstBad);
    fwrite(image->pixels, 1, image->sizeBytes, out);
    free(want);
}

static void flashSequence(const VelkanoApi* api, Image* image, FILE* out) {
    static const struct {
        FlashKind kind;
        uint32_t colour;
    } steps[] = {
        {FlashAdd, 0x40302010u}, {FlashSub, 0x08102040u}, {FlashMod, 0x80A0C0FFu}, {FlashAdd, 0x00000040u},
        {FlashMod, 0x00808080u}, {FlashSub, 0x00FFFFFFu}, {FlashAdd, 0xFFFFFFFFu}, {FlashMod, 0x40404040u},
    };
    size_t i;
    for (i = 0; i < sizeof steps / sizeof steps[0]; ++i) flashAndCheck(api, image, steps[i].kind, steps[i].colour, out);
    checkCanaries(image, "canaries after the flashes");
}

/* ---- Tiles ---------------------------------------------------------------------------- */

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
                const unsigned c = lane == 3 ? 0
                                             : (((palette[index] >> (8 * (2 - lane))) & 0xFF) *
                                                ((t->tint >> (8 * lane)) & 0xFF)) >> 8;
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
        check(firstBad == (size_t)-1, what, (int)firstBad);
        check(changedInside > 0, what, -1);
    } else {
        if (expect == ExpectTexels) expectTexels(before, image, t);
        for (o = 0; o < image->sizeBytes && firstBad == (size_t)-1; ++o)
            if (image->pixels[o] != before[o]) firstBad = o;
        check(firstBad == (size_t)-1, what, (int)firstBad);
    }
    fwrite(image->pixels, 1, image->sizeBytes, out);
    free(before);
}

static void bindTexture(const VelkanoApi* api, int32_t mode) {
    api->setTexture(texels, kTexWidth, kTexHeight, palette, mode);
}

static void tileSequence(const VelkanoApi* api, FILE* out) {
    /* Texel for texel, every mode, partly outside on every side, negative offsets and
     * wrapping both ways. */
    static const Tile exact[] = {
        {3, 2, 16, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},     /* column 19 and row 10 repeat texel 0 */
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
        {3, 2, 16, 8, 0, 0, 16, 8, 5, 0xFFFFFFFFu},     {3, 2, 16, 8, 0, 0, 16, 8, -1, 0xFFFFFFFFu},
        {3, 2, 16, 8, 0, 0, 16, 8, 4, 0xFFFFFFFFu},     {3, 2, -1.5f, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, 2, 16, -2, 0, 0, 16, 8, 0, 0xFFFFFFFFu},    {NAN, 2, 16, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, INFINITY, 16, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu}, {3, 2, -INFINITY, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
        {3, 2, 16, INFINITY, 0, 0, 16, 8, 0, 0xFFFFFFFFu}, {3, 2, NAN, 8, 0, 0, 16, 8, 0, 0xFFFFFFFFu},
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
    check(memcmp(before, image.pixels, image.sizeBytes) == 0, "SETLIGHTMAP leaves the image", 0);

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
        check(memcmp(want, tiny.pixels, sizeof want) == 0, "many DRAWTILE calls", 0);
        checkCanaries(&tiny, "canaries after many DRAWTILE calls");
        fwrite(tiny.pixels, 1, tiny.sizeBytes, out);
        api->unload();
    }
    free(before);
    free(image.storage);
    free(tiny.storage);
}

/* ---- Triangles ------------------------------------------------------------------------ */

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

/* Modes 0 to 4 and 6 write; 5 and every other value write nothing. */
int modeWrites(int32_t mode) { return mode >= 0 && mode <= 6 && mode != 5; }

static void bindTriangleTexture(const VelkanoApi* api, const uint32_t* colours, int32_t mode) {
    api->setTexture(triTexels, kTriTexWidth, kTriTexHeight, colours, mode);
}

/* Where the centre of pixel (px, py) lies: 1 at least 3 pixels inside every edge, -1 at
 * least 3 pixels outside some edge (or the triangle has no area), 0 in between, where the
 * edge rules decide. */
int triangleZone(const float* xy, int32_t px, int32_t py) {
    const double cx = px + 0.5, cy = py + 0.5;
    const double area =
        ((double)xy[2] - xy[0]) * ((double)xy[5] - xy[1]) - ((double)xy[3] - xy[1]) * ((double)xy[4] - xy[0]);
    int i, zone = 1;
    if (area == 0) return -1;
    for (i = 0; i < 3; ++i) {
        const double ax = xy[2 * i], ay = xy[2 * i + 1], bx = xy[(2 * i + 2) % 6], by = xy[(2 * i + 3) % 6];
        /* The cross product is the inward distance times the edge length; compare squares. */
        const double cross = ((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) * (area > 0 ? 1 : -1);
        const int beyond = cross * cross >= 9 * ((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
        if (cross <= 0 && beyond) return -1;
        if (cross <= 0 || !beyond) zone = 0;
    }
    return zone;
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
    unsigned m;
    int32_t fromX, fromY;
    switch (mode) {
    case 0:
    case 1: return (int)c;
    case 2: return c + d > 255 ? 255 : (int)(c + d);
    case 3: m = (c * d) >> 7 > 255 ? 255 : (c * d) >> 7; return 2 * m > 255 ? 255 : (int)(2 * m);
    case 4: m = (c * d) >> 8; return 2 * m > 255 ? 255 : (int)(2 * m);
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
    check(firstBad == (size_t)-1, what, (int)firstBad);
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

static void triangleSequence(const VelkanoApi* api, FILE* out) {
    /* On a 41 x 31 image: various orientations, flat tops and bottoms, small and large, the
     * last two reaching out of the image on the left and top and across the right edge. None
     * reaches below the image, where a triangle is squeezed into the rows left rather than
     * cut, so its interior is not where the geometry puts it. */
    static const float shapes[][6] = {
        {4, 3, 37.5f, 8.25f, 10.75f, 28.5f}, {36, 2, 3.5f, 14, 30.25f, 29.75f}, {2, 25, 20, 1.5f, 39, 25},
        {5, 4, 35, 4, 20, 27.5f},            {2, 0.5f, 30, 1.5f, 6, 14},       {24, 14, 40.5f, 17, 29, 30},
        {-6, -8, 30, 18, 8, 29},             {20, 3, 60, 12, 28, 26},
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
        {0, 0, 0xC0359A6Bu, 0x00808080u}, {1, 0, 0xC0359A6Bu, 0x00FFFFFFu}, {2, 1, 0x7FF00A81u, 0x0080FF80u},
        {3, 1, 0x01FF7F02u, 0xAB80FFFFu}, {0, 2, 0x00403020u, 0x00FFFFFFu}, {3, 2, 0xFF90C0E0u, 0x00FF80FFu},
        {1, 3, 0x0055AAFFu, 0x00FFFFFFu}, {2, 3, 0x80C08040u, 0x0080FF80u}, {0, 4, 0x00FF8001u, 0x00FFFFFFu},
        {3, 4, 0x2040C0FFu, 0x00FFFF80u}, {4, 6, 0x0054446Bu, 0x00808080u}, {5, 6, 0x00400099u, 0x00FFFFFFu},
        {6, 0, 0x00C08040u, 0x00808080u}, {7, 2, 0x00102030u, 0x00FFFFFFu}, {0, 5, 0x00FFFFFFu, 0x00FFFFFFu},
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
        {45, 3, 80, 10, 50, 25}, {-30, 2, -2, 12, -20, 28}, {3, -20, 30, -10, 12, -2},   {3, 31, 30, 33, 12, 60},
        {3, 12, 38, 12, 20, 12}, {-10, 7.25f, 50, 7.25f, 20, 7.25f}, {5, 0, 30, 0, 15, 0}, {3, 3, 13, 13, 23, 23},
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
        {NULL, kTriTexWidth, kTriTexHeight, triPalette}, {triTexels, kTriTexWidth, kTriTexHeight, NULL},
        {triTexels, 0, kTriTexHeight, triPalette},       {triTexels, kTriTexWidth, 0, triPalette},
    };
    const Triangle* plain = &patterned[0].t;
    /* 41 x 31 pixels with a 173-byte pitch: 9 bytes of padding, rows at every alignment. */
    Image image = makeImage(41, 31, 173, 7), tiny = makeImage(8, 16, 36, 9);
    Triangle t;
    size_t i;
    int k;

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
        drawTriangleAndCheck(api, &image, &t, 0, TriExact,
                             triPalette[triTexels[v * kTriTexWidth + u]], "DRAWTRI one texel",
                             out);
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
        static const Triangle most = {{-60, -40, 70, -40, 4, 15}, {0.5f, 0.5f, 31.5f, 0.5f, 0.5f, 15.5f},
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

int runHostScenario(const VelkanoApi* api, FILE* out) {
    /* 7 x 5 pixels, two words of padding per row: 45 words, an odd count, so the last
     * word is left alone by add and sub. */
    Image image = makeImage(7, 5, 36, 1);
    Image tiny = makeImage(2, 1, 8, 2);
    unsigned char tinyBefore[8];
    long i;

    checks = failures = 0;
    /* A triangle before the first INIT: no image and no layers, so nothing to draw into. */
    fillTriangleTextures();
    bindTriangleTexture(api, triPalette, 0);
    {
        static const Triangle early = {{1, 1, 6, 2, 3, 5}, {0, 0, 8, 0, 0, 8}, {0x00FFFFFFu, 0x00808080u, 0}};
        api->drawTri(early.xy, early.uv, early.colours);
    }
    api->init(image.pixels, image.width, image.height, image.pitch);
    flashSequence(api, &image, out);

    /* INIT and UNLOAD cycles with images of many shapes, some UNLOADs doubled. */
    for (i = 0; i < 300; ++i) {
        const int32_t width = 1 + (int32_t)(i % 37), height = 1 + (int32_t)(i % 23);
        Image cycle = makeImage(width, height, 4 * width + 4 * (int32_t)(i % 3) + (int32_t)(i % 5 == 0), (uint32_t)i);
        api->init(cycle.pixels, cycle.width, cycle.height, cycle.pitch);
        if (i % 10 == 0) flashAndCheck(api, &cycle, (FlashKind)(i % 3), 0x11223344u * (uint32_t)i, out);
        api->unload();
        if (i % 3 == 0) api->unload();
        checkCanaries(&cycle, "canaries through INIT/UNLOAD cycles");
        free(cycle.storage);
    }
    api->init(NULL, 0, 0, 0);
    api->flashAdd(0xFFFFFFFFu); /* no image: nothing to do */
    api->unload();

    /* Many calls in a row: a callee that did not remove its arguments would move the stack
     * by 4 bytes per call and overflow it long before the end. */
    memcpy(tinyBefore, tiny.pixels, sizeof tinyBefore);
    api->init(tiny.pixels, tiny.width, tiny.height, tiny.pitch);
    for (i = 0; i < 400000; ++i) {
        api->beginUpdate();
        api->flashAdd(0);
        api->flashSub(0);
        api->flashMod(0x80808080u);
        api->endUpdate();
    }
    api->pause(0);
    api->pause(1);
    api->pause(-1); /* returns at once rather than sleeping forever */
    check(memcmp(tinyBefore, tiny.pixels, sizeof tinyBefore) == 0, "identity flashes keep the image", 0);
    checkCanaries(&tiny, "canaries after many calls");
    api->unload();

    /* The first image again, after all that. */
    api->init(image.pixels, image.width, image.height, image.pitch);
    flashSequence(api, &image, out);
    api->unload();

    tileSequence(api, out);
    triangleSequence(api, out);
    perspectiveSequence(api, out);

    free(image.storage);
    free(tiny.storage);
    fprintf(stderr, "host: %d checks, %d failed\n", checks, failures);
    return failures;
}
