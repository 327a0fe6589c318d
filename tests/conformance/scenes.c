/* scenes.c: the scenes of the life cycle and of everything together, the table of all
 * scenes, and the loop that renders them into files. */
#include "scenes.h"

#include <stdlib.h>
#include <string.h>

#include "scene_kit.h"

/* After UNLOAD triangles draw nothing while tiles and flashes still draw into the image;
 * INIT again with a narrower pitch and width over the same bytes, then draw on. */
void lifecycleUnloadReinit(const VelkanoApi* api, Image* image) {
    static const TriCall tri = {{4, 4, 50, 10, 12, 40}, {0, 0, 64, 0, 0, 32}, {0x00FFFFFFu, 0x00808080u, 0x00FF8040u}};
    static const PerspCall persp = {{30, 5, 70, 20, 40, 46}, {0, 0, 64, 0, 0, 32}, {0, 0, 7, 0, 0, 5}, {1, 2, 3}};
    static const TileCall tile = {40, 30, 20, 12, 3, 3, 16, 8, 0x00FFFFFFu};
    const size_t reboundBytes = 284 * 48;
    unsigned char* before;
    beginScene(api, image, 72, 48, 296, 119);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    api->setLightmap(light7x5, 7, 5);
    drawTris(api, &tri, 1);
    drawPersps(api, &persp, 1, 1);
    api->unload();
    before = snapshot(image);
    drawTris(api, &tri, 1);
    drawPersps(api, &persp, 1, 1);
    checkUnchanged(image, before, "triangles after UNLOAD draw nothing");
    drawTiles(api, &tile, 1);
    checkChanged(image, before, "DRAWTILE after UNLOAD draws");
    free(before);
    before = snapshot(image);
    api->flashAdd(0x00102030u);
    checkChanged(image, before, "FLASHADD after UNLOAD changes the image");
    api->unload();
    free(before);

    /* 70 pixels in rows of 284 bytes: the bytes past 284 x 48 are no longer the image's. */
    before = snapshot(image);
    api->init(image->pixels, 70, 48, 284);
    drawTris(api, &tri, 1);
    drawPersps(api, &persp, 1, 1);
    api->setTexture(stripes, kStripeWidth, kStripeHeight, cool, 3);
    drawTiles(api, &tile, 1);
    api->flashMod(0x00A0B0C0u);
    {
        const long at = firstDifference(image, before, reboundBytes, image->sizeBytes);
        check(at < 0, "nothing is written past the rebound image", (int)at);
    }
    free(before);
}

/* Frames bracketed by BEGINUPDATE and ENDUPDATE with pauses, textures re-bound between draws,
 * and a palette and texels changed in place, which show at the next draw without a new
 * SETTEXTURE. */
