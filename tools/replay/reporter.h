// reporter.h: what the replay tool prints on stderr: errors and warnings prefixed
// "velkano-replay: ", and a progress bar while a long trace replays on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "trace/trace_reader.h"

namespace velkano::replay {

class Reporter {
public:
    // The bar shows only when stderr is a terminal and the trace is long: more than 4 MiB, or
    // once more than 10,000 calls have gone by.
    explicit Reporter(uint64_t fileBytes);
    ~Reporter() { clearProgress(); }

    void error(const std::string& message);  // "velkano-replay: message", the bar erased first
    void warning(const std::string& message);
    // Redraws the bar at most ten times a second: "[#####.....] 45% frame 12".
    void progress(uint64_t doneBytes, uint64_t calls, uint64_t frame);
    void clearProgress();

private:
    uint64_t fileBytes_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

// How a reading pass over the trace ended, once the reader stopped: 0 at a clean end, else 2,
// with the reader's error or, for a trace that simply stops without its End record, a note
// that the recorded host stopped early (everything before it was still used).
int readingStatus(const trace::TraceReader& reader, bool sawEnd, uint64_t calls, uint64_t frames, Reporter& report);

}  // namespace velkano::replay
