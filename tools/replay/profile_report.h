// profile_report.h: the times of the library calls of a replay (--profile): per entry point
// the count, total, mean and slowest, and the ten slowest single calls.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "trace/trace_format.h"

namespace velkano::replay {

class ProfileReport {
public:
    void add(trace::EntryPoint entry, double seconds, uint64_t frame, uint64_t call);
    void print(std::FILE* out) const;

    static constexpr size_t kSlowestKept = 10;

private:
    struct Totals {
        uint64_t count = 0;
        double totalSeconds = 0, slowestSeconds = 0;
    };
    struct SlowCall {
        double seconds;
        uint64_t frame, call;
        trace::EntryPoint entry;
    };
    std::array<Totals, trace::kEntryPointCount> totals_{};
    std::vector<SlowCall> slowest_;  // at most kSlowestKept, slowest first
};

}  // namespace velkano::replay
