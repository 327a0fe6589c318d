// flash_bench: throughput of FLASHADD, FLASHSUB and FLASHMOD on a 1024 x 768 image (pitch
// 4096 bytes, 3 MiB), next to pixman's saturating add of a solid colour over the same block
// and an in-place memmove of it.
//
// Every benchmark works on one 64-byte-aligned block bound with INIT. The block is refilled
// with the same varied pixels every kRefillEvery iterations, timing paused, so repeated adds
// and subtracts never leave it saturated to a fixed point.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/scene.h"
#include "support/side_by_side.h"
#include "velkano.h"

namespace {

using velkano::bench::fillVaried;

constexpr int32_t kWidth = 1024;
constexpr int32_t kHeight = 768;
constexpr int32_t kPitch = 4096;
constexpr size_t kBlockBytes = size_t{kPitch} * kHeight;
constexpr int64_t kRefillEvery = 64;

// Runs `op` once per iteration over the whole block, refilling it now and then.
template <typename Op>
void runOverBlock(benchmark::State& state, uint8_t* block, size_t bytesPerOp, Op op) {
    fillVaried(block, kBlockBytes);
    int64_t sinceRefill = 0;
    for (auto _ : state) {
        if (++sinceRefill == kRefillEvery) {
            state.PauseTiming();
            fillVaried(block, kBlockBytes);
            sinceRefill = 0;
            state.ResumeTiming();
        }
        op();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytesPerOp));
}

// pixman_color_t channels are 16-bit: 0x0101 becomes 0x01, the same colour word as the
// flashes. A zero or all-ones source would hit pixman's early-outs.
constexpr pixman_color_t kPixmanColour = {0x0101, 0x0101, 0x0101, 0x0101};

// pixman's saturating add of kPixmanColour over the whole block.
class PixmanAdd {
public:
    explicit PixmanAdd(uint8_t* block)
        : source_(pixman_image_create_solid_fill(&kPixmanColour)),
          destination_(
              pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, reinterpret_cast<uint32_t*>(block), kPitch)) {}
    ~PixmanAdd() {
        pixman_image_unref(destination_);
        pixman_image_unref(source_);
    }
    PixmanAdd(const PixmanAdd&) = delete;
    PixmanAdd& operator=(const PixmanAdd&) = delete;
    void operator()() const {
        pixman_image_composite32(PIXMAN_OP_ADD, source_, nullptr, destination_, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    }

private:
    pixman_image_t* source_;
    pixman_image_t* destination_;
};

// Before timing anything: FLASHADD and pixman's add must give the same bytes, so the two
// really do the same work.
bool pixmanMatchesFlashAdd(uint8_t* block) {
    std::vector<uint8_t> viaFlash(kBlockBytes);
    fillVaried(block, kBlockBytes);
    FLASHADD(0x01010101u);
    std::memcpy(viaFlash.data(), block, kBlockBytes);
    fillVaried(block, kBlockBytes);
    PixmanAdd{block}();
    return std::memcmp(viaFlash.data(), block, kBlockBytes) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    velkano::bench::SideBySide table("velkano_bench_flash", argc, argv);
    if (!table.initialised()) return 1;

    velkano::bench::AlignedBytes bytes(kBlockBytes);
    uint8_t* const block = bytes.data();
    if (block == nullptr) return table.refuse("cannot allocate the image");
    INIT(block, kWidth, kHeight, kPitch);
    if (!pixmanMatchesFlashAdd(block)) return table.refuse("FLASHADD and pixman's add disagree; not comparing them");

    // Small colours (1 per lane): 64 adds from varied data saturate only the top quarter of
    // byte values at worst. The library's kernels take the same time whatever the data.
    benchmark::RegisterBenchmark("FLASHADD", [block](benchmark::State& state) {
        runOverBlock(state, block, kBlockBytes, [] { FLASHADD(0x01010101u); });
    });
    benchmark::RegisterBenchmark("FLASHSUB", [block](benchmark::State& state) {
        runOverBlock(state, block, kBlockBytes, [] { FLASHSUB(0x01010101u); });
    });
    // Alternates scaling by 129/128 and 127/128 so the values drift very little.
    benchmark::RegisterBenchmark("FLASHMOD", [block](benchmark::State& state) {
        bool up = false;
        runOverBlock(state, block, kBlockBytes, [&up] { FLASHMOD((up = !up) ? 0x81818181u : 0x7F7F7F7Fu); });
    });
    benchmark::RegisterBenchmark("pixman_add", [block](benchmark::State& state) {
        const PixmanAdd add(block);
        runOverBlock(state, block, kBlockBytes, [&add] { add(); });
    });
    // glibc returns at once from memmove(p, p, n) (measured: a few ns for 3 MiB, against tens
    // of microseconds for memcpy between two buffers), so the yardstick moves the block down
    // by one cache line: every remaining byte is read once and written once, in place.
    benchmark::RegisterBenchmark("memmove_in_place", [block](benchmark::State& state) {
        runOverBlock(state, block, kBlockBytes - 64, [block] {
            uint8_t* p = block;
            benchmark::DoNotOptimize(p);
            std::memmove(p, p + 64, kBlockBytes - 64);
        });
    });
    for (const char* flash : {"FLASHADD", "FLASHSUB", "FLASHMOD"}) {
        table.compare(std::string(flash) + " vs pixman add", flash, "pixman_add");
        table.compare(std::string(flash) + " vs in-place memmove", flash, "memmove_in_place");
    }

    const int status = table.run();
    UNLOAD();
    return status;
}
