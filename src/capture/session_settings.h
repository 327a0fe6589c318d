// session_settings.h: what the user chooses for a recording through the environment, read at
// the first call: exact mode (VELKANO_TRACE_EXACT) and, without VELKANO_TRACE, the trace's
// default name, which never replaces an existing file.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "capture/trace_sink.h"

namespace velkano::capture {

// Whether VELKANO_TRACE_EXACT's `value` (null when unset) asks for exact mode. On: 1, true,
// yes, on; off: 0, false, no, off, empty or unset; letter case and surrounding white space do
// not matter. Anything else is off and sets `warning` to the message telling the user so.
bool exactModeRequested(const char* value, std::string& warning);

// velkano-YYYYMMDD-HHMMSS-<process id>.vktrace for `attempt` 0, then with "-2", "-3", ...
// before the extension.
std::string defaultTraceName(const std::tm& local, uint64_t processId, unsigned attempt);

// Creates the trace in `folder` (empty: the working directory, else ending in a separator)
// under the first default name no file has yet, so that an earlier trace is never replaced:
// process ids repeat (often under Wine) and two processes may start in one second. False with
// `error` set when it cannot; `path` is the name tried last.
bool createDefaultTrace(FileTraceSink& sink, const std::string& folder, const std::tm& local, uint64_t processId,
                        std::string& path, std::string& error);

// The local time now (all fields zero if the system cannot say).
std::tm localTimeNow();

}  // namespace velkano::capture
