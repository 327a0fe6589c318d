/* large_image_host.c: a host that binds a 4096 x 4096 image and ends one frame in it, for the
 * image modes' limits: drawn 16 times larger it has 3 * 2^32 bytes of RGB, more than a 32-bit
 * size can count, and far more than a PNG file can hold.
 *
 * usage: velkano_large_image_host */
#include <stdint.h>
#include <stdlib.h>

#include "velkano.h"

enum { kSide = 4096 };

int main(void) {
    uint32_t* image = calloc((size_t)kSide * kSide, sizeof *image);
    if (!image) return 1;
    INIT(image, kSide, kSide, 4 * kSide);
    BEGINUPDATE();
    FLASHADD(0x00102030u);
    ENDUPDATE();
    UNLOAD();
    free(image);
    return 0;
}
