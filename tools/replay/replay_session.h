// replay_session.h: one replay of a trace against a library (or two side by side): runs the
// calls in file order, checks the image against the recording, writes PNG files, times calls.
#pragma once

#include "library_table.h"
#include "options.h"
#include "reporter.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// Whether this build can write PNG files (the Windows build has no libpng).
bool pngAvailable();

// Replays `reader` with `library` (and `second`, when comparing; the recorded image checks are
// then left out, since the question is whether the two libraries agree). Prints findings on
// stderr and the summary and profile on stdout. Returns the exit status: 0 all matched, 1 an
// image differed, 2 unusable trace (or a trace whose host stopped early) or unwritable PNG.
int replayTrace(trace::TraceReader& reader, const Options& options, const LibraryTable& library,
                const LibraryTable* second, Reporter& report);

}  // namespace velkano::replay
