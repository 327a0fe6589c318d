// call_sequence_fuzzer.h: the fuzz target, for libFuzzer and for the replay program that runs
// a corpus without it.
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
