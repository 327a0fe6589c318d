/* host_scenario.h: one sequence of calls, made exactly as an existing host makes them,
 * through a table of entry-point addresses. The Win32 host fills the table from
 * Velkano.dll with GetProcAddress, the native host with the shared library's functions;
 * both write the image bytes after every step, and the two files must be identical. */
#ifndef VELKANO_HOST_SCENARIO_H
#define VELKANO_HOST_SCENARIO_H

#include <stdio.h>

#include "velkano.h"

typedef struct VelkanoApi {
    void(VELKANO_CALL* init)(void* target, int32_t width, int32_t height, int32_t pitch);
    void(VELKANO_CALL* unload)(void);
    void(VELKANO_CALL* beginUpdate)(void);
    void(VELKANO_CALL* endUpdate)(void);
    void(VELKANO_CALL* pause)(int32_t milliseconds);
    void(VELKANO_CALL* flashAdd)(uint32_t colour);
    void(VELKANO_CALL* flashSub)(uint32_t colour);
    void(VELKANO_CALL* flashMod)(uint32_t colour);
    void(VELKANO_CALL* setTexture)(const uint8_t* indices, int32_t width, int32_t height, const uint32_t* palette,
                                   int32_t blendMode);
    void(VELKANO_CALL* setLightmap)(const uint32_t* lightmap, int32_t width, int32_t height);
    void(VELKANO_CALL* drawTile)(float x, float y, float w, float h, float uOffset, float vOffset, float uSpan,
                                 float vSpan, uint32_t ignored1, uint32_t ignored2, uint32_t tint);
    void(VELKANO_CALL* drawTri)(const float* positions, const float* texCoords, const uint32_t* colours);
    void(VELKANO_CALL* drawPerspTri)(const float* positions, const float* texCoords, const float* lightmapCoords,
                                     const float* depths);
} VelkanoApi;

/* Runs the scenario, writes the image bytes to `out` and returns the number of failed
 * checks (each failure is described on stderr). */
int runHostScenario(const VelkanoApi* api, FILE* out);

/* Shared by the sequences (host_scenario.c). */

/* An image of pitch x height bytes, placed at an odd address between two canary zones. */
typedef struct Image {
    unsigned char* storage;
    unsigned char* pixels;
    int32_t width, height, pitch;
    size_t sizeBytes;
} Image;

Image makeImage(int32_t width, int32_t height, int32_t pitch, uint32_t seed);
void checkCanaries(const Image* image, const char* when);
/* Counts a check; a failed one is described on stderr with `detail`. */
void check(int ok, const char* what, int detail);
/* The number of failed checks so far. */
int failedChecks(void);
uint32_t nextRandom(uint32_t* state);
/* Modes 0 to 4 and 6 write; 5 and every other value write nothing. */
int modeWrites(int32_t mode);
/* Pixel (px, py) lies at least 3 pixels inside every edge of triangle xy (1), at least 3
 * outside one (-1), or in between (0). */
int triangleZone(const float* xy, int32_t px, int32_t py);

/* DRAWPERSPTRI with and without a lightmap (host_persp.c). */
void perspectiveSequence(const VelkanoApi* api, FILE* out);

#endif
