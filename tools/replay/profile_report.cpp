// profile_report.cpp: collecting call times over the timed passes and printing their medians.
#include "profile_report.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "reporter.h"  // plural

namespace velkano::replay {

namespace {

// The median of `values` (reordered); the mean of the middle two for an even count, 0 for none.
double median(std::vector<double>& values) {
    if (values.empty()) return 0;
    const size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half), values.end());
    const double upper = values[half];
    if (values.size() % 2 == 1) return upper;
    return (*std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half)) + upper) / 2;
}

// The indices of the `keep` largest of `seconds`, largest first; of equal times the earliest.
std::vector<size_t> slowest(const std::vector<double>& seconds, size_t keep) {
    std::vector<size_t> order(seconds.size());
    std::iota(order.begin(), order.end(), size_t{0});
    keep = std::min(keep, order.size());
    std::partial_sort(
        order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end(),
        [&](size_t a, size_t b) { return seconds[a] > seconds[b] || (seconds[a] == seconds[b] && a < b); });
    order.resize(keep);
    return order;
}

std::string entryName(trace::EntryPoint entry) { return std::string(trace::signature(entry).name); }

}  // namespace

void ProfileReport::addCall(trace::EntryPoint entry, uint64_t frame, uint64_t call, bool measured, uint64_t pixels) {
    calls_.push_back(Call{frame, call, pixels, entry, measured});
}

void ProfileReport::beginPass() {
    times_.emplace_back();
    times_.back().reserve(calls_.size());
}

void ProfileReport::addTime(double seconds) { times_.back().push_back(seconds); }

ProfileReport::Summary ProfileReport::summarize() const {
    Summary s;
    const size_t passes = times_.size();
    std::vector<double> samples(passes);
    const auto medianOver = [&](auto&& valueInPass) {
        for (size_t p = 0; p < passes; ++p) samples[p] = valueInPass(p);
        return median(samples);
    };
    const auto timeOf = [&](size_t pass, size_t call) { return call < times_[pass].size() ? times_[pass][call] : 0.0; };

    s.callSeconds.resize(calls_.size());
    for (size_t i = 0; i < calls_.size(); ++i) s.callSeconds[i] = medianOver([&](size_t p) { return timeOf(p, i); });

    // Per pass: the totals of each entry point, of each frame and of the whole pass.
    s.entries.resize(trace::kEntryPointCount);
    std::vector<std::vector<double>> entryTotals(trace::kEntryPointCount, std::vector<double>(passes));
    std::vector<double> passTotals(passes), frameTotals(passes);
    const auto closeFrame = [&] {
        if (!s.frames.empty()) s.frames.back().seconds = median(frameTotals);
    };
    for (size_t i = 0; i < calls_.size(); ++i) {
        const Call& c = calls_[i];
        EntryFigures& figures = s.entries[static_cast<size_t>(c.entry)];
        ++figures.count;
        figures.slowestSeconds = std::max(figures.slowestSeconds, s.callSeconds[i]);
        if (i == 0 || calls_[i - 1].frame != c.frame) {
            closeFrame();
            std::fill(frameTotals.begin(), frameTotals.end(), 0.0);
            s.frames.push_back(FrameFigures{c.frame, 0, 0});
        }
        ++s.frames.back().calls;
        for (size_t p = 0; p < passes; ++p) {
            const double t = timeOf(p, i);
            entryTotals[static_cast<size_t>(c.entry)][p] += t;
            passTotals[p] += t;
            frameTotals[p] += t;
        }
    }
    closeFrame();
    for (size_t e = 0; e < s.entries.size(); ++e) s.entries[e].totalSeconds = median(entryTotals[e]);
    s.totalSeconds = median(passTotals);

    s.slowestCalls = slowest(s.callSeconds, kSlowestCalls);
    std::vector<double> frameSeconds(s.frames.size());
    for (size_t f = 0; f < s.frames.size(); ++f) frameSeconds[f] = s.frames[f].seconds;
    s.slowestFrames = slowest(frameSeconds, kSlowestFrames);
    return s;
}

