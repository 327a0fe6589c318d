/* huge_init_host.c: a host that first binds an image with sizes the library accepts but no
 * replay can hold (pitch * height of about 20 GB; the host never draws into it), then a real
 * one, and draws a frame there. Its trace must replay: the first binding as an empty image,
 * with a warning, and the last frame checked as usual.
 *
 * usage: velkano_huge_init_host */
#include <stdint.h>

#include "velkano.h"

enum { kSide = 16 };

int main(void) {
    static uint32_t image[kSide * kSide];
    static uint8_t texels[4 * 4];
    static uint32_t palette[256];
    palette[0] = 0x00FFFFFFu;

    INIT(image, 70000, 70000, 4 * 70000);
    SETTEXTURE(texels, 4, 4, palette, 0);
    BEGINUPDATE();
    ENDUPDATE();

    INIT(image, kSide, kSide, 4 * kSide);
    BEGINUPDATE();
    DRAWTILE(2.0f, 2.0f, 9.0f, 9.0f, 0.0f, 0.0f, 4.0f, 4.0f, 0, 0, 0x00804020u);
    ENDUPDATE();
    UNLOAD();
    return 0;
}