void lifecycleFramesRebind(const VelkanoApi* api, Image* image) {
    static uint32_t palette[256];
    static uint8_t texels[kCheckerSide * kCheckerSide];
    static const TileCall probe = {4, 4, 15, 15, 0, 0, 16, 16, 0xFFFFFFFFu};
    unsigned char* before;
    int frame, i;
    beginScene(api, image, 96, 64, 396, 120);
    memcpy(palette, warm, sizeof palette);
    memcpy(texels, checker, sizeof texels);
    api->setTexture(texels, kCheckerSide, kCheckerSide, palette, 0);
    drawTiles(api, &probe, 1);
    before = snapshot(image);
    for (i = 0; i < 256; ++i) palette[i] ^= 0x00FFFFFFu;
    drawTiles(api, &probe, 1);
    checkChanged(image, before, "a palette changed in place shows at the next DRAWTILE");
    free(before);
    for (frame = 0; frame < 4; ++frame) {
        const float fx = (float)(20 * frame), fy = (float)(12 * frame);
        const TileCall tile = {fx + 22, fy, 18, 10, (float)frame, 0, 16, 8, 0x00FFFFFFu};
        const TriCall tri = {{fx + 25, fy + 14, fx + 45, fy + 16, fx + 30, fy + 34},
                             {0, 0, 16, 0, 0, 16},
                             {0x00808080u, 0x00FFFFFFu, 0x00606060u}};
        const PerspCall persp = {{fx, fy + 30, fx + 30, fy + 28, fx + 12, fy + 50},
                                 {0, 0, 64, 0, 0, 32},
                                 {0, 0, 12, 0, 0, 6},
                                 {1, 2, (float)(1 + frame)}};
        api->beginUpdate();
        api->setTexture(texels, kCheckerSide, kCheckerSide, palette, frame);
        drawTiles(api, &tile, 1);
        for (i = 0; i < 256; ++i) palette[i] = palette[i] << 8 | palette[i] >> 24;
        drawTris(api, &tri, 1);
        api->pause(0);
        api->setTexture(bricks, kBrickWidth, kBrickHeight, cool, frame == 3 ? 2 : 0);
        api->setLightmap(frame % 2 ? NULL : light12x6, 12, 6);
        drawPersps(api, &persp, 1, frame % 2 == 0);
        for (i = 0; i < kCheckerSide * kCheckerSide; ++i) texels[i] = (uint8_t)(texels[i] + 17);
        api->setTexture(texels, kCheckerSide, kCheckerSide, palette, 1);
        api->pause(-1);
        drawTiles(api, &tile, 1);
        api->endUpdate();
    }
}

/* A texture 12 x 6 (not powers of two: accepted, not repeating), one texel wide and one
 * texel high, in tiles and both triangles. */
void oddTextureSizes(const VelkanoApi* api, Image* image) {
    static const TileCall tiles[] = {
        {2, 2, 30, 20, 0, 0, 24, 12, 0xFFFFFFFFu},
        {34, 2, 27, 20, -5, 3, 40, 12, 0x00E0C0FFu},
    };
    static const TriCall tri = {{2, 24, 30, 26, 10, 46}, {0, 0, 24, 0, 0, 12}, {0x00808080u, 0x00FFFFFFu, 0x00808080u}};
    static const PerspCall persp = {{32, 24, 62, 28, 40, 47}, {0, 0, 36, 0, 0, 18}, {0, 0, 12, 0, 0, 6}, {1, 2, 3}};
    static const TileCall column = {48, 36, 14, 10, 0, 0, 5, 5, 0x00FFFFFFu};
    beginScene(api, image, 64, 48, 260, 121);
    api->setTexture(oddTexels, kOddTexWidth, kOddTexHeight, warm, 0);
    drawTiles(api, tiles, COUNT(tiles));
    drawTris(api, &tri, 1);
    api->setLightmap(light12x6, 12, 6);
    drawPersps(api, &persp, 1, 1);
    api->setTexture(stripes, 1, kStripeHeight, cool, 0);
    drawTiles(api, &column, 1);
    api->setTexture(stripes, kStripeWidth, 1, cool, 2);
    drawTiles(api, &tiles[0], 1);
}

/* Everything together on a 160 x 120 image with a word of padding: a lit corridor of
 * DRAWPERSPTRI, an unlit far wall, a crate of DRAWTRI triangles, a displaced
 * shimmer, tiles for glow, shadow and a HUD, then a fade and a red flash. */
