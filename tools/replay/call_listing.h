// call_listing.h: the trace as text, one line per call and per image record, without running
// any library:
//   frame 3 call 1234  DRAWTILE@44(x=12.5, y=3, ..., texture=#1a2b3c4d5e6f7788 65536 B, ...)
// Integers in decimal, words in hex, floats in their shortest round-trip form, pointers in hex
// followed by the content the call read through them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "options.h"
#include "reporter.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// Content bytes of every blob read so far, by hash.
using BlobSizes = std::unordered_map<uint64_t, uint32_t>;

// One call as text: the entry point's decorated name and its arguments and reads.
std::string formatCall(const trace::Call& call, const BlobSizes& blobBytes);
// The float whose bits are `bits`, in the shortest form that reads back to the same value.
std::string formatFloat(uint32_t bits);

// Lists the frames of `range` on `out`; returns the exit status (0, or 2 for an unusable trace).
int listCalls(trace::TraceReader& reader, const FrameRange& range, std::FILE* out, Reporter& report);

}  // namespace velkano::replay
