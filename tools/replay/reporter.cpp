// reporter.cpp: messages on stderr and the progress bar.
#include "reporter.h"

#include <cstdio>
#include <utility>

#if defined(_WIN32)
#  include <io.h>
#  define VELKANO_ISATTY(f) _isatty(_fileno(f))
#else
#  include <unistd.h>
#  define VELKANO_ISATTY(f) isatty(fileno(f))
#endif

namespace velkano::replay {
namespace {

constexpr uint64_t kLongTraceBytes = 4u << 20;
constexpr uint64_t kLongTraceCalls = 10000;
constexpr int kBarCells = 30;

}  // namespace

std::string plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

Reporter::Reporter(uint64_t fileBytes, std::string tracePath)
    : fileBytes_(fileBytes), tracePath_(std::move(tracePath)), terminal_(VELKANO_ISATTY(stderr) != 0) {}

void Reporter::error(const std::string& message) {
    clearProgress();
    std::fflush(stdout);
    std::fprintf(stderr, "velkano-replay: %s\n", message.c_str());
    std::fflush(stderr);
}

void Reporter::traceError(uint64_t offset, const std::string& what) {
    error(tracePath_ + ": offset " + std::to_string(offset) + ": " + what);
}

void Reporter::readerError(const trace::TraceReader& reader) { error(tracePath_ + ": " + reader.error()); }

void Reporter::warning(const std::string& message) {
    if (!warningsMuted_) error("warning: " + message);
}

void Reporter::progress(uint64_t doneBytes, uint64_t calls, uint64_t frame) {
    if (!terminal_ || (fileBytes_ <= kLongTraceBytes && calls <= kLongTraceCalls)) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    lastDrawn_ = now;
    const unsigned percent = fileBytes_ == 0 ? 100u : static_cast<unsigned>(doneBytes * 100 / fileBytes_);
    const int filled = static_cast<int>(percent * kBarCells / 100);
    char bar[kBarCells + 1];
    for (int i = 0; i < kBarCells; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarCells] = '\0';
    std::fprintf(stderr, "\r[%s] %3u%% frame %llu ", bar, percent, static_cast<unsigned long long>(frame));
    std::fflush(stderr);
    shown_ = true;
}

void Reporter::clearProgress() {
    if (!shown_) return;
    std::fprintf(stderr, "\r%*s\r", kBarCells + 40, "");
    std::fflush(stderr);
    shown_ = false;
}

bool endsWithoutEndRecord(const trace::TraceReader& reader, bool sawEnd) {
    return !reader.error().empty() && !sawEnd && reader.offset() == reader.fileBytes();
}

int readingStatus(const trace::TraceReader& reader, bool sawEnd, uint64_t calls, uint64_t frames, Reporter& report) {
    if (reader.error().empty()) return 0;
    if (endsWithoutEndRecord(reader, sawEnd)) {
        report.traceError(reader.offset(), "the trace ends after " + plural(calls, "call", "calls") + " (" +
                                               plural(frames, "frame", "frames") +
                                               ") without its end record: the recorded host stopped early");
        return 2;
    }
    report.readerError(reader);
    return 2;
}

}  // namespace velkano::replay
