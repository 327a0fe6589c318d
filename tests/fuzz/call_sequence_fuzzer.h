// call_sequence_fuzzer.h: the fuzz target, for libFuzzer and for the replay program that runs
// a corpus without it, and its input format, which the seed writer shares.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// The calls made so far and the slowest of them.
struct FuzzCallTimes {
    uint64_t calls = 0;
    double slowestMs = 0;
    const char* slowestName = "none";
};
FuzzCallTimes& fuzzCallTimes();

// The input: one byte picking the kernel level (modulo 3: scalar, SSE2, AVX2), then calls,
// each a byte naming it (modulo kCallCount) and its arguments. Every value is read from the
// front; a choice byte decides how the bytes after it are read. Past the end, bytes are zero.
namespace fuzzformat {

enum Call : uint8_t {
    kInit,
    kUnload,
    kBeginUpdate,
    kEndUpdate,
    kPause,
    kFlashAdd,
    kFlashSub,
    kFlashMod,
    kSetTexture,
    kSetLightmap,
    kDrawTile,
    kDrawTri,
    kDrawTriAgain,
    kDrawPerspTri,
    kDrawPerspTriAgain,
    kChangePalette,
    kCallCount
};
// A coordinate: below the first bound a value of the awkward list, below the second an int16
// (two bytes) divided by 32, otherwise the bits of a float (four bytes).
constexpr uint8_t kCoordinateListedBelow = 48, kCoordinateFixedBelow = 224;
// A size: the awkward list, then 1 + a 10-bit number (two bytes), then any int32 (four bytes).
constexpr uint8_t kSizeListedBelow = 64, kSizeSmallBelow = 240;
// A blend mode: the list (0 to 7 first), then any int32.
constexpr uint8_t kModeListedBelow = 240;
// INIT's pitch, from 4 x width: plus a byte mod 9, minus a byte mod 9, any size, or exactly.
enum PitchKind : uint8_t { kPitchPadded, kPitchShort, kPitchAny, kPitchExact, kPitchKinds };
// A triangle's six coordinates are followed by a shape byte (modulo kShapeCount).
enum Shape : uint8_t { kCollinear, kTwoEqual, kFlatTop, kFlatBottom, kOneRow, kAsGiven, kShapeCount = 8 };
// Addresses: a choice byte whose value modulo 16 (32 for the arrays) is 0 gives null; a
// block then takes a byte (odd: against the page before it) and a 32-bit content seed.

}  // namespace fuzzformat
