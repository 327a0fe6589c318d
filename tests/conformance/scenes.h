/* scenes.h: the conformance scenes. Each scene binds a fresh image of its own, makes a fixed
 * sequence of calls with built-in data through a VelkanoApi table and leaves the image; the
 * native library and Velkano.dll must leave the same bytes, whose hashes are checked in
 * (images.sha256). Along the way the scenes check what they know for sure (canaries, calls
 * that must draw nothing); the hashes are the main assertion. */
#ifndef VELKANO_CONFORMANCE_SCENES_H
#define VELKANO_CONFORMANCE_SCENES_H

#include "host_harness.h"

/* The conformance program's whole command line after the program (and DLL) arguments:
 *   --list                 prints the scene names, one a line
 *   out-dir [scene ...]    renders every scene (or the named ones) into out-dir/<scene>.bin,
 *                          the pitch x height bytes of its image
 * Returns the exit status: 0 when every file was written and every check passed. */
int runConformance(const VelkanoApi* api, int argc, char** argv);

#endif
