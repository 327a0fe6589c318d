/* host_harness.h: what the host sequences (host_flash.c, host_tile.c, host_affine.c,
 * host_persp.c) and the conformance scenes share: the table of entry-point addresses the
 * calls go through, images between canaries, counted checks and a few expectations more
 * than one subject needs. */
#ifndef VELKANO_HOST_HARNESS_H
#define VELKANO_HOST_HARNESS_H

#include <stdio.h>

#include "trace/entry_point_list.h"
#include "velkano.h"

/* The Win32 host fills the table from Velkano.dll with GetProcAddress, the native host with
 * the shared library's functions. One member per entry point, in the list's order. */
typedef struct VelkanoApi {
    VELKANO_ENTRY_POINTS(VELKANO_ENTRY_MEMBER)
} VelkanoApi;

/* An image of pitch x height bytes, placed at an odd address between two canary zones. */
typedef struct Image {
    unsigned char* storage;
    unsigned char* pixels;
    int32_t width, height, pitch;
    size_t sizeBytes;
} Image;

Image makeImage(int32_t width, int32_t height, int32_t pitch, uint32_t seed);
void checkCanaries(const Image* image, const char* when);
uint32_t nextRandom(uint32_t* state);

/* ---- Checks: counted, each failure described on stderr ------------------------------ */

/* Counts a check; a failed one is described with `detail`. */
void check(int ok, const char* what, int detail);
/* Counts a check of the image bytes: `firstBad` is the offset of the first wrong byte, or
 * (size_t)-1 when there is none. A failure names the pixel (x, y) holding that byte, with
 * its word in the image and in `reference` (the bytes wanted, or those before the call, as
 * `referenceName` says), in hex. A byte in the row padding gets an x past the width. */
void checkPixels(const char* what, const Image* image, size_t firstBad, const unsigned char* reference,
                 const char* referenceName);
/* Counts a check that the image holds exactly the bytes of `want`, reported as above. */
void checkBytes(const char* what, const Image* image, const unsigned char* want);
/* Starts the counts again from zero. */
void resetChecks(void);
/* The number of checks, and of failed ones, so far. */
int checkCount(void);
int failedChecks(void);

/* ---- Expectations shared by the triangle sequences ---------------------------------- */

/* Modes 0 to 4 and 6 write; 5 and every other value write nothing. */
int modeWrites(int32_t mode);
/* Target byte d after source byte s in modes 0 to 4. */
unsigned blendByte(int32_t mode, unsigned s, unsigned d);
/* Pixel (px, py) lies at least 3 pixels inside every edge of triangle xy (1), at least 3
 * outside one (-1), or in between (0). */
int triangleZone(const float* xy, int32_t px, int32_t py);

#endif
