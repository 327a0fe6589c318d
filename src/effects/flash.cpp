#include "effects/flash.h"

#include "context/kernel_table.h"
#include "pixel/channel_ops.h"

namespace velkano {
namespace {

// Applies `op` to each whole pixel word of the first `wordsBytes` bytes (a multiple of 4).
template <typename WordOp>
void forEachWord(uint8_t* block, size_t wordsBytes, WordOp op) {
    for (size_t at = 0; at < wordsBytes; at += 4) storeWord(block + at, op(loadWord(block + at)));
}

template <typename Slot>
void runFlash(RenderContext& context, uint32_t colour, const Slot& kernel) {
    const size_t sizeBytes = targetSizeBytes(context);
    if (sizeBytes != 0) kernel(context.target, sizeBytes, colour);
}

}  // namespace

// Add and sub take whole 8-byte groups (two pixels) only: a final odd pixel keeps its value.
void flashAddScalar(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    forEachWord(block, sizeBytes & ~size_t{7}, [=](uint32_t p) { return channelAddSat(p, colour); });
}

void flashSubScalar(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    forEachWord(block, sizeBytes & ~size_t{7}, [=](uint32_t p) { return channelSubSat(p, colour); });
}

void flashModScalar(uint8_t* block, size_t sizeBytes, uint32_t colour) {
    forEachWord(block, sizeBytes & ~size_t{3}, [=](uint32_t p) { return channelModulate(p, colour); });
}

void flashAdd(RenderContext& context, uint32_t colour) { runFlash(context, colour, kernels().flashAdd); }
void flashSub(RenderContext& context, uint32_t colour) { runFlash(context, colour, kernels().flashSub); }
void flashMod(RenderContext& context, uint32_t colour) { runFlash(context, colour, kernels().flashMod); }

}  // namespace velkano
