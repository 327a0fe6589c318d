#include "side_by_side.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iostream>
#include <map>
#include <utility>

namespace velkano::bench {
namespace {

struct Rate {
    double perSecond = 0;  // 0: did not run
    bool bytes = false;    // bytes per second, not items
};

// Passes everything on to the display reporter and keeps each benchmark's throughput.
class RecordingReporter : public benchmark::BenchmarkReporter {
public:
    explicit RecordingReporter(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override { return display_->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            bool bytes = false;
            auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end()) rate = run.counters.find("bytes_per_second"), bytes = true;
            if (run.error_occurred || rate == run.counters.end()) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") medians_[name] = {rate->second.value, bytes};
            } else {
                samples_[name].push_back({rate->second.value, bytes});
            }
        }
        display_->ReportRuns(runs);
    }
    void Finalize() override { display_->Finalize(); }

    bool consoleOutput() const { return dynamic_cast<benchmark::ConsoleReporter*>(display_) != nullptr; }

    Rate rate(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        auto s = samples_.find(name);
        if (s == samples_.end() || s->second.empty()) return {};
        std::vector<Rate> v = s->second;
        const auto middle = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
        std::nth_element(v.begin(), middle, v.end(), [](Rate a, Rate b) { return a.perSecond < b.perSecond; });
        return *middle;
    }

private:
    benchmark::BenchmarkReporter* display_;  // owned by the benchmark library
    std::map<std::string, Rate> medians_;
    std::map<std::string, std::vector<Rate>> samples_;
};

// Millions of items, or gigabytes, per second.
std::string scaled(Rate r, const std::string& items) {
    char text[64];
    if (r.perSecond <= 0) return "n/a";
    if (r.bytes) std::snprintf(text, sizeof text, "%.2f GB/s", r.perSecond / 1e9);
    else std::snprintf(text, sizeof text, "%.1f M %s/s", r.perSecond / 1e6, items.c_str());
    return text;
}

}  // namespace

SideBySide::SideBySide(const char* program, int& argc, char** argv) : program_(program) {
    benchmark::Initialize(&argc, argv);
    initialised_ = !benchmark::ReportUnrecognizedArguments(argc, argv);
}

void SideBySide::compare(std::string subject, std::string ours, std::string peer, std::string items) {
    comparisons_.push_back({std::move(subject), std::move(ours), std::move(peer), std::move(items)});
}

void SideBySide::note(std::string line) { notes_.push_back(std::move(line)); }

int SideBySide::refuse(const std::string& why) const {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), why.c_str());
    return 1;
}

int SideBySide::run() const {
    RecordingReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    std::cout.flush();
    FILE* out = reporter.consoleOutput() ? stdout : stderr;

    struct Row {
        std::string subject, names, ratio, rates;
    };
    std::vector<Row> rows;
    size_t subjectWidth = 0, namesWidth = 0;
    for (const Comparison& c : comparisons_) {
        const Rate ours = reporter.rate(c.ours), peer = reporter.rate(c.peer);
        if (ours.perSecond <= 0 && peer.perSecond <= 0) continue;
        char ratio[32] = "n/a";
        if (ours.perSecond > 0 && peer.perSecond > 0)
            std::snprintf(ratio, sizeof ratio, "%.2fx", ours.perSecond / peer.perSecond);
        rows.push_back(
            {c.subject + ":", c.ours + " / " + c.peer, ratio, scaled(ours, c.items) + " / " + scaled(peer, c.items)});
        subjectWidth = std::max(subjectWidth, rows.back().subject.size());
        namesWidth = std::max(namesWidth, rows.back().names.size());
    }
    std::fprintf(out, "\n%s: ratios of throughput, higher is better\n", program_.c_str());
    for (const std::string& line : notes_) std::fprintf(out, "  %s\n", line.c_str());
    for (const Row& r : rows)
        std::fprintf(out, "%-*s %-*s = %7s   (%s)\n", int(subjectWidth), r.subject.c_str(), int(namesWidth),
                     r.names.c_str(), r.ratio.c_str(), r.rates.c_str());
    benchmark::Shutdown();
    return 0;
}

}  // namespace velkano::bench
