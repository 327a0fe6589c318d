/* inspect_host.c: a small host whose trace the inspector's tests read. Its scene is known from
 * its geometry alone, so a test can work out what the inspector must say:
 *
 *   image 64 x 48 pixels, pitch 66 words, black at INIT; texture 8 x 8, every texel index 1,
 *   palette[1] white; blend mode 0, so a tile writes its tint times white ((255 * t) >> 8 per
 *   channel: 0xC0 gives 0xBF) over every pixel it covers (a tile from x to x + w covers both
 *   ends: w + 1 columns).
 *
 *   frame 0: FLASHSUB(0x00FFFFFF) (black stays black: it covers every pixel, changes none)
 *            tile A: columns 4-19,  rows 4-19,  tint 0x00C01010
 *            tile B: columns 10-25, rows 10-25, tint 0x0010C010
 *            tile C: columns 12-16, rows 2-32,  tint 0x001010C0
 *            so pixel (12, 12) is written by A, B and C, in that order
 *   frame 1: tile C again (covers (12, 12), changes nothing), a perspective triangle with a
 *            lightmap, an affine triangle, then FLASHADD(0x00101010), which changes every pixel
 *   frame 2: the host itself paints columns 40-49 of rows 30-39 with 0x00FF00FF between frames,
 *            then one affine triangle
 *   then UNLOAD.
 *
 * usage: velkano_inspect_host [X]: X moves tile B (default 10), for a trace that differs from
 * the usual one in that call's x alone. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "velkano.h"

enum { kWidth = 64, kHeight = 48, kPitchWords = 66, kTexSide = 8, kLightSide = 4 };

static uint32_t image[kPitchWords * kHeight];

static void tile(float x, float y, float w, float h, uint32_t tint) {
    DRAWTILE(x, y, w, h, 0.0f, 0.0f, (float)kTexSide, (float)kTexSide, 0, 0, tint);
}

int main(int argc, char** argv) {
    const float tileBx = argc > 1 ? (float)atof(argv[1]) : 10.0f;
    static uint8_t texels[kTexSide * kTexSide];
    static uint32_t palette[256], lightmap[kLightSide * kLightSide];
    static const float triangle[6] = {30.0f, 4.0f, 60.0f, 20.0f, 34.0f, 44.0f};
    static const float texCoords[6] = {0.0f, 0.0f, 7.5f, 1.0f, 2.0f, 7.0f};
    static const float lightCoords[6] = {0.5f, 0.5f, 3.0f, 1.0f, 1.0f, 3.5f};
    static const float depths[3] = {1.0f, 2.0f, 3.0f};
    static const uint32_t colours[3] = {0x00808080u, 0x004080C0u, 0x00C08040u};
    static const float small[6] = {44.0f, 2.0f, 62.0f, 8.0f, 50.0f, 26.0f};
    int i, x, y;

    memset(texels, 1, sizeof texels);
    palette[1] = 0x00FFFFFFu;
    for (i = 0; i < kLightSide * kLightSide; ++i) lightmap[i] = 0x00404040u + (uint32_t)i * 0x00030201u;

    INIT(image, kWidth, kHeight, 4 * kPitchWords);
    SETTEXTURE(texels, kTexSide, kTexSide, palette, 0);

    BEGINUPDATE();
    FLASHSUB(0x00FFFFFFu);
    tile(4.0f, 4.0f, 15.0f, 15.0f, 0x00C01010u);
    tile(tileBx, 10.0f, 15.0f, 15.0f, 0x0010C010u);
    tile(12.0f, 2.0f, 4.0f, 30.0f, 0x001010C0u);
    ENDUPDATE();

    BEGINUPDATE();
    tile(12.0f, 2.0f, 4.0f, 30.0f, 0x001010C0u);
    SETLIGHTMAP(lightmap, kLightSide, kLightSide);
    DRAWPERSPTRI(triangle, texCoords, lightCoords, depths);
    DRAWTRI(triangle, texCoords, colours);
    FLASHADD(0x00101010u);
    ENDUPDATE();

    for (y = 30; y < 40; ++y)
        for (x = 40; x < 50; ++x) image[y * kPitchWords + x] = 0x00FF00FFu;
    BEGINUPDATE();
    DRAWTRI(small, texCoords, colours);
    ENDUPDATE();

    UNLOAD();
    return 0;
}
