#include "effects/flash.h"

#include <cstring>

#include "pixel/channel_ops.h"
#include "pixel/simd_level.h"

namespace velkano {
namespace {

using FlashKernel = void (*)(uint8_t*, size_t, uint32_t);

// Applies `op` to each whole pixel word of the first `wordsBytes` bytes (a multiple of 4).
template <typename WordOp>
void forEachWord(uint8_t* block, size_t wordsBytes, WordOp op) {
    for (size_t at = 0; at < wordsBytes; at += 4) {
        uint32_t word;
        std::memcpy(&word, block + at, 4);  // rows may start at any byte address
        word = op(word);
        std::memcpy(block + at, &word, 4);
    }
}

void runFlash(RenderContext& context, uint32_t colour, FlashKernel scalar, FlashKernel sse2) {
    const size_t sizeBytes = targetSizeBytes(context);
    if (sizeBytes == 0) return;
    (simdLevel() == SimdLevel::Sse2 ? sse2 : scalar)(context.target, sizeBytes, colour);
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

void flashAdd(RenderContext& context, uint32_t colour) { runFlash(context, colour, flashAddScalar, flashAddSse2); }
void flashSub(RenderContext& context, uint32_t colour) { runFlash(context, colour, flashSubScalar, flashSubSse2); }
void flashMod(RenderContext& context, uint32_t colour) { runFlash(context, colour, flashModScalar, flashModSse2); }

}  // namespace velkano
