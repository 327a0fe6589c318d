// mode_calls.cpp: --calls. PENDING: still the listing without a library.
#include <cstdio>

#include "call_listing.h"
#include "modes.h"

namespace velkano::replay {

int runCalls(const ModeInput& input) { return listCalls(input.reader, input.options.frames, stdout, input.report); }

}  // namespace velkano::replay