void ProfileReport::print(std::FILE* out, uint64_t finishedFrames) const {
    const Summary s = summarize();
    if (times_.size() > 1)
        std::fprintf(out, "times: the median of %zu passes after a warm-up, each with a fresh copy of the library\n\n",
                     times_.size());
    std::fprintf(out, "%-16s %10s %12s %12s %12s\n", "entry point", "calls", "total ms", "mean us", "slowest us");
    for (size_t i = 0; i < s.entries.size(); ++i) {
        const EntryFigures& e = s.entries[i];
        if (e.count == 0) continue;
        std::fprintf(out, "%-16s %10llu %12.3f %12.3f %12.3f\n", entryName(static_cast<trace::EntryPoint>(i)).c_str(),
                     static_cast<unsigned long long>(e.count), e.totalSeconds * 1e3,
                     e.totalSeconds * 1e6 / static_cast<double>(e.count), e.slowestSeconds * 1e6);
    }
    if (s.frames.empty()) return;
    std::vector<double> frameSeconds(s.frames.size());
    for (size_t f = 0; f < s.frames.size(); ++f) frameSeconds[f] = s.frames[f].seconds;
    const bool unfinished = s.frames.back().frame >= finishedFrames;
    std::fprintf(out, "\n%s%s: total %.3f ms, median %.3f ms, mean %.3f ms\n",
                 plural(s.frames.size(), "frame", "frames").c_str(), unfinished ? " (the last unfinished)" : "",
                 s.totalSeconds * 1e3, median(frameSeconds) * 1e3,
                 s.totalSeconds * 1e3 / static_cast<double>(s.frames.size()));
    std::fprintf(out, "slowest frames:\n");
    for (size_t f : s.slowestFrames)
        std::fprintf(out, "%12.3f ms  frame %llu  %s%s\n", s.frames[f].seconds * 1e3,
                     static_cast<unsigned long long>(s.frames[f].frame),
                     plural(s.frames[f].calls, "call", "calls").c_str(),
                     s.frames[f].frame >= finishedFrames ? " (unfinished)" : "");
    std::fprintf(out, "\nslowest calls:\n");
    for (size_t i : s.slowestCalls) {
        const Call& c = calls_[i];
        const std::string pixels = c.measured ? plural(c.pixels, "pixel changed", "pixels changed") : std::string("-");
        std::fprintf(out, "%12.3f us  frame %llu call %llu  %-16s %s\n", s.callSeconds[i] * 1e6,
                     static_cast<unsigned long long>(c.frame), static_cast<unsigned long long>(c.call),
                     entryName(c.entry).c_str(), pixels.c_str());
    }
}

nlohmann::ordered_json ProfileReport::json(uint64_t finishedFrames) const {
    const Summary s = summarize();
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (size_t i = 0; i < s.entries.size(); ++i) {
        const EntryFigures& e = s.entries[i];
        if (e.count == 0) continue;
        entries.push_back({{"entry", entryName(static_cast<trace::EntryPoint>(i))},
                           {"calls", e.count},
                           {"totalMs", e.totalSeconds * 1e3},
                           {"meanUs", e.totalSeconds * 1e6 / static_cast<double>(e.count)},
                           {"slowestUs", e.slowestSeconds * 1e6}});
    }
    nlohmann::ordered_json frames = nlohmann::ordered_json::array(), slowestFrames = nlohmann::ordered_json::array();
    std::vector<double> frameSeconds(s.frames.size());
    for (size_t f = 0; f < s.frames.size(); ++f) {
        frameSeconds[f] = s.frames[f].seconds;
        frames.push_back({{"frame", s.frames[f].frame},
                          {"calls", s.frames[f].calls},
                          {"ms", s.frames[f].seconds * 1e3},
                          {"unfinished", s.frames[f].frame >= finishedFrames}});
    }
    for (size_t f : s.slowestFrames) slowestFrames.push_back(s.frames[f].frame);
    nlohmann::ordered_json slowestCalls = nlohmann::ordered_json::array();
    for (size_t i : s.slowestCalls) {
        const Call& c = calls_[i];
        slowestCalls.push_back(
            {{"frame", c.frame},
             {"call", c.call},
             {"entry", entryName(c.entry)},
             {"us", s.callSeconds[i] * 1e6},
             {"pixelsChanged", c.measured ? nlohmann::ordered_json(c.pixels) : nlohmann::ordered_json(nullptr)}});
    }
    const double mean = s.frames.empty() ? 0.0 : s.totalSeconds / static_cast<double>(s.frames.size());
    return {{"passes", times_.size()},
            {"warmUp", times_.size() > 1},
            {"totalMs", s.totalSeconds * 1e3},
            {"entryPoints", std::move(entries)},
            {"frames", std::move(frames)},
            {"frameMedianMs", median(frameSeconds) * 1e3},
            {"frameMeanMs", mean * 1e3},
            {"slowestFrames", std::move(slowestFrames)},
            {"slowestCalls", std::move(slowestCalls)}};
}

}  // namespace velkano::replay