void compositeRoom(const VelkanoApi* api, Image* image) {
    static const PerspCall floorTris[] = {
        {{-40, 119, 200, 119, 110, 70}, {0, 32, 64, 32, 64, 0}, {0, 6, 12, 6, 12, 0}, {1, 1, 3}},
        {{-40, 119, 110, 70, 50, 70}, {0, 32, 64, 0, 0, 0}, {0, 6, 12, 0, 0, 0}, {1, 3, 3}},
    };
    static const PerspCall ceilingTris[] = {
        {{-40, 0, 200, 0, 110, 30}, {0, 0, 32, 0, 32, 16}, {0, 0, 0, 0, 0, 0}, {1, 1, 3}},
        {{-40, 0, 110, 30, 50, 30}, {0, 0, 32, 16, 0, 16}, {0, 0, 0, 0, 0, 0}, {1, 3, 3}},
    };
    static const PerspCall wallTris[] = {
        {{-40, 0, 50, 30, 50, 70}, {0, 0, 64, 0, 64, 32}, {0, 0, 7, 0, 7, 5}, {1, 3, 3}},
        {{-40, 0, 50, 70, -40, 119}, {0, 0, 64, 32, 0, 32}, {0, 0, 7, 5, 0, 5}, {1, 3, 1}},
        {{110, 30, 200, 0, 200, 119}, {0, 0, 64, 0, 64, 32}, {0, 0, 7, 0, 7, 5}, {3, 1, 1}},
        {{110, 30, 200, 119, 110, 70}, {0, 0, 64, 32, 0, 32}, {0, 0, 7, 5, 0, 5}, {3, 1, 3}},
        {{50, 30, 110, 30, 110, 70}, {0, 0, 16, 0, 16, 16}, {0, 0, 0, 0, 0, 0}, {3, 3, 3}},
        {{50, 30, 110, 70, 50, 70}, {0, 0, 16, 16, 0, 16}, {0, 0, 0, 0, 0, 0}, {3, 3, 3}},
    };
    static const TriCall crate[] = {
        {{60, 80, 95, 78, 97, 108}, {0, 0, 16, 0, 16, 16}, {0x00FFE0C0u, 0x00C0A080u, 0x00806040u}},
        {{60, 80, 97, 108, 62, 110}, {0, 0, 16, 16, 0, 16}, {0x00FFE0C0u, 0x00806040u, 0x00A08060u}},
    };
    static const TriCall shimmer = {
        {70, 40, 92, 42, 80, 66}, {0, 0, 16, 0, 0, 16}, {0x00808080u, 0x00808080u, 0x00808080u}};
    static const TileCall glow = {72, 34, 16, 8, 0, 0, 16, 16, 0x00604020u};
    static const TileCall shadow = {56, 106, 44, 6, 0, 0, 2, 2, 0x00606060u};
    static const TileCall panel = {2, 2, 50, 10, 0, 0, 64, 8, 0x00A0A0A0u};
    static const TileCall pips[] = {
        {4, 4, 5, 5, 0, 0, 4, 4, 0x00FF4040u},
        {11, 4, 5, 5, 0, 0, 4, 4, 0x00FF4040u},
        {18, 4, 5, 5, 0, 0, 4, 4, 0x00FF4040u},
    };
    beginScene(api, image, 160, 120, 644, 122);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    api->setLightmap(light12x6, 12, 6);
    drawPersps(api, floorTris, COUNT(floorTris), 1);
    api->setLightmap(NULL, 0, 0);
    api->setTexture(stripes, kStripeWidth, kStripeHeight, cool, 0);
    drawPersps(api, ceilingTris, COUNT(ceilingTris), 0);
    api->setTexture(bricks, kBrickWidth, kBrickHeight, warm, 0);
    api->setLightmap(light7x5, 7, 5);
    drawPersps(api, wallTris, 4, 1);
    api->setLightmap(NULL, 0, 0);
    api->setTexture(checker, kCheckerSide, kCheckerSide, warm, 0);
    drawPersps(api, wallTris + 4, 2, 0);
    api->setTexture(checker, kCheckerSide, kCheckerSide, displace, 6);
    drawTris(api, &shimmer, 1);
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 0);
    drawTris(api, crate, COUNT(crate));
    api->setTexture(checker, kCheckerSide, kCheckerSide, warm, 2);
    drawTiles(api, &glow, 1);
    api->setTexture(checker, kCheckerSide, kCheckerSide, cool, 3);
    drawTiles(api, &shadow, 1);
    api->setTexture(stripes, kStripeWidth, kStripeHeight, cool, 0);
    drawTiles(api, &panel, 1);
    api->setTexture(checker, kCheckerSide, kCheckerSide, warm, 1);
    drawTiles(api, pips, COUNT(pips));
    api->flashMod(0x00A0A0A0u);
    api->flashAdd(0x00300000u);
}

