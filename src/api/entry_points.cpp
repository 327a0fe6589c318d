// entry_points.cpp: the exported entry points. Each only forwards to the internal function
// with the one process-wide context.
#include "velkano.h"

#include "context/render_context.h"
#include "context/texture_binding.h"
#include "effects/flash.h"
#include "raster/affine_triangle.h"
#include "raster/persp_triangle.h"
#include "tile/tile_blit.h"

#if defined(_WIN32) && !defined(_WIN64)
// 32-bit hosts may call us with a 4-byte-aligned stack; SSE2 spills need 16.
#  define VELKANO_ENTRY extern "C" __attribute__((force_align_arg_pointer))
#else
#  define VELKANO_ENTRY extern "C"
#endif

using velkano::processContext;

VELKANO_ENTRY void VELKANO_CALL INIT(void* target, int32_t width, int32_t height, int32_t pitch) {
    velkano::initContext(processContext(), target, width, height, pitch);
}
VELKANO_ENTRY void VELKANO_CALL UNLOAD(void) { velkano::unloadContext(processContext()); }
VELKANO_ENTRY void VELKANO_CALL BEGINUPDATE(void) {}
VELKANO_ENTRY void VELKANO_CALL ENDUPDATE(void) { velkano::endUpdate(processContext()); }
VELKANO_ENTRY void VELKANO_CALL PAUSE(int32_t milliseconds) { velkano::pauseThread(milliseconds); }

VELKANO_ENTRY void VELKANO_CALL FLASHADD(uint32_t colour) { velkano::flashAdd(processContext(), colour); }
VELKANO_ENTRY void VELKANO_CALL FLASHSUB(uint32_t colour) { velkano::flashSub(processContext(), colour); }
VELKANO_ENTRY void VELKANO_CALL FLASHMOD(uint32_t colour) { velkano::flashMod(processContext(), colour); }

VELKANO_ENTRY void VELKANO_CALL SETTEXTURE(const uint8_t* indices, int32_t width, int32_t height,
                                           const uint32_t* palette, int32_t blendMode) {
    velkano::setTexture(processContext(), indices, width, height, palette, blendMode);
}
VELKANO_ENTRY void VELKANO_CALL SETLIGHTMAP(const uint32_t* lightmap, int32_t width, int32_t height) {
    velkano::setLightmap(processContext(), lightmap, width, height);
}

VELKANO_ENTRY void VELKANO_CALL DRAWTILE(float x, float y, float w, float h, float uOffset, float vOffset, float uSpan,
                                         float vSpan, uint32_t, uint32_t, uint32_t tint) {
    velkano::drawTile(processContext(), {x, y, w, h, uOffset, vOffset, uSpan, vSpan}, tint);
}

VELKANO_ENTRY void VELKANO_CALL DRAWTRI(const float* positions, const float* texCoords, const uint32_t* colours) {
    velkano::drawTriangle(processContext(), positions, texCoords, colours);
}
VELKANO_ENTRY void VELKANO_CALL DRAWPERSPTRI(const float* positions, const float* texCoords,
                                             const float* lightmapCoords, const float* depths) {
    velkano::drawPerspectiveTriangle(processContext(), positions, texCoords, lightmapCoords, depths);
}
