/* host_flash.c: FLASHADD, FLASHSUB and FLASHMOD through the host's table, on an image with
 * padded rows, through INIT and UNLOAD cycles and in many calls in a row. */
#include <stdlib.h>
#include <string.h>

#include "host_scenario.h"

typedef enum { FlashAdd, FlashSub, FlashMod } FlashKind;

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
    memcpy(want, image->pixels, image->sizeBytes);
    expectFlash(want, image->sizeBytes, kind, colour);
    if (kind == FlashAdd) api->flashAdd(colour);
    else if (kind == FlashSub) api->flashSub(colour);
    else api->flashMod(colour);
    checkBytes(kind == FlashAdd   ? "FLASHADD bytes"
               : kind == FlashSub ? "FLASHSUB bytes"
                                  : "FLASHMOD bytes",
               image, want);
    fwrite(image->pixels, 1, image->sizeBytes, out);
    free(want);
}

static void flashSteps(const VelkanoApi* api, Image* image, FILE* out) {
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

void flashSequence(const VelkanoApi* api, FILE* out) {
    /* 7 x 5 pixels, two words of padding per row: 45 words, an odd count, so the last
     * word is left alone by add and sub. */
    Image image = makeImage(7, 5, 36, 1);
    Image tiny = makeImage(2, 1, 8, 2);
    unsigned char tinyBefore[8];
    long i;

    api->init(image.pixels, image.width, image.height, image.pitch);
    flashSteps(api, &image, out);

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
    checkBytes("identity flashes keep the image", &tiny, tinyBefore);
    checkCanaries(&tiny, "canaries after many calls");
    api->unload();

    /* The first image again, after all that. */
    api->init(image.pixels, image.width, image.height, image.pitch);
    flashSteps(api, &image, out);
    api->unload();

    free(image.storage);
    free(tiny.storage);
}