/* ---- The run -------------------------------------------------------------------------- */

typedef struct Scene {
    const char* name;
    void (*render)(const VelkanoApi* api, Image* image);
} Scene;

static const Scene scenes[] = {
    {"flash_add_sub_odd_block", flashAddSubOddBlock},
    {"flash_mod_padded", flashModPadded},
    {"flash_odd_pitch", flashOddPitch},
    {"tile_modes", tileModes},
    {"tile_scroll_wrap", tileScrollWrap},
    {"tile_scaled", tileScaled},
    {"tile_fraction_ties", tileFractionTies},
    {"tile_narrow_pitch", tileNarrowPitch},
    {"tri_copy_modes", triCopyModes},
    {"tri_blend_modes", triBlendModes},
    {"tri_displace_silent", triDisplaceSilent},
    {"tri_clipped", triClipped},
    {"tri_mesh", triMesh},
    {"persp_modes_unlit", perspModesUnlit},
    {"persp_modes_lit", perspModesLit},
    {"persp_quad", perspQuad},
    {"persp_depths_clip", perspDepthsClip},
    {"persp_lightmap_rebind", perspLightmapRebind},
    {"lifecycle_unload_reinit", lifecycleUnloadReinit},
    {"lifecycle_frames_rebind", lifecycleFramesRebind},
    {"odd_texture_sizes", oddTextureSizes},
    {"composite_room", compositeRoom},
};

static int selected(const char* name, int count, char** names) {
    int i;
    if (count == 0) return 1;
    for (i = 0; i < count; ++i)
        if (strcmp(names[i], name) == 0) return 1;
    return 0;
}

/* Renders one scene and writes its image; returns 0 when the file was written. */
static int renderScene(const VelkanoApi* api, const Scene* scene, const char* outDir) {
    char path[1024], what[160];
    Image image;
    FILE* out;
    int written;
    scene->render(api, &image);
    /* Nothing of the scene stays bound: the next one binds afresh. */
    api->unload();
    snprintf(what, sizeof what, "canaries around %s", scene->name);
    checkCanaries(&image, what);
    snprintf(path, sizeof path, "%s/%s.bin", outDir, scene->name);
    out = fopen(path, "wb");
    written = out && fwrite(image.pixels, 1, image.sizeBytes, out) == image.sizeBytes;
    if (out && fclose(out) != 0) written = 0;
    if (!written) fprintf(stderr, "conformance: cannot write %s\n", path);
    free(image.storage);
    return written ? 0 : 1;
}

int runConformance(const VelkanoApi* api, int argc, char** argv) {
    const int sceneCount = (int)COUNT(scenes);
    int i, problems = 0, rendered = 0;
    if (argc == 1 && strcmp(argv[0], "--list") == 0) {
        for (i = 0; i < sceneCount; ++i) printf("%s\n", scenes[i].name);
        return 0;
    }
    if (argc < 1 || argv[0][0] == '-') {
        fprintf(stderr, "usage: --list | out-dir [scene ...]\n");
        return 2;
    }
    for (i = 1; i < argc; ++i) {
        int known = 0, k;
        for (k = 0; k < sceneCount; ++k) known |= strcmp(scenes[k].name, argv[i]) == 0;
        if (!known) {
            fprintf(stderr, "conformance: no scene named %s\n", argv[i]);
            return 2;
        }
    }
    fillSceneData();
    for (i = 0; i < sceneCount; ++i) {
        const int failedBefore = failedChecks();
        if (!selected(scenes[i].name, argc - 1, argv + 1)) continue;
        problems += renderScene(api, &scenes[i], argv[0]);
        if (failedChecks() != failedBefore)
            fprintf(stderr, "conformance: %s: %d checks failed\n", scenes[i].name, failedChecks() - failedBefore);
        ++rendered;
    }
    fprintf(stderr, "conformance: %d scenes written to %s, %d checks failed\n", rendered, argv[0], failedChecks());
    return problems == 0 && failedChecks() == 0 ? 0 : 1;
}
