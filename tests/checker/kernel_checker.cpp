// kernel_checker: every slot of the kernel table at every level this processor runs against
// the slot's scalar kernel, on seeded random and extreme inputs, every buffer between guard
// pages; and every slot's fit rule. A failure names the slot, the level, the case's seed and
// the first differing byte, and the program exits 1.
//
//   velkano_kernel_checker [--slot NAME] [--level sse2|avx2|neon] [--seed N] [--bench]
//
// --seed N reruns case N alone (of each slot selected); --bench times each slot's bench case
// at every level against scalar instead of checking.
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "checker.h"

namespace velkano::checker {

const char* levelName(SimdLevel level) {
    return simdLevelName(level).data();  // the names are literals: null-terminated
}

namespace {

// The case running now, for the report of a fault (a guard page hit) that ends the program.
const char* runningSlot = "";
const char* runningLevel = "";
uint32_t runningSeed = 0;

void writeText(const char* text) {
    if (write(2, text, std::strlen(text)) < 0) return;
}
void reportFault(int) {
    char digits[12] = {};
    int at = 10;
    uint32_t seed = runningSeed;
    do digits[at--] = static_cast<char>('0' + seed % 10), seed /= 10;
    while (seed != 0 && at >= 0);
    writeText("velkano_kernel_checker: FAIL slot ");
    writeText(runningSlot);
    writeText(", level ");
    writeText(runningLevel);
    writeText(", seed ");
    writeText(digits + at + 1);
    writeText(": the kernel touched a guard page (read or wrote outside a block); rerun: --slot ");
    writeText(runningSlot);
    writeText(" --seed ");
    writeText(digits + at + 1);
    writeText("\n");
    _exit(2);
}

}  // namespace

bool Checker::wants(const char* slot) const { return options_.slot.empty() || options_.slot == slot; }
bool Checker::wants(SimdLevel level) const {
    return level <= detectedSimdLevel() && (options_.level.empty() || options_.level == levelName(level));
}

void Checker::describe(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    description_ = text;
}

bool Checker::expect(bool ok, const std::string& what) {
    if (!ok) {
        ++failures_;
        std::fprintf(stderr, "velkano_kernel_checker: FAIL slot %s, level %s: %s\n", slot_, levelName(level_),
                     what.c_str());
    }
    return ok;
}

void Checker::fail(uint32_t seed, const std::string& what) {
    ++failures_;
    slotFailed_ = true;
    std::fprintf(stderr, "velkano_kernel_checker: FAIL slot %s, level %s, seed %u (rerun: --slot %s --seed %u): %s\n",
                 slot_, levelName(level_), seed, slot_, seed, what.c_str());
    if (!description_.empty()) std::fprintf(stderr, "  case: %s\n", description_.c_str());
}

bool Checker::compare(uint32_t seed, const Blocks& got, const Blocks& want) {
    for (size_t i = 0; i < want.size(); ++i) {
        const Blocks::Block &g = got.block(i), &w = want.block(i);
        const uint8_t *a = g.bytes.data(), *b = w.bytes.data();
        if (std::memcmp(a, b, w.bytes.size()) == 0) continue;
        size_t at = 0;
        while (a[at] == b[at]) ++at;
        char text[256];
        if (w.pitch != 0)
            std::snprintf(text, sizeof text,
                          "block \"%s\" differs first at byte %zu (x %zu, y %zu): got 0x%02X, want 0x%02X",
                          w.name.c_str(), at, at % w.pitch / 4, at / w.pitch, a[at], b[at]);
        else
            std::snprintf(text, sizeof text, "block \"%s\" differs first at byte %zu: got 0x%02X, want 0x%02X",
                          w.name.c_str(), at, a[at], b[at]);
        fail(seed, text);
        return false;
    }
    return true;
}

void Checker::cases(uint32_t count, const Maker& make) {
    if (options_.bench || slotFailed_) return;
    const uint32_t first = options_.hasSeed ? options_.seed : 0;
    const uint32_t end = options_.hasSeed ? std::min(options_.seed + 1, count) : count;
    runningSlot = slot_, runningLevel = levelName(level_);
    for (uint32_t seed = first; seed < end; ++seed) {
        runningSeed = seed;
        description_.clear();
        // Each slot's cases draw from their own stream.
        Random rng(seed * 2654435761u + static_cast<uint32_t>(std::strlen(slot_)) * 40503u + 1u);
        Blocks start;
        const Runner run = make(seed, rng, start);
        Blocks want, got;
        start.cloneInto(want);
        start.cloneInto(got);
        run(scalar(), want);
        run(table(), got);
        ++casesRun_;
        if (!compare(seed, got, want)) return;  // the first failure of a slot and level is enough
    }
}

void Checker::bench(const std::string& label, double items, const Maker& make) {
    if (!options_.bench) return;
    using Clock = std::chrono::steady_clock;
    Random rng(12345);
    Blocks start;
    const Runner run = make(0, rng, start);
    std::vector<SimdLevel> levels{SimdLevel::Scalar};
    for (SimdLevel level : kSimdLevels)
        if (level != SimdLevel::Scalar && wants(level)) levels.push_back(level);
    std::printf("%-12s %-26s %10.0f", slot_, label.c_str(), items);
    double scalarNs = 0;
    for (SimdLevel level : levels) {
        Blocks blocks;
        start.cloneInto(blocks);
        const KernelTable& table = kernelTable(level);
        // Runs per sample so that a sample lasts about a millisecond, then the median of 15.
        int reps = 1;
        for (;;) {
            const auto t0 = Clock::now();
            for (int i = 0; i < reps; ++i) run(table, blocks);
            if (Clock::now() - t0 > std::chrono::milliseconds(1) || reps >= (1 << 20)) break;
            reps *= 2;
        }
        std::vector<double> samples;
        for (int s = 0; s < 15; ++s) {
            const auto t0 = Clock::now();
            for (int i = 0; i < reps; ++i) run(table, blocks);
            samples.push_back(std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / reps / items);
        }
        std::nth_element(samples.begin(), samples.begin() + 7, samples.end());
        const double ns = samples[7];
        if (level == SimdLevel::Scalar) {
            scalarNs = ns;
            std::printf(" %9.3f", ns);
        } else {
            std::printf(" %9.3f (%5.2fx)", ns, scalarNs / ns);
        }
    }
    std::printf("\n");
}

}  // namespace velkano::checker

