// velkano_bench: throughput of FLASHADD, FLASHSUB and FLASHMOD on a 1024 x 768 image
// (pitch 4096 bytes, 3 MiB), next to pixman's saturating add of a solid colour over the
// same block and an in-place memmove of it, then a table of throughput ratios.
//
// All benchmarks work on one 64-byte-aligned block bound with INIT once. The block is
// refilled with the same pseudo-random pixels every kRefillEvery iterations, timing
// paused, so repeated adds and subtracts never leave it saturated to a fixed point. The
// refill uses plain stores, so the block stays cache-resident just as the operations
// under test leave it.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "velkano.h"

namespace {

constexpr int32_t kWidth = 1024;
constexpr int32_t kHeight = 768;
constexpr int32_t kPitch = 4096;
constexpr size_t kBlockBytes = size_t{kPitch} * kHeight;
constexpr int64_t kRefillEvery = 64;

uint8_t* gBlock = nullptr;

// Varied pixels (every byte lane, X included) from a fixed xorshift sequence.
void fillVaried(uint8_t* block) {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    for (size_t at = 0; at < kBlockBytes; at += 8) {
        s ^= s << 13, s ^= s >> 7, s ^= s << 17;
        std::memcpy(block + at, &s, 8);
    }
}

// Runs `op` once per iteration over the whole block, refilling it now and then.
template <typename Op>
void runOverBlock(benchmark::State& state, size_t bytesPerOp, Op op) {
    fillVaried(gBlock);
    int64_t sinceRefill = 0;
    for (auto _ : state) {
        if (++sinceRefill == kRefillEvery) {
            state.PauseTiming();
            fillVaried(gBlock);
            sinceRefill = 0;
            state.ResumeTiming();
        }
        op();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytesPerOp));
}

// Small colours (1 per lane): 64 adds from varied data saturate only the top quarter of
// byte values at worst. The library's kernels take the same time whatever the data.
void benchFlashAdd(benchmark::State& state) { runOverBlock(state, kBlockBytes, [] { FLASHADD(0x01010101u); }); }
void benchFlashSub(benchmark::State& state) { runOverBlock(state, kBlockBytes, [] { FLASHSUB(0x01010101u); }); }

// Alternates scaling by 129/128 and 127/128 so the values drift very little.
void benchFlashMod(benchmark::State& state) {
    bool up = false;
    runOverBlock(state, kBlockBytes, [&up] { FLASHMOD((up = !up) ? 0x81818181u : 0x7F7F7F7Fu); });
}

// pixman_color_t channels are 16-bit: 0x0101 becomes 0x01, the same colour word as the
// flashes. A zero or all-ones source would hit pixman's early-outs.
constexpr pixman_color_t kPixmanColour = {0x0101, 0x0101, 0x0101, 0x0101};

void benchPixmanAdd(benchmark::State& state) {
    pixman_image_t* src = pixman_image_create_solid_fill(&kPixmanColour);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(gBlock), kPitch);
    runOverBlock(state, kBlockBytes, [=] {
        pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    });
    pixman_image_unref(dst);
    pixman_image_unref(src);
}

// glibc returns at once from memmove(p, p, n) (measured: a few ns for 3 MiB, against tens
// of microseconds for memcpy between two buffers), so the reference moves the block down
// by one cache line: every remaining byte is read once and written once, in place.
void benchMemmove(benchmark::State& state) {
    runOverBlock(state, kBlockBytes - 64, [] {
        uint8_t* block = gBlock;
        benchmark::DoNotOptimize(block);
        std::memmove(block, block + 64, kBlockBytes - 64);
    });
}

// Before timing anything: FLASHADD and pixman's add must give the same bytes, so the two
// really do the same work.
bool pixmanMatchesFlashAdd() {
    std::vector<uint8_t> viaFlash(kBlockBytes);
    fillVaried(gBlock);
    FLASHADD(0x01010101u);
    std::memcpy(viaFlash.data(), gBlock, kBlockBytes);
    fillVaried(gBlock);
    pixman_image_t* src = pixman_image_create_solid_fill(&kPixmanColour);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(gBlock), kPitch);
    pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    pixman_image_unref(dst);
    pixman_image_unref(src);
    return std::memcmp(viaFlash.data(), gBlock, kBlockBytes) == 0;
}

// Passes everything to the reporter the --benchmark_format/--benchmark_color flags ask
// for, keeping each benchmark's bytes per second on the side: the median aggregate when
// repetitions give one, otherwise the median of the plain runs.
class RecordingReporter : public benchmark::BenchmarkReporter {
public:
    explicit RecordingReporter(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override { return display_->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end()) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") medians_[name] = rate->second.value;
            } else {
                samples_[name].push_back(rate->second.value);
            }
        }
        display_->ReportRuns(runs);
    }
    void Finalize() override { display_->Finalize(); }

    bool consoleOutput() const { return dynamic_cast<benchmark::ConsoleReporter*>(display_) != nullptr; }

    // Bytes per second of `name`, or 0 when it did not run.
    double rate(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        auto s = samples_.find(name);
        if (s == samples_.end() || s->second.empty()) return 0.0;
        std::vector<double> v = s->second;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    }

private:
    benchmark::BenchmarkReporter* display_;  // owned by the benchmark library
    std::map<std::string, double> medians_;
    std::map<std::string, std::vector<double>> samples_;
};

void printRatios(const RecordingReporter& rec, FILE* out) {
    const double pixman = rec.rate("pixman_add"), move = rec.rate("memmove_in_place");
    auto cell = [](double num, double den) {
        char text[32];
        if (num > 0 && den > 0) std::snprintf(text, sizeof text, "%.2fx", num / den);
        else std::snprintf(text, sizeof text, "n/a");
        return std::string(text);
    };
    std::fprintf(out, "\nratios (higher is better)  %15s %12s\n", "vs pixman add", "vs memmove");
    for (const char* flash : {"FLASHADD", "FLASHSUB", "FLASHMOD"}) {
        const double r = rec.rate(flash);
        std::fprintf(out, "%-26s %15s %12s\n", flash, cell(r, pixman).c_str(), cell(r, move).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    gBlock = static_cast<uint8_t*>(std::aligned_alloc(64, kBlockBytes));
    if (gBlock == nullptr) return 1;
    fillVaried(gBlock);
    INIT(gBlock, kWidth, kHeight, kPitch);
    if (!pixmanMatchesFlashAdd()) {
        std::fprintf(stderr, "velkano_bench: FLASHADD and pixman's add disagree; not comparing them\n");
        return 1;
    }

    benchmark::RegisterBenchmark("FLASHADD", benchFlashAdd);
    benchmark::RegisterBenchmark("FLASHSUB", benchFlashSub);
    benchmark::RegisterBenchmark("FLASHMOD", benchFlashMod);
    benchmark::RegisterBenchmark("pixman_add", benchPixmanAdd);
    benchmark::RegisterBenchmark("memmove_in_place", benchMemmove);

    RecordingReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    std::cout.flush();
    // Keep machine-readable output on stdout clean.
    printRatios(reporter, reporter.consoleOutput() ? stdout : stderr);

    UNLOAD();
    benchmark::Shutdown();
    std::free(gBlock);
    return 0;
}
