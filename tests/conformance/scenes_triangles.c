/* scenes_triangles.c: the conformance scenes of DRAWTRI and DRAWPERSPTRI. */
#include <stdlib.h>
#include <string.h>

#include "scene_kit.h"

/* Modes 0 and 1 (the same for triangles) under varied vertex colours over random bytes. */
void triCopyModes(const VelkanoApi* api, Image* image) {
    static const TriCall bricksTris[] = {
        {{5, 4, 70, 10, 20, 60}, {0, 0, 64, 0, 0, 32}, {0x00808080u, 0x00FFFFFFu, 0x00404040u}},
        {{110, 5, 60, 40, 115, 85}, {3.5f, 1.25f, 40, -7, 60, 30}, {0x000000FFu, 0x0000FF00u, 0x00FF0000u}},
        {{30, 50, 90, 45, 55, 88}, {0, 0, 32, 0, 16, 24}, {0xFF808080u, 0x00C0A080u, 0x80FFFFFFu}},
    };
    static const TriCall checkerTris[] = {
        {{10, 62, 50, 62, 30, 88}, {0, 0, 16, 0, 8, 13}, {0x00808080u, 0x00808080u, 0x00808080u}},
        {{64, 20, 64, 70, 100, 45.5f}, {0, 0, 0, 32, 24, 16}, {0x00FF4020u, 0x002040FFu, 0x0040FF20u}},
        {{80.25f, 60.75f, 119.5f, 62.5f, 100.5f, 89.5f},
         {0.5f, 0.5f, 15.5f, 0.5f, 8, 15.5f},
         {0x00FFFFFFu, 0x00000000u, 0x00808080u}},
    };
    unsigned char* initial;
    beginScene(api, image, 120, 90, 488, 109);
    initial = snapshot(image);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    drawTris(api, bricksTris, COUNT(bricksTris));
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 1);
    drawTris(api, checkerTris, COUNT(checkerTris));
    checkPaddingKept(image, initial, 1, "DRAWTRI keeps the padding and the last row");
    free(initial);
}

/* Add, modulate and multiply over a textured background, overlapping. */
void triBlendModes(const VelkanoApi* api, Image* image) {
    static const struct {
        int32_t mode;
        TriCall tri;
    } draws[] = {
        {2, {{4, 4, 60, 8, 14, 50}, {0, 0, 64, 0, 0, 32}, {0x00404040u, 0x00808080u, 0x00202020u}}},
        {2, {{50, 30, 115, 20, 90, 80}, {5, 5, 40, 0, 20, 30}, {0x00FF0000u, 0x0000FF00u, 0x000000FFu}}},
        {3, {{20, 40, 80, 35, 40, 88}, {0, 0, 64, 8, 16, 40}, {0x00808080u, 0x00FFFFFFu, 0x00C0C0C0u}}},
        {3, {{70, 2, 118, 10, 100, 60}, {-4, -4, 30, 0, 10, 30}, {0x00FF8040u, 0x004080FFu, 0x00808080u}}},
        {4, {{2, 50, 50, 60, 10, 88}, {0, 0, 40, 10, 0, 30}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}}},
        {4, {{30, 10, 100, 50, 60, 85}, {2, 2, 60, 20, 30, 40}, {0x00A0FFA0u, 0x00FFA0A0u, 0x00A0A0FFu}}},
    };
    unsigned char* before;
    size_t i;
    beginScene(api, image, 120, 90, 480, 110);
    background(api, image, checker, kCheckerSide, kCheckerSide, cool, 32, 24);
    before = snapshot(image);
    for (i = 0; i < COUNT(draws); ++i) {
        api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, draws[i].mode);
        drawTris(api, &draws[i].tri, 1);
    }
    checkPaddingKept(image, before, 1, "DRAWTRI keeps the last row");
    free(before);
}

/* Displacement (mode 6) over stripes, modes that write nothing (their layers still fill,
 * and the next triangle's edges may show it), then copy and displacement again. */
