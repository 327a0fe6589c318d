// replay_session.h: the tool's default mode: replays a trace against a library (or two side
// by side), checks the image against the recording, writes PNG files, times calls.
#pragma once

#include "library_table.h"
#include "modes.h"

namespace velkano::replay {

// Replays input.reader with `library` (and `second`, when comparing; the recorded image checks
// are then left out, since the question is whether the two libraries agree). With --profile
// --repeat N, that pass is a warm-up and N timed passes follow, each reading the trace again
// with a fresh private copy of the library. Prints findings on stderr and the summary, the
// comparison and the profile on stdout (or all of it as one JSON document). Returns the exit
// status: 0 all matched, 1 an image differed, the libraries differed (or nothing was verified,
// with --strict), 2 unusable trace or unwritable PNG, or a trace whose host stopped early
// (what it holds is still replayed, summed up, written and timed).
int replayTrace(const ModeInput& input, const Library& library, const Library* second);

}  // namespace velkano::replay
