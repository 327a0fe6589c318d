/* link_host.c: a Windows host linked with Velkano.dll's import library (lib/libVelkano.dll.a for
 * MinGW, lib/Velkano.lib for MSVC-style linkers); Velkano.dll is loaded from the program's folder. */
#include <stdint.h>
#include "velkano.h"

int main(void) {
    static uint32_t image[64 * 48]; /* 64 x 48 pixels 0xXXRRGGBB, zero-filled */
    INIT(image, 64, 48, 64 * 4);    /* width, height, pitch in bytes */
    BEGINUPDATE();
    FLASHADD(0x00C08040); /* adds to every byte, saturating at 255 */
    FLASHADD(0x00C08040); /* twice: red and green stop at 0xFF, blue is 0x80 */
    ENDUPDATE();
    UNLOAD();
    return image[0] == 0x00FFFF80 ? 0 : 1;
}
