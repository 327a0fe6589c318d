// builtin_library.cpp: the entry points as the library's entry_points.cpp forwards them, but
// to the tool's own context.
#include "builtin_library.h"

#include "context/texture_binding.h"
#include "effects/flash.h"
#include "raster/affine_triangle.h"
#include "raster/persp_triangle.h"
#include "tile/tile_blit.h"

#if defined(_WIN32) && !defined(_WIN64)
// As the DLL's entry points: SSE2 spills need a 16-byte-aligned stack.
#  define VELKANO_BUILTIN static __attribute__((force_align_arg_pointer))
#else
#  define VELKANO_BUILTIN static
#endif

namespace velkano::replay {
namespace {

RenderContext theContext;  // zero-initialised, as the library's at load

VELKANO_BUILTIN void VELKANO_CALL init(void* target, int32_t width, int32_t height, int32_t pitch) {
    initContext(theContext, target, width, height, pitch);
}
VELKANO_BUILTIN void VELKANO_CALL unload() { unloadContext(theContext); }
VELKANO_BUILTIN void VELKANO_CALL beginUpdate() {}
VELKANO_BUILTIN void VELKANO_CALL endUpdate() { velkano::endUpdate(theContext); }
VELKANO_BUILTIN void VELKANO_CALL pause(int32_t milliseconds) { pauseThread(milliseconds); }
VELKANO_BUILTIN void VELKANO_CALL setTexture(const uint8_t* indices, int32_t width, int32_t height,
                                             const uint32_t* palette, int32_t blendMode) {
    velkano::setTexture(theContext, indices, width, height, palette, blendMode);
}
VELKANO_BUILTIN void VELKANO_CALL setLightmap(const uint32_t* lightmap, int32_t width, int32_t height) {
    velkano::setLightmap(theContext, lightmap, width, height);
}
VELKANO_BUILTIN void VELKANO_CALL flashAdd(uint32_t colour) { velkano::flashAdd(theContext, colour); }
VELKANO_BUILTIN void VELKANO_CALL flashSub(uint32_t colour) { velkano::flashSub(theContext, colour); }
VELKANO_BUILTIN void VELKANO_CALL flashMod(uint32_t colour) { velkano::flashMod(theContext, colour); }
VELKANO_BUILTIN void VELKANO_CALL drawTri(const float* positions, const float* texCoords, const uint32_t* colours) {
    drawTriangle(theContext, positions, texCoords, colours);
}
VELKANO_BUILTIN void VELKANO_CALL drawPerspTri(const float* positions, const float* texCoords,
                                               const float* lightmapCoords, const float* depths) {
    drawPerspectiveTriangle(theContext, positions, texCoords, lightmapCoords, depths);
}
VELKANO_BUILTIN void VELKANO_CALL drawTile(float x, float y, float w, float h, float uOffset, float vOffset,
                                           float uSpan, float vSpan, uint32_t, uint32_t, uint32_t tint) {
    velkano::drawTile(theContext, {x, y, w, h, uOffset, vOffset, uSpan, vSpan}, tint);
}

// In the order of the entry-point list, which is the table's member order.
#define VELKANO_BUILTIN_MEMBER(NAME, BYTES, Name, name, parameters) name,
const LibraryTable theTable = {VELKANO_ENTRY_POINTS(VELKANO_BUILTIN_MEMBER)};
#undef VELKANO_BUILTIN_MEMBER

}  // namespace

BuiltinLibrary::BuiltinLibrary() = default;
BuiltinLibrary::~BuiltinLibrary() { destroyContext(theContext); }
const LibraryTable& BuiltinLibrary::table() const { return theTable; }
const RenderContext& BuiltinLibrary::context() const { return theContext; }

uint64_t ContextCopy::sizeBytes() const {
    const uint64_t layerBytes = uint64_t(uint32_t(context_.height)) * uint64_t(uint32_t(context_.pitch));
    return (context_.textureLayer ? layerBytes : 0) + (context_.lightLayer ? layerBytes : 0) +
           uint64_t(uint32_t(context_.bandStorage.columns)) * kBandRowsPerSet * kBandSets * sizeof(int32_t);
}

bool BuiltinLibrary::save(ContextCopy& copy) const { return copyContext(copy.context_, theContext); }

bool BuiltinLibrary::restore(const ContextCopy& copy, uint8_t* target, const uint8_t* texture, const uint32_t* palette,
                             const uint32_t* lightmap) {
    if (!copyContext(theContext, copy.context_)) return false;
    theContext.target = target;
    theContext.textureIndices = texture;
    theContext.palette = palette;
    theContext.lightmap = lightmap;
    return true;
}

}  // namespace velkano::replay
