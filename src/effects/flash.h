// flash.h: whole-image flashes, in place over the target's pitch * height bytes, row
// padding included. The colour is a PixelWord applied to every pixel word of the block:
// its byte 0 meets every blue byte, byte 3 every X byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/render_context.h"

namespace velkano {

// Entry-point bodies: nothing happens while pitch or height is 0 or less.
void flashAdd(RenderContext& context, uint32_t colour);  // channelAddSat, whole 8-byte groups
void flashSub(RenderContext& context, uint32_t colour);  // channelSubSat, whole 8-byte groups
void flashMod(RenderContext& context, uint32_t colour);  // channelModulate, whole 4-byte words

// Kernels on a block of `sizeBytes` starting at any byte address. Add and sub change the
// first 8 * floor(size / 8) bytes, mod the first 4 * floor(size / 4).
void flashAddScalar(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashSubScalar(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashModScalar(uint8_t* block, size_t sizeBytes, uint32_t colour);
namespace sse2 {
void flashAddSse2(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashSubSse2(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashModSse2(uint8_t* block, size_t sizeBytes, uint32_t colour);
}  // namespace sse2
namespace avx2 {  // AVX2 machines only
void flashAddAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashSubAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashModAvx2(uint8_t* block, size_t sizeBytes, uint32_t colour);
}  // namespace avx2
namespace neon {  // ARM64 only
void flashAddNeon(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashSubNeon(uint8_t* block, size_t sizeBytes, uint32_t colour);
void flashModNeon(uint8_t* block, size_t sizeBytes, uint32_t colour);
}  // namespace neon

}  // namespace velkano
