/* entry_point_list.h: the thirteen entry points, listed once for C and C++ code alike.
 *
 * VELKANO_ENTRY_POINTS(X) expands X(NAME, BYTES, Name, name, (parameters)) for each:
 *   NAME          the exported C name
 *   BYTES         its argument bytes on 32-bit Windows, the N of the DLL export NAME@N
 *   Name, name    what the code calls it: trace::EntryPoint::Name, a table's member `name`
 *   (parameters)  the parameter list as velkano.h declares it
 * The order is the public header's and the .def's, and it numbers the entry points in trace
 * files: a new entry point goes at the end. velkano.h stays written by hand for its readers;
 * tests/trace/entry_point_list_check.cpp checks that it and exports/velkano.def agree with
 * this list. It lives with the trace format, the lowest layer that uses it, and includes only
 * <stdint.h>.
 */
#ifndef VELKANO_ENTRY_POINT_LIST_H
#define VELKANO_ENTRY_POINT_LIST_H

#include <stdint.h>

#define VELKANO_ENTRY_POINTS(X)                                                                                     \
  X(INIT, 16, Init, init, (void* target, int32_t width, int32_t height, int32_t pitch))                             \
  X(UNLOAD, 0, Unload, unload, (void))                                                                              \
  X(BEGINUPDATE, 0, BeginUpdate, beginUpdate, (void))                                                               \
  X(ENDUPDATE, 0, EndUpdate, endUpdate, (void))                                                                     \
  X(PAUSE, 4, Pause, pause, (int32_t milliseconds))                                                                 \
  X(SETTEXTURE, 20, SetTexture, setTexture,                                                                         \
    (const uint8_t* indices, int32_t width, int32_t height, const uint32_t* palette, int32_t blendMode))            \
  X(SETLIGHTMAP, 12, SetLightmap, setLightmap, (const uint32_t* lightmap, int32_t width, int32_t height))           \
  X(FLASHADD, 4, FlashAdd, flashAdd, (uint32_t colour))                                                             \
  X(FLASHSUB, 4, FlashSub, flashSub, (uint32_t colour))                                                             \
  X(FLASHMOD, 4, FlashMod, flashMod, (uint32_t colour))                                                             \
  X(DRAWTRI, 12, DrawTri, drawTri, (const float* positions, const float* texCoords, const uint32_t* colours))       \
  X(DRAWPERSPTRI, 16, DrawPerspTri, drawPerspTri,                                                                   \
    (const float* positions, const float* texCoords, const float* lightmapCoords, const float* depths))             \
  X(DRAWTILE, 44, DrawTile, drawTile,                                                                               \
    (float x, float y, float w, float h, float uOffset, float vOffset, float uSpan, float vSpan, uint32_t ignored1, \
     uint32_t ignored2, uint32_t tint))

/* The usual X's. The export name of the 32-bit DLL: "INIT@16". */
#define VELKANO_ENTRY_DECORATED(NAME, BYTES) #NAME "@" #BYTES
/* A table member pointing at the entry point (VELKANO_CALL comes from velkano.h). */
#define VELKANO_ENTRY_MEMBER(NAME, BYTES, Name, name, parameters) void(VELKANO_CALL * name) parameters;
/* The linked function, to fill such a table in order: {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_LINKED)}. */
#define VELKANO_ENTRY_LINKED(NAME, BYTES, Name, name, parameters) NAME,

#endif /* VELKANO_ENTRY_POINT_LIST_H */
