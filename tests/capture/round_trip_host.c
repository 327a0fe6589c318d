/* round_trip_host.c: a host whose run the capture must record so that a replay gives the
 * same image at every frame. It does what real hosts do and a recording can miss: it changes
 * a palette in place between two draws, animates its texture and lightmap in place, writes
 * into the image between frames (and, when asked, in the middle of a frame), clears the image
 * right after BEGINUPDATE, draws after UNLOAD, and calls INIT again with another image and then
 * with the first one. It writes the image bytes after every frame to OUT, so a run with the
 * capture library can be compared with a run with the plain one.
 *
 * usage: velkano_round_trip_host OUT [--mid-frame-writes] */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "velkano.h"

enum { kTexSide = 16, kLightSide = 8, kFrames = 12 };

typedef struct HostImage {
    uint32_t* words;
    int32_t width, height, pitch;
} HostImage;

static uint32_t nextRandom(uint32_t* state) {
    *state ^= *state << 13;
    *state ^= *state >> 17;
    *state ^= *state << 5;
    return *state;
}

static HostImage makeImage(int32_t width, int32_t height, int32_t padWords, uint32_t seed) {
    HostImage image = {NULL, width, height, 4 * (width + padWords)};
    const size_t words = (size_t)(width + padWords) * (size_t)height;
    size_t i;
    image.words = (uint32_t*)malloc(words * 4);
    for (i = 0; i < words; ++i) image.words[i] = nextRandom(&seed);
    return image;
}

/* The host's own drawing: a rectangle of one colour, as a HUD or a cursor would be. */
static void hostRectangle(const HostImage* image, int32_t x0, int32_t y0, int32_t w, int32_t h, uint32_t colour) {
    int32_t x, y;
    for (y = y0; y < y0 + h && y < image->height; ++y)
        for (x = x0; x < x0 + w && x < image->width; ++x)
            image->words[(size_t)y * (size_t)(image->pitch / 4) + x] = colour;
}

static void writeImage(const HostImage* image, FILE* out) {
    fwrite(image->words, 1, (size_t)image->pitch * (size_t)image->height, out);
}

int main(int argc, char** argv) {
    static uint8_t texels[kTexSide * kTexSide];
    static uint32_t palette[256], lightmap[kLightSide * kLightSide];
    const int midFrameWrites = argc > 2 && strcmp(argv[2], "--mid-frame-writes") == 0;
    uint32_t seed = 99;
    HostImage first, second;
    const HostImage* bound;
    FILE* out;
    int frame, i;
    if (argc < 2 || (argc > 2 && !midFrameWrites)) {
        fprintf(stderr, "usage: %s OUT [--mid-frame-writes]\n", argv[0]);
        return 2;
    }
    out = fopen(argv[1], "wb");
    if (!out) return 2;

    for (i = 0; i < kTexSide * kTexSide; ++i) texels[i] = (uint8_t)nextRandom(&seed);
    for (i = 0; i < 256; ++i) palette[i] = nextRandom(&seed);
    for (i = 0; i < kLightSide * kLightSide; ++i) lightmap[i] = nextRandom(&seed) & 0x00FFFFFF;
    first = makeImage(70, 40, 3, 1);
    second = makeImage(33, 21, 0, 2);

    INIT(first.words, first.width, first.height, first.pitch);
    bound = &first;
    for (frame = 0; frame < kFrames; ++frame) {
        const float f = (float)frame;
        const float tri[6] = {2.0f + f, 3.0f, 60.0f, 8.0f + f, 20.0f, 37.0f};
        const float uv[6] = {0.0f, 0.0f, 15.5f + f, 2.0f, 4.0f, 15.0f};
        const float lightUv[6] = {0.5f, 0.5f, 7.0f, 1.0f, 3.0f, 6.5f};
        const float depths[3] = {1.0f, 2.5f + 0.25f * f, 4.0f};
        const uint32_t colours[3] = {0x00FF8040u, 0x004080FFu, 0x00FFFFFFu + (uint32_t)frame};

        if (frame == 5) { /* another image, then the first one again two frames later */
            INIT(second.words, second.width, second.height, second.pitch);
            bound = &second;
        } else if (frame == 7) {
            INIT(first.words, first.width, first.height, first.pitch);
            bound = &first;
        }
        /* Between frames: the host draws into the image itself. */
        if (frame % 3 == 1) hostRectangle(bound, frame, 2, 9, 5, 0x00123456u * (uint32_t)frame);

        BEGINUPDATE();
        if (frame % 4 == 2) memset(bound->words, 0, (size_t)bound->pitch * (size_t)bound->height);
        SETTEXTURE(texels, kTexSide, kTexSide, palette, frame % 4);
        DRAWTILE(1.0f + f, 2.0f, 30.0f, 12.5f, 0.0f, f, 16.0f, 8.0f, 0, 0, 0xFFFFFFFFu);
        palette[texels[0]] ^= 0x00FF00FFu; /* in place, between two draws of one frame */
        palette[texels[5]] += 0x00010203u;
        DRAWTRI(tri, uv, colours);
        if (midFrameWrites) hostRectangle(bound, 4, 30 - frame, 20, 2, 0x00FEDCBAu);
        SETLIGHTMAP(frame % 2 ? lightmap : NULL, kLightSide, kLightSide);
        DRAWPERSPTRI(tri, uv, lightUv, depths);
        if (frame % 5 == 3) FLASHADD(0x00101010u);
        if (frame % 5 == 4) FLASHMOD(0x00808070u);
        ENDUPDATE();
        writeImage(bound, out);

        texels[frame * 7 % (kTexSide * kTexSide)] ^= 0x5Au; /* an animated texture and lightmap */
        lightmap[frame % (kLightSide * kLightSide)] += 0x00030201u;
    }
    /* After UNLOAD the target stays bound: a flash still changes it, nothing else draws. */
    UNLOAD();
    FLASHSUB(0x00050505u);
    DRAWTRI((const float[6]){0, 0, 50, 0, 0, 30}, (const float[6]){0, 0, 1, 0, 0, 1},
            (const uint32_t[3]){0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
    BEGINUPDATE();
    ENDUPDATE();
    writeImage(bound, out);

    free(first.words);
    free(second.words);
    return fclose(out) == 0 ? 0 : 1;
}
