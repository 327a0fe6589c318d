/* host_harness.c: images between canaries, counted checks and the expectations the host
 * sequences share (host_harness.h). */
#include "host_harness.h"

#include <stdlib.h>
#include <string.h>

enum { kCanaryBytes = 32, kCanary = 0xA5 };

static int checks, failures;

/* Counts a check and returns whether it failed. */
static int countFailed(int ok) {
    ++checks;
    if (!ok) ++failures;
    return !ok;
}

void check(int ok, const char* what, int detail) {
    if (countFailed(ok)) fprintf(stderr, "host: FAILED %s (%d)\n", what, detail);
}

/* The little-endian word of pixel x in the row starting at `row`; the bytes past the row's
 * end, which a pixel in the padding may reach, read as zero. */
static uint32_t pixelWord(const unsigned char* row, int32_t pitch, int32_t x) {
    uint32_t word = 0;
    int32_t lane;
    for (lane = 0; lane < 4 && 4 * x + lane < pitch; ++lane) word |= (uint32_t)row[4 * x + lane] << 8 * lane;
    return word;
}

void checkPixels(const char* what, const Image* image, size_t firstBad, const unsigned char* reference,
                 const char* referenceName) {
    const size_t pitch = (size_t)image->pitch, rowStart = firstBad / pitch * pitch;
    const int32_t x = (int32_t)(firstBad % pitch / 4), y = (int32_t)(firstBad / pitch);
    if (!countFailed(firstBad == (size_t)-1)) return;
    fprintf(stderr, "host: FAILED %s: pixel (%d, %d) is 0x%08X, %s 0x%08X\n", what, (int)x, (int)y,
            (unsigned)pixelWord(image->pixels + rowStart, image->pitch, x), referenceName,
            (unsigned)pixelWord(reference + rowStart, image->pitch, x));
}

void checkBytes(const char* what, const Image* image, const unsigned char* want) {
    size_t o, firstBad = (size_t)-1;
    for (o = 0; o < image->sizeBytes && firstBad == (size_t)-1; ++o)
        if (image->pixels[o] != want[o]) firstBad = o;
    checkPixels(what, image, firstBad, want, "want");
}

void resetChecks(void) { checks = failures = 0; }

int checkCount(void) { return checks; }

int failedChecks(void) { return failures; }

uint32_t nextRandom(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

Image makeImage(int32_t width, int32_t height, int32_t pitch, uint32_t seed) {
    Image image;
    size_t i;
    image.width = width;
    image.height = height;
    image.pitch = pitch;
    image.sizeBytes = (size_t)pitch * (size_t)height;
    image.storage = (unsigned char*)malloc(image.sizeBytes + 2 * kCanaryBytes + 1);
    memset(image.storage, kCanary, image.sizeBytes + 2 * kCanaryBytes + 1);
    image.pixels = image.storage + kCanaryBytes + 1;
    for (i = 0; i < image.sizeBytes; ++i) image.pixels[i] = (unsigned char)nextRandom(&seed);
    return image;
}

void checkCanaries(const Image* image, const char* when) {
    size_t i;
    int intact = 1;
    for (i = 0; i < kCanaryBytes + 1; ++i) intact &= image->storage[i] == kCanary;
    for (i = 0; i < kCanaryBytes; ++i) intact &= image->pixels[image->sizeBytes + i] == kCanary;
    check(intact, when, 0);
}

int modeWrites(int32_t mode) { return mode >= 0 && mode <= 6 && mode != 5; }

unsigned blendByte(int32_t mode, unsigned s, unsigned d) {
    unsigned m;
    switch (mode) {
        case 2: return s + d > 255 ? 255 : s + d;
        case 3: m = (s * d) >> 7 > 255 ? 255 : (s * d) >> 7; return 2 * m > 255 ? 255 : 2 * m;
        case 4: m = (s * d) >> 8; return 2 * m > 255 ? 255 : 2 * m;
        default: return s;
    }
}

/* Where the centre of pixel (px, py) lies: 1 at least 3 pixels inside every edge, -1 at
 * least 3 pixels outside some edge (or the triangle has no area), 0 in between, where the
 * edge rules decide. */
int triangleZone(const float* xy, int32_t px, int32_t py) {
    const double cx = px + 0.5, cy = py + 0.5;
    const double area =
        ((double)xy[2] - xy[0]) * ((double)xy[5] - xy[1]) - ((double)xy[3] - xy[1]) * ((double)xy[4] - xy[0]);
    int i, zone = 1;
    if (area == 0) return -1;
    for (i = 0; i < 3; ++i) {
        const double ax = xy[2 * i], ay = xy[2 * i + 1], bx = xy[(2 * i + 2) % 6], by = xy[(2 * i + 3) % 6];
        /* The cross product is the inward distance times the edge length; compare squares. */
        const double cross = ((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) * (area > 0 ? 1 : -1);
        const int beyond = cross * cross >= 9 * ((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
        if (cross <= 0 && beyond) return -1;
        if (cross <= 0 || !beyond) zone = 0;
    }
    return zone;
}