void triDisplaceSilent(const VelkanoApi* api, Image* image) {
    static const TriCall shimmer[] = {
        {{10, 10, 70, 14, 30, 60}, {0, 0, 16, 0, 0, 16}, {0x00808080u, 0x00FFFFFFu, 0x00404040u}},
        {{60, 30, 95, 40, 50, 70}, {3, 3, 12, 5, 6, 14}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
    };
    static const int32_t silent[] = {5, 9, -3, 7};
    static const TriCall quiet = {{20, 20, 80, 25, 40, 65}, {0, 0, 16, 0, 8, 16}, {0x00FFFFFFu, 0x00808080u, 0}};
    static const TriCall after[] = {
        {{22, 18, 78, 27, 42, 63}, {0, 0, 64, 0, 0, 32}, {0x00808080u, 0x00808080u, 0x00808080u}},
        {{0, 40, 95, 45, 20, 71}, {0, 0, 12, 2, 4, 8}, {0x00C0C0C0u, 0x00FFFFFFu, 0x00FFFFFFu}},
    };
    unsigned char *initial, *before;
    size_t i;
    beginScene(api, image, 96, 72, 388, 111);
    background(api, image, stripes, kStripeWidth, kStripeHeight, cool, 48, 24);
    initial = snapshot(image);
    api->setTexture(checker, kCheckerSide, kCheckerSide, displace, 6);
    drawTris(api, shimmer, COUNT(shimmer));
    before = snapshot(image);
    for (i = 0; i < COUNT(silent); ++i) {
        api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, silent[i]);
        drawTris(api, &quiet, 1);
    }
    checkUnchanged(image, before, "DRAWTRI in modes 5, 9, -3 and 7 draws nothing");
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    drawTris(api, &after[0], 1);
    api->setTexture(checker, kCheckerSide, kCheckerSide, displace, 6);
    drawTris(api, &after[1], 1);
    checkPaddingKept(image, initial, 1, "displacement keeps the padding and the last row");
    free(initial);
    free(before);
}

/* Triangles cut by every edge, reaching below the image (squeezed into the rows left),
 * slivers, and ones that cover no pixel; a 333-byte pitch puts rows at every alignment. */
