// profile_report.h: the times of the library calls of a replay (--profile), over one or more
// timed passes: per entry point the count, total, mean and slowest; per frame the total; the
// slowest single calls with the pixels each changed. With several passes every figure is the
// median over the passes (a call's time is its median, a total the median of the passes' totals).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

#include "trace/trace_format.h"

namespace velkano::replay {

class ProfileReport {
public:
    // The calls to time, in trace order, as one pass lists them; `pixels` is what the call
    // changed, when measured.
    void addCall(trace::EntryPoint entry, uint64_t frame, uint64_t call, bool measured, uint64_t pixels);
    // A timed pass: the times of the calls added, in the same order.
    void beginPass();
    void addTime(double seconds);
    size_t calls() const { return calls_.size(); }
    size_t timesInPass() const { return times_.empty() ? 0 : times_.back().size(); }

    // `finishedFrames`: the frames that ended with ENDUPDATE; a frame after them is unfinished.
    void print(std::FILE* out, uint64_t finishedFrames) const;
    nlohmann::ordered_json json(uint64_t finishedFrames) const;

    static constexpr size_t kSlowestCalls = 10, kSlowestFrames = 5;

private:
    struct Call {
        uint64_t frame, call, pixels;
        trace::EntryPoint entry;
        bool measured;
    };
    struct EntryFigures {
        uint64_t count = 0;
        double totalSeconds = 0, slowestSeconds = 0;
    };
    struct FrameFigures {
        uint64_t frame, calls;
        double seconds;
    };
    // The medians, worked out when printed.
    struct Summary {
        std::vector<EntryFigures> entries;  // per entry point
        std::vector<FrameFigures> frames;   // in order
        std::vector<size_t> slowestFrames;  // indices into frames, slowest first
        std::vector<size_t> slowestCalls;   // indices into calls_, slowest first
        std::vector<double> callSeconds;    // per call
        double totalSeconds = 0;
    };
    Summary summarize() const;

    std::vector<Call> calls_;
    std::vector<std::vector<double>> times_;  // per pass, per call
};

}  // namespace velkano::replay
