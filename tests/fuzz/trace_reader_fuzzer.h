// trace_reader_fuzzer.h: the trace fuzz target, for libFuzzer and for the replay program that
// runs the trace corpus without it.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// What the inputs so far made the reader do, for the replay's summary line.
struct TraceFuzzCounts {
    uint64_t records = 0;
    uint64_t decodes = 0;       // content() calls that returned a blob
    uint64_t decodedBytes = 0;  // their content bytes
    uint64_t cleanEnds = 0;     // inputs read to an End record followed by nothing
};
TraceFuzzCounts& traceFuzzCounts();
