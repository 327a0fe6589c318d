/* hello.c: draws one textured triangle, lit by its three vertex colours, and saves it as hello.ppm. */
#include <stdint.h>
#include <stdio.h>
#include "velkano.h"

int main(void) {
    static uint32_t image[48][64];                                    /* 64 x 48 pixels 0xXXRRGGBB */
    static const uint8_t checker[2 * 2] = {0, 1, 1, 0};               /* palette indices, row by row */
    static const uint32_t palette[256] = {0x00402010, 0x0080C0F0};    /* 0xXXBBGGRR: red in the low byte */
    const float positions[6] = {4, 2, 60, 10, 16, 46};                /* x, y of each vertex in pixels */
    const float texCoords[6] = {0, 0, 8, 0, 0, 8};                    /* u, v of each vertex in texels */
    const uint32_t colours[3] = {0x000000FF, 0x0000FF00, 0x00808080}; /* light 0x00BBGGRR, 0x80 neutral */

    INIT(image, 64, 48, 64 * 4);           /* width, height, pitch in bytes */
    SETTEXTURE(checker, 2, 2, palette, 0); /* blend mode 0: replace */
    BEGINUPDATE();
    DRAWTRI(positions, texCoords, colours);
    ENDUPDATE();
    UNLOAD();

    FILE* out = fopen("hello.ppm", "wb");
    if (!out) return 1;
    fprintf(out, "P6 64 48 255\n");
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint32_t p = image[y][x];
            fputc((int)(p >> 16 & 0xFF), out), fputc((int)(p >> 8 & 0xFF), out), fputc((int)(p & 0xFF), out);
        }
    return fclose(out) == 0 && image[20][24] != 0 ? 0 : 1;
}
