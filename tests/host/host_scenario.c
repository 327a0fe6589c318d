#include "host_scenario.h"

#include <stdlib.h>
#include <string.h>

enum { kCanaryBytes = 32, kCanary = 0xA5 };

typedef enum { FlashAdd, FlashSub, FlashMod } FlashKind;

static int checks, failures;

static void check(int ok, const char* what, int detail) {
    ++checks;
    if (!ok) {
        ++failures;
        fprintf(stderr, "host: FAILED %s (%d)\n", what, detail);
    }
}

static uint32_t nextRandom(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

/* An image of pitch x height bytes, placed at an odd address between two canary zones. */
typedef struct Image {
    unsigned char* storage;
    unsigned char* pixels;
    int32_t width, height, pitch;
    size_t sizeBytes;
} Image;

static Image makeImage(int32_t width, int32_t height, int32_t pitch, uint32_t seed) {
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

static void checkCanaries(const Image* image, const char* when) {
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

int runHostScenario(const VelkanoApi* api, FILE* out) {
    /* 7 x 5 pixels, two words of padding per row: 45 words, an odd count, so the last
     * word is left alone by add and sub. */
    Image image = makeImage(7, 5, 36, 1);
    Image tiny = makeImage(2, 1, 8, 2);
    unsigned char tinyBefore[8];
    long i;

    checks = failures = 0;
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

    free(image.storage);
    free(tiny.storage);
    fprintf(stderr, "host: %d checks, %d failed\n", checks, failures);
    return failures;
}
