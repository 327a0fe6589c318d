/* host_scenario.h: one sequence of calls, made exactly as an existing host makes them,
 * through a table of entry-point addresses (host_harness.h). Both hosts write the image
 * bytes after every step, and the two files must be identical. */
#ifndef VELKANO_HOST_SCENARIO_H
#define VELKANO_HOST_SCENARIO_H

#include "host_harness.h"

/* Runs the scenario, a DRAWTRI before the first INIT and then the sequences below in this
 * order, writes the image bytes to `out` and returns the number of failed checks (each
 * failure is described on stderr). */
int runHostScenario(const VelkanoApi* api, FILE* out);

/* Each sequence makes its own images and ends with UNLOAD. */

/* FLASHADD, FLASHSUB and FLASHMOD through INIT and UNLOAD cycles and many calls in a row
 * (host_flash.c). */
void flashSequence(const VelkanoApi* api, FILE* out);
/* DRAWTILE in every mode, scaled, clipped, refused and many times (host_tile.c). */
void tileSequence(const VelkanoApi* api, FILE* out);
/* DRAWTRI in every mode, clipped, refused and many times (host_affine.c). */
void affineSequence(const VelkanoApi* api, FILE* out);
/* DRAWPERSPTRI with and without a lightmap (host_persp.c). */
void perspectiveSequence(const VelkanoApi* api, FILE* out);

#endif
