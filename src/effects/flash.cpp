#include "effects/flash.h"

#include "pixel/channel_ops.h"
#include "pixel/simd_level.h"

namespace velkano {
namespace {

using FlashKernel = void (*)(uint8_t*, size_t, uint32_t);

// Applies `op` to each whole pixel word of the first `wordsBytes` bytes (a multiple of 4).
template <typename WordOp>
void forEachWord(uint8_t* block, size_t wordsBytes, WordOp op) {
    for (size_t at = 0; at < wordsBytes; at += 4) storeWord(block + at, op(loadWord(block + at)));
}

struct FlashKernels {
    FlashKernel scalar, sse2, avx2;
};

void runFlash(RenderContext& context, uint32_t colour, const FlashKernels& kernels) {
    const size_t sizeBytes = targetSizeBytes(context);
    if (sizeBytes == 0) return;
    switch (simdLevel()) {
        case SimdLevel::Avx2: kernels.avx2(context.target, sizeBytes, colour); break;
        case SimdLevel::Sse2: kernels.sse2(context.target, sizeBytes, colour); break;
        case SimdLevel::Scalar: kernels.scalar(context.target, sizeBytes, colour); break;
    }
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

void flashAdd(RenderContext& context, uint32_t colour) {
    runFlash(context, colour, {flashAddScalar, flashAddSse2, flashAddAvx2});
}
void flashSub(RenderContext& context, uint32_t colour) {
    runFlash(context, colour, {flashSubScalar, flashSubSse2, flashSubAvx2});
}
void flashMod(RenderContext& context, uint32_t colour) {
    runFlash(context, colour, {flashModScalar, flashModSse2, flashModAvx2});
}

}  // namespace velkano
