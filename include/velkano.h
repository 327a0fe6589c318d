/* velkano.h: the public C API of the Velkano software rasteriser.
 *
 * The host hands over a 32-bit image with INIT and then draws into it. Pixels are 32-bit
 * words 0xXXRRGGBB (bytes blue, green, red, X in memory). Every call runs on the caller's
 * thread, returns nothing and must not be made from two threads at once.
 * On 32-bit Windows the entry points use __stdcall and are exported by their decorated
 * names (INIT@16, FLASHADD@4, ...); elsewhere they are plain C functions.
 */
#ifndef VELKANO_H
#define VELKANO_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#  define VELKANO_CALL __stdcall
#else
#  define VELKANO_CALL
#endif

/* Velkano.dll exports exactly the decorated names of exports/velkano.def; the native
 * library, built with hidden visibility, exports what this header marks. */
#if defined(_WIN32)
#  define VELKANO_API
#elif defined(__GNUC__)
#  define VELKANO_API __attribute__((visibility("default")))
#else
#  define VELKANO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Binds the host image (row r starts at target + r * pitch bytes), allocates the scratch
 * layers and the perspective grid tables. May be called again at any time. */
VELKANO_API void VELKANO_CALL INIT(void* target, int32_t width, int32_t height, int32_t pitch);
/* Releases the scratch layers; the target binding stays. */
VELKANO_API void VELKANO_CALL UNLOAD(void);
/* Frame bracket: BEGINUPDATE does nothing, ENDUPDATE counts frames. */
VELKANO_API void VELKANO_CALL BEGINUPDATE(void);
VELKANO_API void VELKANO_CALL ENDUPDATE(void);
/* Sleeps the calling thread; a negative count returns at once. */
VELKANO_API void VELKANO_CALL PAUSE(int32_t milliseconds);

/* Binds an 8-bit indexed texture (width x height index bytes, row after row; sizes are
 * powers of two), its palette (32-bit entries, red in the lowest byte) and the blend mode
 * of later draws: 0 replace, 1 replace except index 0, 2 saturating add, 3 modulate
 * (min(255, (p * c) >> 7)). Nothing is read or copied: the memory must stay valid while bound. */
VELKANO_API void VELKANO_CALL SETTEXTURE(const uint8_t* indices, int32_t width, int32_t height, const uint32_t* palette,
                                         int32_t blendMode);
/* Binds a lightmap of width x height 32-bit pixel words for perspective triangles; NULL
 * unbinds it. */
VELKANO_API void VELKANO_CALL SETLIGHTMAP(const uint32_t* lightmap, int32_t width, int32_t height);

/* Whole-image flashes over all pitch * height bytes, row padding included, per byte lane:
 * FLASHADD min(255, p + c), FLASHSUB max(0, p - c), FLASHMOD min(255, (p * c) >> 7).
 * FLASHADD and FLASHSUB work in 8-byte groups and leave a final odd 4 bytes alone. */
VELKANO_API void VELKANO_CALL FLASHADD(uint32_t colour);
VELKANO_API void VELKANO_CALL FLASHSUB(uint32_t colour);
VELKANO_API void VELKANO_CALL FLASHMOD(uint32_t colour);

VELKANO_API void VELKANO_CALL DRAWTRI(const float* positions, const float* texCoords, const uint32_t* colours);
VELKANO_API void VELKANO_CALL DRAWPERSPTRI(const float* positions, const float* texCoords, const float* lightmapCoords,
                                           const float* depths);
/* Draws columns round(x) to round(x + w) and rows round(y) to round(y + h), both ends
 * included, from the bound texture: uSpan x vSpan texels across the tile, scrolled by
 * uOffset, vOffset target pixels, each texel multiplied by tint ((c * t) >> 8 per byte) and
 * written with the bound blend mode. Clipped to the image; draws nothing while no texture
 * is bound or when the tile reaches beyond +-2^20. ignored1 and ignored2 are not used. */
VELKANO_API void VELKANO_CALL DRAWTILE(float x, float y, float w, float h, float uOffset, float vOffset, float uSpan,
                                       float vSpan, uint32_t ignored1, uint32_t ignored2, uint32_t tint);

#ifdef __cplusplus
}
#endif

#endif /* VELKANO_H */
