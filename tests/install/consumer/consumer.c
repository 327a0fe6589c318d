/* A C program using the installed library: compiled as C, linked against libvelkano. */
#include <stdio.h>
#include <velkano.h>

int main(void) {
    uint32_t image[3 * 2] = {0x00102030u, 0x00FFFFFFu, 0x80000000u, 0u, 0x7F7F7F7Fu, 0x01010101u};
    const uint32_t want[3 * 2] = {0x00112131u, 0x00FFFFFFu, 0x80010101u, 0x00010101u, 0x7F808080u, 0x01020202u};
    int i, bad = 0;
    INIT(image, 3, 2, 12);
    BEGINUPDATE();
    FLASHADD(0x00010101u);
    ENDUPDATE();
    UNLOAD();
    for (i = 0; i < 6; ++i)
        if (image[i] != want[i]) {
            printf("pixel %d: %08X, want %08X\n", i, (unsigned)image[i], (unsigned)want[i]);
            bad = 1;
        }
    printf("consumer: %s (velkano %s)\n", bad ? "wrong pixels" : "ok", VELKANO_VERSION_STRING);
    return bad;
}
