/* scene_kit.h: what the conformance scenes share (scene_kit.c), and the scenes themselves.
 *
 * Every scene starts from nothing it did not set itself: a new image filled from a fixed
 * seed, a fresh INIT (zero-filled layers and band storage) and no texture or lightmap bound
 * (beginScene), so its bytes do not depend on the scenes before it. All data comes from a
 * fixed LCG or from literals; the coordinates a scene computes are whole numbers, halves and
 * quarters, exact in a float on every compiler. */
#ifndef VELKANO_CONFORMANCE_SCENE_KIT_H
#define VELKANO_CONFORMANCE_SCENE_KIT_H

#include <stddef.h>

#include "host_harness.h"

#define COUNT(array) (sizeof(array) / sizeof((array)[0]))

/* ---- Data, filled once by fillSceneData ---------------------------------------------- */

enum {
    kCheckerSide = 16,
    kBrickWidth = 64,
    kBrickHeight = 32,
    kStripeWidth = 32,
    kStripeHeight = 8,
    kOddTexWidth = 12, /* not powers of two: accepted, never read outside */
    kOddTexHeight = 6,
};

/* Index textures: 4 x 4 checks (half of them index 0), staggered bricks with index-0 mortar,
 * diagonal stripes, and noise of an odd size. */
extern uint8_t checker[kCheckerSide * kCheckerSide], bricks[kBrickWidth * kBrickHeight];
extern uint8_t stripes[kStripeWidth * kStripeHeight], oddTexels[kOddTexWidth * kOddTexHeight];
/* Palette entries 0xXXBBGGRR: warm and cool ramps with random X bytes, and a displacement
 * palette whose blue and green bytes span the whole range. */
extern uint32_t warm[256], cool[256], displace[256];
/* Lightmap words 0xXXRRGGBB; 0x40 keeps a texel, 0x80 doubles it. Odd and non-power-of-two
 * sizes among them. */
extern uint32_t light7x5[7 * 5], light12x6[12 * 6], light8x8[8 * 8], light1x1[1];

void fillSceneData(void);
/* A word whose bytes 0, 1 and 2 lie in [r0, r0 + rSpan) and so on, byte 3 from `xByte`. */
uint32_t randomChannels(uint32_t xByte, unsigned r0, unsigned rSpan, unsigned g0, unsigned gSpan, unsigned b0,
                        unsigned bSpan, uint32_t* state);

/* ---- Calls ---------------------------------------------------------------------------- */

typedef struct TileCall {
    float x, y, w, h, uOffset, vOffset, uSpan, vSpan;
    uint32_t tint;
} TileCall;

typedef struct TriCall {
    float xy[6], uv[6];
    uint32_t colours[3];
} TriCall;

typedef struct PerspCall {
    float xy[6], uv[6], lightUv[6], z[3];
} PerspCall;

void drawTiles(const VelkanoApi* api, const TileCall* tiles, size_t count);
void drawTris(const VelkanoApi* api, const TriCall* tris, size_t count);
/* Unlit draws pass no lightmap coordinates at all: they must not be read. */
void drawPersps(const VelkanoApi* api, const PerspCall* tris, size_t count, int lit);

/* A new image from `seed`, bound by INIT, with no texture and no lightmap. */
void beginScene(const VelkanoApi* api, Image* image, int32_t width, int32_t height, int32_t pitch, uint32_t seed);
/* A background: uSpan x vSpan texels of a texture stretched over the whole image in mode 0. */
void background(const VelkanoApi* api, const Image* image, const uint8_t* indices, int32_t texWidth, int32_t texHeight,
                const uint32_t* palette, float uSpan, float vSpan);

/* ---- Checks (counted by check() of host_harness.c) ----------------------------------- */

/* A copy of the image bytes, for the caller to free. */
unsigned char* snapshot(const Image* image);
/* Byte offset of the first difference from `before` in [from, to), or -1. */
long firstDifference(const Image* image, const unsigned char* before, size_t from, size_t to);
void checkUnchanged(const Image* image, const unsigned char* before, const char* what);
void checkChanged(const Image* image, const unsigned char* before, const char* what);
/* Drawing calls write no byte past a row's last usable pixel (pitch / 4 pixels when that is
 * fewer than the width), and triangles never write the last row (lastRowToo): both keep what
 * `before` holds. */
void checkPaddingKept(const Image* image, const unsigned char* before, int lastRowToo, const char* what);

/* ---- The scenes: each makes its image, draws and leaves it ---------------------------- */

/* scenes_flash_tile.c */
void flashAddSubOddBlock(const VelkanoApi* api, Image* image);
void flashModPadded(const VelkanoApi* api, Image* image);
void flashOddPitch(const VelkanoApi* api, Image* image);
void tileModes(const VelkanoApi* api, Image* image);
void tileScrollWrap(const VelkanoApi* api, Image* image);
void tileScaled(const VelkanoApi* api, Image* image);
void tileFractionTies(const VelkanoApi* api, Image* image);
void tileNarrowPitch(const VelkanoApi* api, Image* image);
/* scenes_triangles.c */
void triCopyModes(const VelkanoApi* api, Image* image);
void triBlendModes(const VelkanoApi* api, Image* image);
void triDisplaceSilent(const VelkanoApi* api, Image* image);
void triClipped(const VelkanoApi* api, Image* image);
void triMesh(const VelkanoApi* api, Image* image);
void perspModesUnlit(const VelkanoApi* api, Image* image);
void perspModesLit(const VelkanoApi* api, Image* image);
void perspQuad(const VelkanoApi* api, Image* image);
void perspDepthsClip(const VelkanoApi* api, Image* image);
void perspLightmapRebind(const VelkanoApi* api, Image* image);
/* scenes.c */
void lifecycleUnloadReinit(const VelkanoApi* api, Image* image);
void lifecycleFramesRebind(const VelkanoApi* api, Image* image);
void oddTextureSizes(const VelkanoApi* api, Image* image);
void compositeRoom(const VelkanoApi* api, Image* image);

#endif
