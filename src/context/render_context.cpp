#include "context/render_context.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "context/platform.h"
#include "pixel/numeric.h"

namespace velkano {
namespace {

RenderContext theContext;  // zero-initialised: the Loaded state

// Zero-filled block of `sizeBytes`, or null when the size is 0 or less, does not fit in a
// signed 32-bit number, or the heap refuses it.
void* allocateZeroed(int64_t sizeBytes) {
    if (sizeBytes <= 0 || sizeBytes > std::numeric_limits<int32_t>::max()) return nullptr;
    return std::calloc(static_cast<size_t>(sizeBytes), 1);
}

void releaseBandStorage(BandStorage& storage) {
    std::free(storage.entries);
    storage = BandStorage{nullptr, 0};
}

// Band rows for grid columns 0 to lastColumn, all zero: a walk may read a column it did not
// evaluate (one left of a very tall triangle's grid), and then finds what earlier walks left
// there, zero at first. Left absent when lastColumn lies below 0 or the storage cannot be had.
void createBandStorage(BandStorage& storage, int32_t lastColumn) {
    releaseBandStorage(storage);
    if (lastColumn < 0) return;
    const int64_t columns = int64_t{lastColumn} + 1;
    const int64_t sizeBytes = columns * kBandRowsPerSet * kBandSets * int64_t{sizeof(int32_t)};
    auto* entries = static_cast<int32_t*>(allocateZeroed(sizeBytes));
    if (entries == nullptr) return;
    storage = BandStorage{entries, static_cast<int32_t>(columns)};
}

void releaseLayers(RenderContext& context) {
    std::free(context.textureLayer);
    context.textureLayer = nullptr;
    std::free(context.lightLayer);
    context.lightLayer = nullptr;
}

// The width the band storage is shaped for: the drawing calls' width where the image is
// usable, otherwise the stored width, whose K may leave the storage absent.
int32_t gridWidth(const RenderContext& context) {
    const int32_t usable = drawableWidth(context);
    return usable > 0 ? usable : context.width;
}

}  // namespace

RenderContext& processContext() { return theContext; }

int32_t drawableWidth(const RenderContext& context) {
    if (context.width <= 0 || context.height <= 0 || context.pitch <= 0) return 0;
    const int32_t pixelsPerPitch = context.pitch / 4;
    return context.width < pixelsPerPitch ? context.width : pixelsPerPitch;
}

size_t targetSizeBytes(const RenderContext& context) {
    return targetSizeBytes(context.target, context.pitch, context.height);
}

size_t targetSizeBytes(const void* target, int32_t pitch, int32_t height) {
    if (pitch <= 0 || height <= 0 || target == nullptr) return 0;
    const uint64_t sizeBytes = uint64_t(uint32_t(pitch)) * uint64_t(uint32_t(height));
    return sizeBytes > std::numeric_limits<size_t>::max() ? std::numeric_limits<size_t>::max()
                                                          : static_cast<size_t>(sizeBytes);
}

void initContext(RenderContext& context, void* target, int32_t width, int32_t height, int32_t pitch) {
    context.target = static_cast<uint8_t*>(target);
    context.width = width;
    context.height = height;
    context.pitch = pitch;

    // The old layers go before the new ones exist. Zero-filled so that pixels a triangle
    // leaves unwritten are the same on every run.
    releaseLayers(context);
    const int64_t layerBytes = int64_t{height} * int64_t{pitch};
    context.textureLayer = static_cast<uint8_t*>(allocateZeroed(height > 0 && pitch > 0 ? layerBytes : 0));
    context.lightLayer = static_cast<uint8_t*>(allocateZeroed(height > 0 && pitch > 0 ? layerBytes : 0));

    const int32_t lastColumn = alignUp(gridWidth(context), kBlockWidth) / kBlockWidth;
    createBandStorage(context.bandStorage, lastColumn);
}

void unloadContext(RenderContext& context) { releaseLayers(context); }

void destroyContext(RenderContext& context) {
    releaseLayers(context);
    releaseBandStorage(context.bandStorage);
}

bool copyContext(RenderContext& to, const RenderContext& from) {
    destroyContext(to);
    // A block of `sizeBytes` holding the bytes of `source`; null for a null source, or when the
    // heap refuses it.
    const auto duplicate = [](const void* source, int64_t sizeBytes) -> void* {
        void* block = source != nullptr ? allocateZeroed(sizeBytes) : nullptr;
        if (block != nullptr) std::memcpy(block, source, static_cast<size_t>(sizeBytes));
        return block;
    };
    const int64_t layerBytes = int64_t{from.height} * int64_t{from.pitch};
    const int64_t bandBytes =
        int64_t{from.bandStorage.columns} * kBandRowsPerSet * kBandSets * int64_t{sizeof(int32_t)};
    to = from;
    to.textureLayer = static_cast<uint8_t*>(duplicate(from.textureLayer, layerBytes));
    to.lightLayer = static_cast<uint8_t*>(duplicate(from.lightLayer, layerBytes));
    to.bandStorage.entries = static_cast<int32_t*>(duplicate(from.bandStorage.entries, bandBytes));
    const bool copied = (to.textureLayer == nullptr) == (from.textureLayer == nullptr) &&
                        (to.lightLayer == nullptr) == (from.lightLayer == nullptr) &&
                        to.bandStorage.empty() == from.bandStorage.empty();
    if (!copied) destroyContext(to);
    return copied;
}

void endUpdate(RenderContext& context) { context.frameCounter += 1u; }  // unsigned: wraps to 0

void pauseThread(int32_t milliseconds) {
    if (milliseconds < 0) return;  // the platform would take it as "sleep forever"
    platformSleep(static_cast<uint32_t>(milliseconds));
}

}  // namespace velkano
