// options.h: the replay tool's command line, parsed into one record.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

namespace velkano::replay {

// Frames first..last, both included; frames are numbered from 0 and end at each ENDUPDATE.
struct FrameRange {
    uint64_t first = 0;
    uint64_t last = std::numeric_limits<uint64_t>::max();
    bool contains(uint64_t frame) const { return frame >= first && frame <= last; }
};

struct Options {
    std::string tracePath;
    std::string pngDir;       // --png DIR: empty when not asked for
    std::string libraryPath;  // --library PATH: empty for the default library
    std::string comparePath;  // --compare PATH: empty when not comparing
    FrameRange frames;        // --frames A-B, A- or A
    bool listCalls = false;   // --calls
    bool profile = false;     // --profile
    bool help = false;        // --help: print usageText() and nothing else
};

// Parses argv[1..argc-1]. False on a usage error, with `error` saying what was wrong.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);
// Parses "A-B", "A-" or "A" (decimal frame numbers, A <= B).
bool parseFrameRange(const std::string& text, FrameRange& range);
std::string usageText();

}  // namespace velkano::replay
