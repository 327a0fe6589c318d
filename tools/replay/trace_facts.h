// trace_facts.h: what a trace says about itself without a library: its header and how many of
// each record it holds, for --info and --diff-traces.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "call_listing.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// "format 1, written by Velkano 1.4.0 on posix with 8-byte pointers, default mode".
std::string headerText(const trace::Header& header);
// {"formatVersion", "library", "platform", "pointerBytes", "mode"}.
Json headerJson(const trace::Header& header);

// The records of a trace, counted as they are read.
struct TraceCounts {
    std::array<uint64_t, trace::kEntryPointCount> perEntry{};
    uint64_t calls = 0;
    uint64_t frames = 0;             // ENDUPDATEs
    uint64_t callsAfterLastEnd = 0;  // calls of an unfinished last frame
    uint64_t images = 0, imageHashes = 0;
    uint64_t blobs = 0, contentBytes = 0, storedBytes = 0;
    bool sawEnd = false;
    uint64_t endCalls = 0;
    uint32_t endFrames = 0;

    void add(const trace::Record& record);
};

}  // namespace velkano::replay
