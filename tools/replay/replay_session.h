// replay_session.h: the tool's default mode: replays a trace against a library (or two side
// by side), checks the image against the recording, writes PNG files, times calls.
#pragma once

#include "library_table.h"
#include "options.h"
#include "reporter.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// Replays `reader` with `library` (and `second`, when comparing; the recorded image checks are
// then left out, since the question is whether the two libraries agree). Prints findings on
// stderr and the summary and profile on stdout. Returns the exit status: 0 all matched, 1 an
// image differed (or nothing was verified, with --strict), 2 unusable trace (or a trace whose
// host stopped early) or unwritable PNG.
int replayTrace(trace::TraceReader& reader, const Options& options, const LibraryTable& library,
                const LibraryTable* second, Reporter& report);

}  // namespace velkano::replay
