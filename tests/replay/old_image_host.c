/* old_image_host.c: a host whose texture stays bound inside an image it no longer draws into,
 * for the frame debugger's checkpoints, which must keep that image too:
 *
 *   image A 48 x 32 pixels; texture 8 x 8 index bytes at the start of A's row 28, palette outside
 *   frame 0: FLASHADD on A (which changes the texture's bytes), a triangle
 *   then INIT of image B 40 x 30; frames 1 to 4: FLASHSUB on B and a triangle moving a pixel a
 *   frame, textured from A as the flash left it
 *
 * usage: velkano_old_image_host */
#include <stdint.h>

#include "velkano.h"

enum { kWidthA = 48, kHeightA = 32, kWidthB = 40, kHeightB = 30, kTexSide = 8, kTexRow = 28 };

int main(void) {
    static uint32_t imageA[kWidthA * kHeightA], imageB[kWidthB * kHeightB];
    static uint32_t palette[256];
    static const float texCoords[6] = {0.0f, 0.0f, 7.5f, 1.0f, 2.0f, 7.0f};
    static const uint32_t colours[3] = {0x00FF8040u, 0x004080FFu, 0x00FFFFFFu};
    uint8_t* texels = (uint8_t*)&imageA[kTexRow * kWidthA];
    int i, frame;

    for (i = 0; i < 256; ++i) palette[i] = (uint32_t)i * 0x00030507u;
    for (i = 0; i < kTexSide * kTexSide; ++i) texels[i] = (uint8_t)(i * 11);

    INIT(imageA, kWidthA, kHeightA, 4 * kWidthA);
    SETTEXTURE(texels, kTexSide, kTexSide, palette, 0);
    BEGINUPDATE();
    FLASHADD(0x00201008u);
    {
        const float positions[6] = {1.0f, 1.0f, 40.0f, 4.0f, 10.0f, 24.0f};
        DRAWTRI(positions, texCoords, colours);
    }
    ENDUPDATE();
    INIT(imageB, kWidthB, kHeightB, 4 * kWidthB);
    for (frame = 1; frame < 5; ++frame) {
        const float f = (float)frame;
        const float positions[6] = {2.0f + f, 2.0f, 36.0f, 5.0f + f, 12.0f, 26.0f};
        BEGINUPDATE();
        FLASHSUB(0x00040404u);
        DRAWTRI(positions, texCoords, colours);
        ENDUPDATE();
    }
    UNLOAD();
    return 0;
}
