// reporter.h: what the replay tool prints on stderr: errors and warnings, each one line
//   velkano-replay: what                                (usage, libraries, files)
//   velkano-replay: TRACE: offset N: what               (the trace, at a record)
// in both builds alike, and a progress bar while a long trace replays on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "trace/trace_reader.h"

namespace velkano::replay {

// "1 frame", "2 frames".
std::string plural(uint64_t n, const char* one, const char* many);

class Reporter {
public:
    // The bar shows only when stderr is a terminal and the trace is long: more than 4 MiB, or
    // once more than 10,000 calls have gone by.
    explicit Reporter(uint64_t fileBytes = 0, std::string tracePath = {});
    ~Reporter() { clearProgress(); }

    // "velkano-replay: message", stdout flushed and the bar erased first, so the lines of both
    // streams come in the order they were made.
    void error(const std::string& message);
    void warning(const std::string& message);
    // Warnings off, for a pass over the trace that would only repeat those already given.
    void muteWarnings(bool muted) { warningsMuted_ = muted; }
    // "velkano-replay: TRACE: offset N: what".
    void traceError(uint64_t offset, const std::string& what);
    // The reader's own error, which names its offset: "velkano-replay: TRACE: offset N: what".
    void readerError(const trace::TraceReader& reader);
    const std::string& tracePath() const { return tracePath_; }
    // Redraws the bar at most ten times a second: "[#####.....] 45% frame 12".
    void progress(uint64_t doneBytes, uint64_t calls, uint64_t frame);
    // No bar from now on (a server replaying parts of a trace on request).
    void hideProgress() {
        clearProgress();
        terminal_ = false;
    }
    void clearProgress();

private:
    uint64_t fileBytes_;
    std::string tracePath_;
    bool terminal_;
    bool shown_ = false;
    bool warningsMuted_ = false;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

// Whether the reader, once stopped, found the file simply ending, without a fault and without
// its End record: the recorded host stopped early, and every record before was read.
bool endsWithoutEndRecord(const trace::TraceReader& reader, bool sawEnd);
// How a reading pass over the trace ended, once the reader stopped: 0 at a clean end, else 2,
// with the reader's error or, for a trace that simply stops without its End record, a note
// that the recorded host stopped early (everything before it was still used).
int readingStatus(const trace::TraceReader& reader, bool sawEnd, uint64_t calls, uint64_t frames, Reporter& report);

}  // namespace velkano::replay
