// render_context.h: the state every drawing call works on, and its lifetime.
// The library keeps one process-wide RenderContext (processContext()), zero at load; the
// exported entry points forward to the functions here with that context, and tests pass
// contexts of their own. Only initContext and unloadContext allocate or release memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/band_storage.h"
#include "pixel/instruction_set.h"

namespace velkano {

// The farthest rounded position, row or column a tile or triangle may reach and still be
// drawn: every walk's arithmetic then stays far inside 32 bits.
constexpr int32_t kFarLimit = 1 << 20;
VELKANO_HELPERS_BEGIN
constexpr bool withinFarLimit(int32_t position) { return position >= -kFarLimit && position <= kFarLimit; }
VELKANO_HELPERS_END

// Fields in their documented order. Zero-initialised static storage is the Loaded state.
struct RenderContext {
    uint8_t* target;  // row 0 of the host image; owned by the host
    int32_t pitch;    // bytes from one row to the next, target and both layers
    int32_t width;
    int32_t height;
    uint8_t* textureLayer;  // height * pitch bytes, laid out like the target, or null
    uint8_t* lightLayer;

    const uint8_t* textureIndices;
    int32_t textureWidth;
    int32_t textureHeight;
    int32_t textureMaskU;
    int32_t textureMaskV;
    int32_t textureShift;
    const uint32_t* palette;
    int32_t blendMode;
    const uint32_t* lightmap;
    int32_t lightmapWidth;
    int32_t lightmapHeight;
    int32_t lightmapRowShift;
    int32_t lightmapMaskU;
    int32_t lightmapMaskV;

    uint32_t frameCounter;  // ENDUPDATE calls, modulo 2^32

    BandStorage bandStorage;  // DRAWPERSPTRI's band rows
};

// Byte offset of pixel (x, y) in the target or a layer: rows of `pitch` bytes, 4 per pixel.
VELKANO_HELPERS_BEGIN
inline size_t pixelOffset(size_t pitch, int32_t x, int32_t y) {
    return static_cast<size_t>(y) * pitch + 4 * static_cast<size_t>(x);
}
VELKANO_HELPERS_END

// The one context behind the exported entry points.
RenderContext& processContext();

// Stores the image unchanged, replaces both layers (zero-filled) and re-creates the band
// storage zero-filled for the new width. A failed or impossible allocation leaves that layer
// or the band storage absent. Bindings and frameCounter are kept.
void initContext(RenderContext& context, void* target, int32_t width, int32_t height, int32_t pitch);
// Releases both layers; everything else stays.
void unloadContext(RenderContext& context);
// Releases the layers and the band storage too (tests' own contexts; the process context
// keeps its band storage until the process ends).
void destroyContext(RenderContext& context);
// Makes `to` a copy of `from` that owns its own layers and band storage, holding the same
// bytes (the target and the bound images stay shared); false, with them absent, when they
// cannot be had. What `to` held is released first. For a replay's checkpoints.
bool copyContext(RenderContext& to, const RenderContext& from);
void endUpdate(RenderContext& context);
// Sleeps the calling thread; a negative count returns at once.
void pauseThread(int32_t milliseconds);

// Pixels per row the drawing calls may touch: 0 when width, height or pitch is 0 or less,
// otherwise width limited to pitch / 4 so no pixel lies past its row's pitch.
int32_t drawableWidth(const RenderContext& context);
// Bytes of the flash block, pitch * height; 0 when either is 0 or less or the target is null.
size_t targetSizeBytes(const RenderContext& context);
// The same rule for an image not bound yet (INIT's arguments); SIZE_MAX where the product
// does not fit in size_t.
size_t targetSizeBytes(const void* target, int32_t pitch, int32_t height);

}  // namespace velkano
