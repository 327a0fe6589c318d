// profile_report.cpp: collecting call times and printing them as two tables.
#include "profile_report.h"

#include <algorithm>
#include <string>

namespace velkano::replay {

void ProfileReport::add(trace::EntryPoint entry, double seconds, uint64_t frame, uint64_t call) {
    Totals& totals = totals_[static_cast<size_t>(entry)];
    ++totals.count;
    totals.totalSeconds += seconds;
    totals.slowestSeconds = std::max(totals.slowestSeconds, seconds);
    if (slowest_.size() == kSlowestKept && seconds <= slowest_.back().seconds) return;
    // Strictly slower calls go first, so of equal times the earliest call stays.
    const auto at =
        std::find_if(slowest_.begin(), slowest_.end(), [&](const SlowCall& s) { return seconds > s.seconds; });
    slowest_.insert(at, SlowCall{seconds, frame, call, entry});
    if (slowest_.size() > kSlowestKept) slowest_.pop_back();
}

void ProfileReport::print(std::FILE* out) const {
    std::fprintf(out, "%-16s %10s %12s %12s %12s\n", "entry point", "calls", "total ms", "mean us", "slowest us");
    for (size_t i = 0; i < totals_.size(); ++i) {
        const Totals& t = totals_[i];
        if (t.count == 0) continue;
        const std::string name(trace::signature(static_cast<trace::EntryPoint>(i)).name);
        std::fprintf(out, "%-16s %10llu %12.3f %12.3f %12.3f\n", name.c_str(), static_cast<unsigned long long>(t.count),
                     t.totalSeconds * 1e3, t.totalSeconds * 1e6 / static_cast<double>(t.count), t.slowestSeconds * 1e6);
    }
    if (slowest_.empty()) return;
    std::fprintf(out, "\nslowest calls:\n");
    for (const SlowCall& s : slowest_) {
        const std::string name(trace::signature(s.entry).name);
        std::fprintf(out, "%12.3f us  frame %llu call %llu  %s\n", s.seconds * 1e6,
                     static_cast<unsigned long long>(s.frame), static_cast<unsigned long long>(s.call), name.c_str());
    }
}

}  // namespace velkano::replay
