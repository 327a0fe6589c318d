// entry_points.cpp: the exported entry points. Each only forwards to the internal function
// with the one process-wide context. Built with VELKANO_CAPTURE (the capture variant), each
// also records its call first; in the plain library VELKANO_RECORD is nothing.
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

#ifdef VELKANO_CAPTURE
#  include "capture/call_scope.h"
// Records the call now and does the after-call work when the entry point returns.
#  define VELKANO_RECORD(entry, ...) \
    const ::velkano::capture::CallScope velkanoCallScope(::velkano::trace::EntryPoint::entry __VA_OPT__(, ) __VA_ARGS__)
#else
#  define VELKANO_RECORD(entry, ...)
#endif

using velkano::processContext;

VELKANO_ENTRY void VELKANO_CALL INIT(void* target, int32_t width, int32_t height, int32_t pitch) {
    VELKANO_RECORD(Init, target, width, height, pitch);
    velkano::initContext(processContext(), target, width, height, pitch);
}
VELKANO_ENTRY void VELKANO_CALL UNLOAD(void) {
    VELKANO_RECORD(Unload);
    velkano::unloadContext(processContext());
}
VELKANO_ENTRY void VELKANO_CALL BEGINUPDATE(void) { VELKANO_RECORD(BeginUpdate); }
VELKANO_ENTRY void VELKANO_CALL ENDUPDATE(void) {
    VELKANO_RECORD(EndUpdate);
    velkano::endUpdate(processContext());
}
VELKANO_ENTRY void VELKANO_CALL PAUSE(int32_t milliseconds) {
    VELKANO_RECORD(Pause, milliseconds);
    velkano::pauseThread(milliseconds);
}

VELKANO_ENTRY void VELKANO_CALL FLASHADD(uint32_t colour) {
    VELKANO_RECORD(FlashAdd, colour);
    velkano::flashAdd(processContext(), colour);
}
VELKANO_ENTRY void VELKANO_CALL FLASHSUB(uint32_t colour) {
    VELKANO_RECORD(FlashSub, colour);
    velkano::flashSub(processContext(), colour);
}
VELKANO_ENTRY void VELKANO_CALL FLASHMOD(uint32_t colour) {
    VELKANO_RECORD(FlashMod, colour);
    velkano::flashMod(processContext(), colour);
}

VELKANO_ENTRY void VELKANO_CALL SETTEXTURE(const uint8_t* indices, int32_t width, int32_t height,
                                           const uint32_t* palette, int32_t blendMode) {
    VELKANO_RECORD(SetTexture, indices, width, height, palette, blendMode);
    velkano::setTexture(processContext(), indices, width, height, palette, blendMode);
}
VELKANO_ENTRY void VELKANO_CALL SETLIGHTMAP(const uint32_t* lightmap, int32_t width, int32_t height) {
    VELKANO_RECORD(SetLightmap, lightmap, width, height);
    velkano::setLightmap(processContext(), lightmap, width, height);
}

VELKANO_ENTRY void VELKANO_CALL DRAWTILE(float x, float y, float w, float h, float uOffset, float vOffset, float uSpan,
                                         float vSpan, [[maybe_unused]] uint32_t ignored1,
                                         [[maybe_unused]] uint32_t ignored2, uint32_t tint) {
    VELKANO_RECORD(DrawTile, x, y, w, h, uOffset, vOffset, uSpan, vSpan, ignored1, ignored2, tint);
    velkano::drawTile(processContext(), {x, y, w, h, uOffset, vOffset, uSpan, vSpan}, tint);
}

VELKANO_ENTRY void VELKANO_CALL DRAWTRI(const float* positions, const float* texCoords, const uint32_t* colours) {
    VELKANO_RECORD(DrawTri, positions, texCoords, colours);
    velkano::drawTriangle(processContext(), positions, texCoords, colours);
}
VELKANO_ENTRY void VELKANO_CALL DRAWPERSPTRI(const float* positions, const float* texCoords,
                                             const float* lightmapCoords, const float* depths) {
    VELKANO_RECORD(DrawPerspTri, positions, texCoords, lightmapCoords, depths);
    velkano::drawPerspectiveTriangle(processContext(), positions, texCoords, lightmapCoords, depths);
}