void triClipped(const VelkanoApi* api, Image* image) {
    static const TriCall cut[] = {
        {{-30, 10, 20, 5, 5, 40}, {0, 0, 32, 0, 0, 16}, {0x00FFFFFFu, 0x00808080u, 0x00404040u}},
        {{20, -25, 60, 10, 30, 20}, {0, 0, 64, 0, 16, 32}, {0x00808080u, 0x00FF8080u, 0x008080FFu}},
        {{60, 30, 110, 35, 70, 50}, {0, 0, 40, 8, 8, 24}, {0x0080FF80u, 0x00808080u, 0x00FFFFFFu}},
        {{10, 40, 40, 45, 25, 100}, {0, 0, 32, 0, 16, 48}, {0x00808080u, 0x00808080u, 0x00FFFFFFu}},
        {{50, -40, 79, 20, 60, 130}, {0, 0, 16, 16, 0, 64}, {0x00C0C0C0u, 0x00FFFFFFu, 0x00606060u}},
        {{0, 0, 79, 1, 0, 2}, {0, 0, 64, 0, 0, 2}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
        {{40.5f, 25.5f, 41.5f, 26.5f, 40, 27.5f}, {0, 0, 1, 0, 0, 1}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
    };
    static const TriCall none[] = {
        {{3, 3, 13, 13, 23, 23}, {0, 0, 8, 8, 16, 16}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
        {{5, 20, 60, 20, 30, 20}, {0, 0, 8, 0, 4, 0}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
        {{40, 40, 40, 40, 40, 40}, {0, 0, 0, 0, 0, 0}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
        {{10, 60, 40, 62, 20, 80}, {0, 0, 8, 0, 4, 8}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
        {{-40, 5, -2, 15, -20, 40}, {0, 0, 8, 0, 4, 8}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
        {{90, 5, 130, 15, 100, 40}, {0, 0, 8, 0, 4, 8}, {0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}},
    };
    unsigned char *initial, *before;
    beginScene(api, image, 80, 60, 333, 112);
    initial = snapshot(image);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    drawTris(api, cut, 4);
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 2);
    drawTris(api, cut + 4, COUNT(cut) - 4);
    before = snapshot(image);
    drawTris(api, none, COUNT(none));
    checkUnchanged(image, before, "DRAWTRI with no area or wholly outside draws nothing");
    checkPaddingKept(image, initial, 1, "clipped DRAWTRI keeps the padding and the last row");
    free(initial);
    free(before);
}

/* A jittered 16 x 12 grid of 10-pixel cells, two triangles each, shared vertices with their
 * own colours and texture coordinates: the edges between neighbours. */
void triMesh(const VelkanoApi* api, Image* image) {
    enum { kColumns = 16, kRows = 12, kCell = 10 };
    static float vx[kRows + 1][kColumns + 1], vy[kRows + 1][kColumns + 1];
    static uint32_t colour[kRows + 1][kColumns + 1];
    uint32_t state = 77;
    int i, j, k;
    beginScene(api, image, 160, 120, 640, 113);
    for (j = 0; j <= kRows; ++j)
        for (i = 0; i <= kColumns; ++i) {
            /* Up to 1.5 pixels either way, in quarters. */
            vx[j][i] = (float)(kCell * i) + (float)((int)(nextRandom(&state) % 13) - 6) / 4.0f;
            vy[j][i] = (float)(kCell * j) + (float)((int)(nextRandom(&state) % 13) - 6) / 4.0f;
            colour[j][i] = randomChannels(0, 0x40, 0xC0, 0x40, 0xC0, 0x40, 0xC0, &state);
        }
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    for (j = 0; j < kRows; ++j)
        for (i = 0; i < kColumns; ++i) {
            /* Corners 0 1 / 3 2; the diagonal alternates like a chequerboard. */
            const int cx[4] = {i, i + 1, i + 1, i}, cy[4] = {j, j, j + 1, j + 1};
            static const int flip[2][2][3] = {{{0, 1, 2}, {0, 2, 3}}, {{0, 1, 3}, {1, 2, 3}}};
            const int diagonal = (i + j) & 1;
            for (k = 0; k < 2; ++k) {
                TriCall t;
                int v;
                for (v = 0; v < 3; ++v) {
                    const int c = flip[diagonal][k][v];
                    t.xy[2 * v] = vx[cy[c]][cx[c]];
                    t.xy[2 * v + 1] = vy[cy[c]][cx[c]];
                    t.uv[2 * v] = (float)(8 * cx[c]);
                    t.uv[2 * v + 1] = (float)(8 * cy[c]);
                    t.colours[v] = colour[cy[c]][cx[c]];
                }
                drawTris(api, &t, 1);
            }
        }
}

/* One DRAWPERSPTRI per writing mode, and the silent modes, with the bound texture's
 * palette and depth varying; `lit` with the 7 x 5 lightmap bound, else none. */
static void perspModes(const VelkanoApi* api, Image* image, int lit) {
    static const struct {
        int32_t mode;
        PerspCall tri;
    } draws[] = {
        {0, {{2, 2, 45, 6, 8, 40}, {0, 0, 64, 0, 0, 32}, {0, 0, 7, 0, 0, 5}, {1, 2, 1.5f}}},
        {1, {{50, 2, 99, 4, 70, 30}, {0, 0, 32, 0, 16, 16}, {0, 0, 3.5f, 0, 1, 2.5f}, {3, 1, 2}}},
        {2, {{5, 35, 50, 30, 30, 65}, {-8, 4, 40, 0, 10, 30}, {-2, -1, 9, 0, 3, 6}, {1, 1, 4}}},
        {3, {{55, 30, 100, 40, 60, 66}, {0, 0, 48, 16, 8, 40}, {0.5f, 0.5f, 6.5f, 2, 1, 4.75f}, {2, 5, 1}}},
        {4, {{20, 15, 80, 20, 50, 50}, {2, 2, 50, 6, 20, 30}, {0, 0, 14, 0, 7, 10}, {1, 1, 1}}},
        {6, {{0, 0, 100, 10, 40, 66}, {0, 0, 16, 0, 0, 16}, {0, 0, 7, 1, 2, 5}, {1, 3, 2}}},
    };
    static const int32_t silent[] = {5, 9, -1};
    unsigned char *initial, *before;
    size_t i;
    if (lit) beginScene(api, image, 112, 72, 464, 115);
    else beginScene(api, image, 101, 67, 412, 114); /* not a whole number of 16-pixel blocks */
    background(api, image, checker, kCheckerSide, kCheckerSide, cool, 24, 16);
    initial = snapshot(image);
    if (lit) api->setLightmap(light7x5, 7, 5);
    for (i = 0; i < COUNT(draws); ++i) {
        api->setTexture(bricks, kBrickWidth, kBrickHeight, draws[i].mode == 6 ? displace : warm, draws[i].mode);
        drawPersps(api, &draws[i].tri, 1, lit);
    }
    before = snapshot(image);
    for (i = 0; i < COUNT(silent); ++i) {
        api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, silent[i]);
        drawPersps(api, &draws[4].tri, 1, lit);
    }
    checkUnchanged(image, before, "DRAWPERSPTRI in modes 5, 9 and -1 draws nothing");
    checkPaddingKept(image, initial, 1, "DRAWPERSPTRI keeps the padding and the last row");
    free(initial);
    free(before);
}

void perspModesUnlit(const VelkanoApi* api, Image* image) { perspModes(api, image, 0); }
void perspModesLit(const VelkanoApi* api, Image* image) { perspModes(api, image, 1); }

/* A receding floor and a side wall lit by the 12 x 6 lightmap, a far wall with no lightmap,
 * each a quad of two triangles sharing a diagonal. */
void perspQuad(const VelkanoApi* api, Image* image) {
    static const PerspCall floorQuad[] = {
        {{-20, 95, 148, 95, 88, 40}, {0, 32, 64, 32, 64, 0}, {0, 6, 12, 6, 12, 0}, {1, 1, 4}},
        {{-20, 95, 88, 40, 40, 40}, {0, 32, 64, 0, 0, 0}, {0, 6, 12, 0, 0, 0}, {1, 4, 4}},
    };
    static const PerspCall farWall[] = {
        {{40, 0, 88, 0, 88, 40}, {0, 0, 32, 0, 32, 32}, {0, 0, 0, 0, 0, 0}, {4, 4, 4}},
        {{40, 0, 88, 40, 40, 40}, {0, 0, 32, 32, 0, 32}, {0, 0, 0, 0, 0, 0}, {4, 4, 4}},
    };
    static const PerspCall sideWall[] = {
        {{88, 0, 127, -60, 127, 150}, {0, 0, 48, 0, 48, 32}, {0, 0, 12, 0, 12, 6}, {4, 1.5f, 1.5f}},
        {{88, 0, 127, 150, 88, 40}, {0, 0, 48, 32, 0, 32}, {0, 0, 12, 6, 0, 6}, {4, 1.5f, 4}},
    };
    beginScene(api, image, 128, 96, 512, 116);
    api->setLightmap(light12x6, 12, 6);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    drawPersps(api, floorQuad, COUNT(floorQuad), 1);
    api->setLightmap(NULL, 0, 0);
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 0);
    drawPersps(api, farWall, COUNT(farWall), 0);
    api->setLightmap(light12x6, 12, 6);
    api->setTexture(stripes, kStripeWidth, kStripeHeight, warm, 0);
    drawPersps(api, sideWall, COUNT(sideWall), 1);
}

/* Depths from a quarter to a hundred, triangles across the top and the bottom (squeezed),
 * off the sides and wholly outside, rows at every alignment (a 365-byte pitch); depths
 * scaled by a power of two give the same bytes. */
void perspDepthsClip(const VelkanoApi* api, Image* image) {
    static const PerspCall draws[] = {
        {{10, -25, 80, 20, 40, 45}, {0, 0, 64, 0, 0, 32}, {0, 0, 8, 0, 0, 8}, {0.25f, 8, 64}},
        {{8, 30, 85, 40, 50, 95}, {0, 0, 32, 16, 8, 40}, {-3, 2, 5, 0, 1, 9}, {100, 100, 0.5f}},
        {{-40, -50, 130, 20, 45, 120}, {-20, -10, 80, 0, 30, 60}, {0, 0, 16, 0, 8, 16}, {2, 3, 5}},
        {{-30, 5, 20, 10, -5, 60}, {0, 0, 16, 0, 0, 16}, {0, 0, 4, 0, 0, 4}, {1, 1, 1}},
        {{60, 5, 120, 30, 70, 65}, {1, 1, 33, 9, 5, 27}, {0.25f, 0.75f, 7, 3, 2, 6}, {1.5f, 6, 2.25f}},
    };
    static const PerspCall outside[] = {
        {{10, -30, 80, -20, 40, -2}, {0, 0, 16, 0, 0, 16}, {0, 0, 4, 0, 0, 4}, {1, 2, 3}},
        {{5, 70, 85, 70, 45, 90}, {0, 0, 16, 0, 0, 16}, {0, 0, 4, 0, 0, 4}, {1, 2, 3}},
        {{-50, 5, -3, 20, -20, 50}, {0, 0, 16, 0, 0, 16}, {0, 0, 4, 0, 0, 4}, {1, 2, 3}},
        {{95, 5, 150, 20, 120, 50}, {0, 0, 16, 0, 0, 16}, {0, 0, 4, 0, 0, 4}, {1, 2, 3}},
    };
    static const PerspCall receding = {{12, 8, 80, 30, 30, 60}, {0, 0, 64, 0, 0, 32}, {0, 0, 8, 0, 0, 8}, {1, 3, 7}};
    unsigned char *initial, *before, *once;
    PerspCall scaled = receding;
    size_t i;
    beginScene(api, image, 90, 70, 365, 117);
    background(api, image, stripes, kStripeWidth, kStripeHeight, cool, 32, 16);
    initial = snapshot(image);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    for (i = 0; i < COUNT(draws); ++i) {
        api->setLightmap(i % 2 ? NULL : light8x8, 8, 8);
        drawPersps(api, &draws[i], 1, i % 2 == 0);
    }
    before = snapshot(image);
    api->setLightmap(light8x8, 8, 8);
    drawPersps(api, outside, COUNT(outside), 1);
    checkUnchanged(image, before, "DRAWPERSPTRI wholly outside draws nothing");
    /* The same triangle at depths times 4 over the same bytes. */
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 2);
    drawPersps(api, &receding, 1, 1);
    once = snapshot(image);
    memcpy(image->pixels, before, image->sizeBytes);
    for (i = 0; i < 3; ++i) scaled.z[i] = 4 * receding.z[i];
    drawPersps(api, &scaled, 1, 1);
    checkUnchanged(image, once, "DRAWPERSPTRI with every depth times 4 gives the same bytes");
    checkPaddingKept(image, initial, 1, "squeezed DRAWPERSPTRI keeps the padding and the last row");
    free(initial);
    free(before);
    free(once);
}

/* Lightmaps of 1 x 1, 7 x 5, 12 x 6 and 8 x 8 bound in turn, and none, under one texture;
 * lightmap coordinates negative and beyond the map. */
void perspLightmapRebind(const VelkanoApi* api, Image* image) {
    static const struct {
        const uint32_t* light;
        int32_t width, height;
    } maps[] = {{light1x1, 1, 1}, {light7x5, 7, 5}, {light12x6, 12, 6},
                {NULL, 0, 0},     {light8x8, 8, 8}, {light7x5, 7, 5}};
    static const PerspCall base = {{0, 0, 36, 4, 6, 30}, {0, 0, 32, 0, 0, 32}, {-5, -3, 20, -1, 2, 13}, {1, 2, 1.25f}};
    size_t i;
    beginScene(api, image, 80, 64, 328, 118);
    api->setTexture(checker, kCheckerSide, kCheckerSide, warm, 0);
    for (i = 0; i < COUNT(maps); ++i) {
        PerspCall t = base;
        int v;
        for (v = 0; v < 3; ++v) {
            t.xy[2 * v] += (float)(40 * (i % 2)) + (float)i / 2;
            t.xy[2 * v + 1] += (float)(31 * (i / 2 % 2)) + (float)(i / 4) * 0.5f;
        }
        api->setLightmap(maps[i].light, maps[i].width, maps[i].height);
        drawPersps(api, &t, 1, maps[i].light != NULL);
    }
}
