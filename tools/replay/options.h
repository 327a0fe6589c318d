// options.h: the replay tool's command line, parsed into one record (CLI11).
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace velkano::replay {

// first..last, both included: frames (numbered from 0, each ending at its ENDUPDATE) or calls
// (numbered from 0 in file order).
struct NumberRange {
    uint64_t first = 0;
    uint64_t last = std::numeric_limits<uint64_t>::max();
    bool contains(uint64_t n) const { return n >= first && n <= last; }
    bool all() const { return first == 0 && last == std::numeric_limits<uint64_t>::max(); }
    std::string text() const;  // "3-7", "3-" or "3"
};
using FrameRange = NumberRange;

// What a run of the tool does. Replay is the default: replay, check, and optionally write
// PNG files, profile or compare with a second library.
enum class Mode { Replay, Calls, State, Images, Pixel, Overdraw, DiffTraces, Info, Extract, Serve, Version, Help };

struct Options {
    Mode mode = Mode::Replay;
    std::string tracePath;
    std::string secondTracePath;  // --diff-traces A B: B (A is tracePath)
    std::string libraryPath;      // --library PATH: empty for the default library
    std::string comparePath;      // --compare PATH: empty when not comparing
    std::string pngDir;           // --png DIR
    FrameRange frames;            // --frames A-B, A- or A
    NumberRange calls;            // --call-range A-B
    uint32_t onlyEntries = 0;     // --only: a bit per trace::EntryPoint; 0 for all
    bool profile = false;         // --profile
    unsigned repeat = 1;          // --repeat N: timed passes (after one warm-up pass when N > 1)
    bool json = false;            // --json
    bool strict = false;          // --strict: nothing verified is a failure
    uint64_t stateAt = 0;         // --state N
    // Mode::Images: --image-at N OUT.png, --texture-at N OUT.png, --lightmap-at N OUT.png, any
    // of them; --layers adds the scratch layers beside the image.
    struct ImageRequest {
        bool wanted = false;
        uint64_t call = 0;
        std::string path;
    };
    ImageRequest image, texture, lightmap;
    bool layers = false;
    int zoom = 1;                    // --zoom N: the images at a call drawn N times larger
    int32_t pixelX = 0, pixelY = 0;  // --pixel X,Y
    std::string overdrawDir;         // --overdraw DIR
    FrameRange extractFrames;        // --extract A-B OUT
    std::string extractPath;
    uint16_t port = kDefaultPort;  // --serve: --port N (0: any free port)
    uint32_t checkpointMiB = 512;  // --serve: --checkpoint-mib N, the checkpoints' memory limit

    static constexpr uint16_t kDefaultPort = 8765;

    bool onlyEntry(unsigned entry) const { return onlyEntries == 0 || (onlyEntries >> entry & 1u) != 0; }
};

// Parses argv[1..argc-1]. False on a usage error, with `error` saying what was wrong.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);
// Parses "A-B", "A-" or "A" (decimal numbers, A <= B).
bool parseRange(const std::string& text, NumberRange& range);
std::string usageText();

}  // namespace velkano::replay
