/* extract_host.c: a host that keeps its texture inside its own image, for --extract's check:
 *
 *   image 70 x 40 pixels, pitch 70 words; texture 16 x 16 index bytes at the start of row 36
 *   (so inside the image), palette outside it
 *   frames 0 to 5: FLASHADD, which changes the texture's bytes, then a triangle whose corners
 *            move a pixel a frame, so its edges show what the last one left in the scratch
 *            layers, drawn with the texture as the flashes left it, then the texture bound
 *            again with the blend mode the next frame's triangle draws with (add after an
 *            even frame, replace after an odd one)
 *
 * usage: velkano_extract_host */
#include <stdint.h>

#include "velkano.h"

enum { kWidth = 70, kHeight = 40, kTexSide = 16, kTexRow = 36 };

int main(void) {
    static uint32_t image[kWidth * kHeight];
    static uint32_t palette[256];
    static const float texCoords[6] = {0.0f, 0.0f, 15.5f, 2.0f, 4.0f, 15.0f};
    static const uint32_t colours[3] = {0x00FF8040u, 0x004080FFu, 0x00FFFFFFu};
    uint8_t* texels = (uint8_t*)&image[kTexRow * kWidth];
    int i, frame;

    for (i = 0; i < 256; ++i) palette[i] = (uint32_t)i * 0x00010305u;
    for (i = 0; i < kTexSide * kTexSide; ++i) texels[i] = (uint8_t)(i * 7);

    INIT(image, kWidth, kHeight, 4 * kWidth);
    SETTEXTURE(texels, kTexSide, kTexSide, palette, 0);
    for (frame = 0; frame < 6; ++frame) {
        const float f = (float)frame;
        const float positions[6] = {2.0f + f, 3.0f, 60.0f, 8.0f + f, 20.0f, 30.0f};
        BEGINUPDATE();
        FLASHADD(0x00302010u);
        DRAWTRI(positions, texCoords, colours);
        SETTEXTURE(texels, kTexSide, kTexSide, palette, frame % 2 == 0 ? 2 : 0);
        ENDUPDATE();
    }
    UNLOAD();
    return 0;
}
