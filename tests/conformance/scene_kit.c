/* scene_kit.c: the data and the helpers the conformance scenes share. */
#include "scene_kit.h"

#include <stdlib.h>
#include <string.h>

/* ---- Data ----------------------------------------------------------------------------- */

uint8_t checker[kCheckerSide * kCheckerSide], bricks[kBrickWidth * kBrickHeight];
uint8_t stripes[kStripeWidth * kStripeHeight], oddTexels[kOddTexWidth * kOddTexHeight];
uint32_t warm[256], cool[256], displace[256];
uint32_t light7x5[7 * 5], light12x6[12 * 6], light8x8[8 * 8], light1x1[1];

uint32_t randomChannels(uint32_t xByte, unsigned r0, unsigned rSpan, unsigned g0, unsigned gSpan, unsigned b0,
                        unsigned bSpan, uint32_t* state) {
    const uint32_t r = r0 + nextRandom(state) % rSpan;
    const uint32_t g = g0 + nextRandom(state) % gSpan;
    const uint32_t b = b0 + nextRandom(state) % bSpan;
    return r | g << 8 | b << 16 | (xByte & 0xFFu) << 24;
}

/* Brighter to the right and downwards, a channel each, with a little noise. */
static void fillLight(uint32_t* words, int width, int height, uint32_t* state) {
    int x, y;
    for (y = 0; y < height; ++y)
        for (x = 0; x < width; ++x) {
            const unsigned across = 0x60u * (unsigned)x / (unsigned)width;
            const unsigned down = 0x60u * (unsigned)y / (unsigned)height;
            words[y * width + x] = randomChannels(nextRandom(state), 0x20 + across, 0x20, 0x20 + down, 0x20,
                                                  0x50 - across / 2, 0x20, state);
        }
}

void fillSceneData(void) {
    uint32_t state = 0x5EED1u;
    int x, y, i;
    /* Checkerboard of 4 x 4 squares, half of them index 0 (skipped by tile mode 1). */
    for (y = 0; y < kCheckerSide; ++y)
        for (x = 0; x < kCheckerSide; ++x)
            checker[y * kCheckerSide + x] = ((x ^ y) & 4) ? 0 : (uint8_t)(1 + nextRandom(&state) % 255);
    /* Bricks of 16 x 8 in staggered rows, index 0 mortar, each brick its own shade. */
    for (y = 0; y < kBrickHeight; ++y)
        for (x = 0; x < kBrickWidth; ++x) {
            const int row = y / 8, shifted = x + (row & 1) * 8;
            const int mortar = y % 8 == 7 || shifted % 16 == 15;
            const int brick = shifted / 16 + row * 5;
            bricks[y * kBrickWidth + x] = mortar ? 0 : (uint8_t)(16 + brick * 37 % 96 + nextRandom(&state) % 8);
        }
    for (y = 0; y < kStripeHeight; ++y)
        for (x = 0; x < kStripeWidth; ++x)
            stripes[y * kStripeWidth + x] = (uint8_t)(x * 8 + y * 3 + nextRandom(&state) % 4);
    for (i = 0; i < kOddTexWidth * kOddTexHeight; ++i) oddTexels[i] = (uint8_t)nextRandom(&state);
    /* Ramps with a little noise, so neighbouring indices look alike. */
    for (i = 0; i < 256; ++i) {
        const unsigned up = (unsigned)i / 2, down = 127 - (unsigned)i / 2;
        warm[i] = randomChannels(nextRandom(&state), 0x70 + up, 16, 0x30 + up * 3 / 4, 16, down / 2, 16, &state);
        cool[i] = randomChannels(nextRandom(&state), up / 3, 16, 0x30 + down * 3 / 4, 16, 0x70 + up, 16, &state);
        displace[i] = nextRandom(&state);
        displace[i] ^= nextRandom(&state) << 24;
    }
    fillLight(light7x5, 7, 5, &state);
    fillLight(light12x6, 12, 6, &state);
    fillLight(light8x8, 8, 8, &state);
    light1x1[0] = 0xA0406080u;
}

/* ---- Calls ---------------------------------------------------------------------------- */

/* The two ignored words get values that would show if they were read. */
void drawTiles(const VelkanoApi* api, const TileCall* tiles, size_t count) {
    size_t i;
    for (i = 0; i < count; ++i) {
        const TileCall* t = &tiles[i];
        api->drawTile(t->x, t->y, t->w, t->h, t->uOffset, t->vOffset, t->uSpan, t->vSpan, 0xDEADBEEFu, 0x7FC00001u,
                      t->tint);
    }
}

void drawTris(const VelkanoApi* api, const TriCall* tris, size_t count) {
    size_t i;
    for (i = 0; i < count; ++i) api->drawTri(tris[i].xy, tris[i].uv, tris[i].colours);
}

void drawPersps(const VelkanoApi* api, const PerspCall* tris, size_t count, int lit) {
    size_t i;
    for (i = 0; i < count; ++i) api->drawPerspTri(tris[i].xy, tris[i].uv, lit ? tris[i].lightUv : NULL, tris[i].z);
}

/* ---- Checks --------------------------------------------------------------------------- */

unsigned char* snapshot(const Image* image) {
    unsigned char* copy = (unsigned char*)malloc(image->sizeBytes);
    memcpy(copy, image->pixels, image->sizeBytes);
    return copy;
}

long firstDifference(const Image* image, const unsigned char* before, size_t from, size_t to) {
    size_t o;
    for (o = from; o < to; ++o)
        if (image->pixels[o] != before[o]) return (long)o;
    return -1;
}

void checkUnchanged(const Image* image, const unsigned char* before, const char* what) {
    const long at = firstDifference(image, before, 0, image->sizeBytes);
    check(at < 0, what, (int)at);
}

void checkChanged(const Image* image, const unsigned char* before, const char* what) {
    check(firstDifference(image, before, 0, image->sizeBytes) >= 0, what, 0);
}

static int32_t usableWidth(const Image* image) {
    return image->width < image->pitch / 4 ? image->width : image->pitch / 4;
}

void checkPaddingKept(const Image* image, const unsigned char* before, int lastRowToo, const char* what) {
    const size_t pitch = (size_t)image->pitch, rowBytes = 4 * (size_t)usableWidth(image);
    long at = -1;
    int32_t row;
    for (row = 0; row < image->height && at < 0; ++row) {
        const size_t start = (size_t)row * pitch;
        at = firstDifference(image, before, start + (lastRowToo && row == image->height - 1 ? 0 : rowBytes),
                             start + pitch);
    }
    check(at < 0, what, (int)at);
}

/* ---- Scene set-up ---------------------------------------------------------------------- */

void beginScene(const VelkanoApi* api, Image* image, int32_t width, int32_t height, int32_t pitch, uint32_t seed) {
    *image = makeImage(width, height, pitch, seed);
    api->init(image->pixels, width, height, pitch);
    api->setTexture(NULL, 0, 0, NULL, 0);
    api->setLightmap(NULL, 0, 0);
}

void background(const VelkanoApi* api, const Image* image, const uint8_t* indices, int32_t texWidth, int32_t texHeight,
                const uint32_t* palette, float uSpan, float vSpan) {
    const TileCall whole = {0,     0,          (float)(image->width - 1), (float)(image->height - 1), 0, 0, uSpan,
                            vSpan, 0xFFFFFFFFu};
    api->setTexture(indices, texWidth, texHeight, palette, 0);
    drawTiles(api, &whole, 1);
}
