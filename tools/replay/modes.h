// modes.h: the tool's modes besides the default replay, each run by main() with the trace
// read and checked, and each returning the exit status (0, 1 for a difference found, 2 for
// unusable input or a usage error found late).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "library_table.h"
#include "options.h"
#include "reporter.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// Reads the whole trace file at `path` and checks its header. Null when it cannot, with the
// reason reported ("velkano-replay: cannot open PATH: <the system's reason>", a directory, a
// file too large, or "velkano-replay: PATH: offset N: what" for an unusable header).
std::unique_ptr<trace::TraceReader> openTrace(const std::string& path, Reporter& report);

// What every mode gets.
struct ModeInput {
    const Options& options;
    trace::TraceReader& reader;
    Reporter& report;

    // The library to replay with: --library, or the default one. `privateCopy` loads a copy of
    // its own, with its own state (needed for a second load of one file). Null, reported, when
    // it cannot be loaded.
    std::unique_ptr<Library> openLibrary(const std::string& path, bool privateCopy = false) const;
    // The trace again from the start, for a mode that needs another pass; null, reported, when
    // the file cannot be read again.
    std::unique_ptr<trace::TraceReader> reopen() const { return openTrace(options.tracePath, report); }
};

int runCalls(const ModeInput& input);       // --calls
int runState(const ModeInput& input);       // --state N
int runImages(const ModeInput& input);      // --image-at, --texture-at, --lightmap-at, --layers
int runPixel(const ModeInput& input);       // --pixel X,Y
int runOverdraw(const ModeInput& input);    // --overdraw DIR
int runDiffTraces(const ModeInput& input);  // --diff-traces A B (input.reader is A)
int runInfo(const ModeInput& input);        // --info
int runExtract(const ModeInput& input);     // --extract A-B OUT
int runServe(const ModeInput& input);       // --serve: the frame debugger over HTTP

}  // namespace velkano::replay
