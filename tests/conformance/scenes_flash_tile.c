/* scenes_flash_tile.c: the conformance scenes of the flashes and of DRAWTILE. */
#include <stdlib.h>
#include <string.h>

#include "scene_kit.h"

/* 33 x 21 pixels without padding: 693 words, an odd count, so add and sub, which work in
 * 8-byte groups, leave the last word alone. */
void flashAddSubOddBlock(const VelkanoApi* api, Image* image) {
    static const uint32_t adds[] = {0x40302010u, 0xFF000000u, 0x00204060u, 0x01010101u};
    static const uint32_t subs[] = {0x08102040u, 0x0000FF00u, 0x30303030u, 0x00010203u};
    unsigned char lastWord[4], *before;
    size_t i;
    beginScene(api, image, 33, 21, 132, 101);
    memcpy(lastWord, image->pixels + image->sizeBytes - 4, 4);
    before = snapshot(image);
    api->flashAdd(0);
    api->flashSub(0);
    checkUnchanged(image, before, "FLASHADD and FLASHSUB of 0 keep the image");
    for (i = 0; i < COUNT(adds); ++i) {
        api->flashAdd(adds[i]);
        api->flashSub(subs[i]);
    }
    check(memcmp(lastWord, image->pixels + image->sizeBytes - 4, 4) == 0,
          "FLASHADD and FLASHSUB leave the last word of an odd block", 0);
    free(before);
}

/* 40 x 30 pixels, 12 bytes of padding a row that the flashes change too. */
void flashModPadded(const VelkanoApi* api, Image* image) {
    static const uint32_t mods[] = {0x00FFFFFFu, 0x40404040u, 0x80A0C0FFu, 0xFF204080u, 0x7F818283u};
    unsigned char* before;
    size_t i;
    beginScene(api, image, 40, 30, 172, 102);
    before = snapshot(image);
    api->flashMod(0x80808080u);
    checkUnchanged(image, before, "FLASHMOD of 0x80808080 keeps the image");
    for (i = 0; i < COUNT(mods); ++i) api->flashMod(mods[i]);
    api->flashAdd(0x10101010u);
    free(before);
}

/* 25 x 17 pixels with a 103-byte pitch: rows at every alignment and a block of 1,751 bytes,
 * whose last 7 bytes add and sub leave and whose last 3 bytes mod leaves. */
void flashOddPitch(const VelkanoApi* api, Image* image) {
    static const TileCall tile = {-2, 1, 26, 14, 0, 0, 16, 16, 0xFFC0A080u};
    unsigned char tail[3];
    beginScene(api, image, 25, 17, 103, 103);
    memcpy(tail, image->pixels + image->sizeBytes - 3, 3);
    api->setTexture(checker, kCheckerSide, kCheckerSide, warm, 0);
    drawTiles(api, &tile, 1);
    api->flashAdd(0x20406080u);
    api->flashMod(0x70A0FF80u);
    api->flashSub(0x10203040u);
    api->flashMod(0x90909090u);
    check(memcmp(tail, image->pixels + image->sizeBytes - 3, 3) == 0, "flashes leave the bytes past the last word", 0);
}

/* Every tile mode with several tints over random bytes; the modes that write nothing. */
void tileModes(const VelkanoApi* api, Image* image) {
    static const struct {
        int32_t mode;
        TileCall tile;
    } draws[] = {
        {0, {2, 3, 40, 30, 0, 0, 16, 16, 0xFFFFFFFFu}},   {1, {30, 10, 48, 48, 3, 5, 16, 16, 0x80FF40C0u}},
        {2, {55, 2, 40, 40, -4, 7, 32, 32, 0x00C0C0C0u}}, {3, {10, 35, 80, 30, 0, 0, 16, 8, 0x00FF80FFu}},
        {3, {60, 50, 39, 19, 1, 1, 8, 8, 0xFFFFFFFFu}},   {0, {85, 40, 14, 10, 0, 0, 16, 16, 0x00000000u}},
        {2, {0, 0, 99, 69, 0, 0, 64, 48, 0x40404040u}},   {1, {5, 45, 20, 20, -7, -9, 5, 5, 0x00FFFFFFu}},
    };
    static const int32_t silent[] = {4, 5, -1, 7, 0x7FFFFFFF};
    static const TileCall big = {0, 0, 99, 69, 0, 0, 16, 16, 0xFFFFFFFFu};
    unsigned char *initial, *before;
    size_t i;
    beginScene(api, image, 100, 70, 412, 104);
    initial = snapshot(image);
    for (i = 0; i < COUNT(draws); ++i) {
        api->setTexture(checker, kCheckerSide, kCheckerSide, warm, draws[i].mode);
        drawTiles(api, &draws[i].tile, 1);
    }
    before = snapshot(image);
    for (i = 0; i < COUNT(silent); ++i) {
        api->setTexture(checker, kCheckerSide, kCheckerSide, warm, silent[i]);
        drawTiles(api, &big, 1);
    }
    checkUnchanged(image, before, "DRAWTILE in modes 4, 5, -1, 7 and 2^31 - 1 draws nothing");
    checkPaddingKept(image, initial, 0, "DRAWTILE keeps the row padding");
    free(initial);
    free(before);
}

/* Texel-for-texel and scrolled tiles partly outside on every side, offsets beyond the
 * texture both ways; tiles wholly outside. */