int main(int argc, char** argv) {
    using namespace velkano;
    using namespace velkano::checker;
    Checker::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--bench") options.bench = true;
        else if (arg == "--seed" && hasValue)
            options.hasSeed = true, options.seed = std::strtoul(argv[++i], nullptr, 0);
        else if (arg == "--slot" && hasValue) options.slot = argv[++i];
        else if (arg == "--level" && hasValue) options.level = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--slot NAME] [--level sse2|avx2|neon] [--seed N] [--bench]\n", argv[0]);
            return 2;
        }
    }
    std::signal(SIGSEGV, reportFault);
#ifdef SIGBUS
    std::signal(SIGBUS, reportFault);
#endif

    Checker c(options);
    std::vector<SimdLevel> levels;
    for (SimdLevel level : kSimdLevels)
        if (level != SimdLevel::Scalar && c.wants(level)) levels.push_back(level);
    if (options.bench) {
        std::printf("ns per item (median of 15); in brackets the speed-up over scalar. Levels: scalar");
        for (SimdLevel level : levels) std::printf(", %s", levelName(level));
        std::printf("\n%-12s %-26s %10s %9s", "slot", "case", "items", "scalar");
        for (SimdLevel level : levels) std::printf(" %17s", levelName(level));
        std::printf("\n");
        levels.assign(1, SimdLevel::Scalar);  // a bench case times every level itself
    }
    int slots = 0;
    for (SimdLevel level : levels) {
#define VELKANO_CHECK_SLOT(name, ...) \
  if (c.wants(#name)) {               \
    c.select(#name, level);           \
    check_##name(c);                  \
    ++slots;                          \
  }
        VELKANO_KERNEL_SLOTS(VELKANO_CHECK_SLOT)
#undef VELKANO_CHECK_SLOT
    }
    if (options.bench) return 0;
    std::printf("velkano_kernel_checker: %d slot checks at %zu level(s), %llu cases, %d failed\n", slots, levels.size(),
                static_cast<unsigned long long>(c.casesRun()), c.failures());
    if (slots == 0) {
        std::fprintf(stderr, "velkano_kernel_checker: no slot or level matches\n");
        return 2;
    }
    return c.failures() == 0 ? 0 : 1;
}
