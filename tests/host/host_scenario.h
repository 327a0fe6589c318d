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
} VelkanoApi;

/* Runs the scenario, writes the image bytes to `out` and returns the number of failed
 * checks (each failure is described on stderr). */
int runHostScenario(const VelkanoApi* api, FILE* out);

#endif