void tileScrollWrap(const VelkanoApi* api, Image* image) {
    static const TileCall copies[] = {
        {-10, -6, 50, 40, 0, 0, 50, 40, 0xFFFFFFFFu},         {90, -8, 40, 30, 13, -9, 40, 30, 0x00E0C0A0u},
        {-20, 60, 60, 30, -70, 100, 60, 30, 0x00A0E0C0u},     {100, 65, 35, 25, 1000, -1000, 35, 25, 0x00FFFFFFu},
        {30, 20, 60, 40, -3.25f, 7.75f, 60, 40, 0x00C0C0FFu}, {44, 50, 70, 12, 200.5f, -33.5f, 35, 6, 0x00FFE0E0u},
    };
    static const TileCall scrolled = {10, 10, 100, 60, 5, 5, 25, 15, 0x00FFFFFFu};
    static const TileCall outside[] = {
        {130, 10, 20, 20, 0, 0, 16, 16, 0xFFFFFFFFu},
        {10, -50, 20, 20, 0, 0, 16, 16, 0xFFFFFFFFu},
        {-40, 10, 20, 20, 0, 0, 16, 16, 0xFFFFFFFFu},
        {10, 81, 20, 20, 0, 0, 16, 16, 0xFFFFFFFFu},
    };
    unsigned char* before;
    beginScene(api, image, 120, 80, 480, 105);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, cool, 0);
    drawTiles(api, copies, COUNT(copies));
    api->setTexture(checker, kCheckerSide, kCheckerSide, warm, 1);
    drawTiles(api, &scrolled, 1);
    before = snapshot(image);
    drawTiles(api, outside, COUNT(outside));
    checkUnchanged(image, before, "DRAWTILE wholly outside draws nothing");
    free(before);
}

/* Magnified, minified, mirrored, one-pixel and non-integral scales. */
void tileScaled(const VelkanoApi* api, Image* image) {
    static const TileCall copies[] = {
        {4, 4, 100, 60, 0, 0, 8, 6, 0xFFFFFFFFu},
        {70, 50, 40, 30, 0, 0, 96, 40, 0x00FFC080u},
        {10, 66, 50, 25, 0, 0, -16, 8, 0x00C0FFC0u},
        {64, 4, 30, 40, 2, 3, 16, -24, 0x00FFFFFFu},
        {120, 90, 0, 0, 0, 0, 5, 5, 0x00FFFFFFu},
        {90, 70, 33.3f, 17.7f, 0.1f, 0.9f, 21.1f, 3.3f, 0x00E0E0E0u},
        {1.75f, 80.25f, 60, 10, 0, 0, 1000, 0.25f, 0x00FFFFFFu},
    };
    static const TileCall wash = {0, 0, 127, 95, 0, 0, 3, 2, 0x00302010u};
    unsigned char* initial;
    beginScene(api, image, 128, 96, 548, 106);
    initial = snapshot(image);
    api->setTexture(stripes, kStripeWidth, kStripeHeight, cool, 0);
    drawTiles(api, copies, COUNT(copies));
    api->setTexture(stripes, kStripeWidth, kStripeHeight, warm, 2);
    drawTiles(api, &wash, 1);
    checkPaddingKept(image, initial, 0, "scaled DRAWTILE keeps the row padding");
    free(initial);
}

/* Positions and texture coordinates on halves: rounding ties go to even. */
void tileFractionTies(const VelkanoApi* api, Image* image) {
    static const TileCall copies[] = {
        {2.5f, 3.5f, 10, 8, 0, 0, 16, 16, 0xFFFFFFFFu},     /* columns 2..12, rows 4..12 */
        {13.5f, 0.5f, 7, 5, 0.5f, 0.5f, 7, 5, 0x00FFD0B0u}, /* columns 14..20, rows 0..6 */
        {20.5f, 20.5f, 21, 21, -0.5f, 1.5f, 16, 16, 0x00B0D0FFu}, {-0.5f, 30.5f, 11, 11, 0, 0, 11, 11, 0x00FFFFFFu},
        {30, 30, 16, 16, 0.5f, 0.5f, 16, 16, 0x00E0FFE0u}, /* u = k + 0.5 for every column */
        {47.5f, 47.5f, 10, 10, 0, 0, 16, 16, 0xFFFFFFFFu}, /* the last row and column only */
    };
    static const TileCall halves[] = {
        {44, 8, 16, 16, 1, 0, 8, 8, 0x00FFFFFFu}, /* u = (k + 1) / 2: ties on every other column */
        {3, 36, 20, 9, 1.5f, 2.5f, 10, 4.5f, 0x00C0C0C0u},
    };
    beginScene(api, image, 64, 48, 276, 107);
    api->setTexture(checker, kCheckerSide, kCheckerSide, warm, 0);
    drawTiles(api, copies, COUNT(copies));
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 1);
    drawTiles(api, halves, COUNT(halves));
}

/* 64 pixels wide with a 202-byte pitch: drawn as 50 pixels wide, the last two bytes of a
 * row are never drawn; the flash at the end changes them. */
void tileNarrowPitch(const VelkanoApi* api, Image* image) {
    static const TileCall tiles[] = {
        {-4, -4, 80, 60, 0, 0, 24, 18, 0xFFFFFFFFu},
        {30, 10, 40, 20, 3, 1, 40, 20, 0x00FF8080u},
    };
    unsigned char* initial;
    beginScene(api, image, 64, 40, 202, 108);
    initial = snapshot(image);
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 0);
    drawTiles(api, &tiles[0], 1);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 2);
    drawTiles(api, &tiles[1], 1);
    checkPaddingKept(image, initial, 0, "DRAWTILE stays within pitch / 4 pixels");
    api->flashSub(0x00101010u);
    free(initial);
}
