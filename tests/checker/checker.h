// checker.h: the kernel checker's shared parts. A slot's check makes cases: each case is a
// seed, the guarded blocks it starts from (outputs and read-only inputs alike) and a runner
// that calls one table's kernel on a copy of those blocks. The checker runs the case with the
// scalar table and with the level's table and compares every block byte for byte; with
// --bench it times a slot's bench case at each level instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "context/kernel_table.h"
#include "support/guarded_bytes.h"

namespace velkano::checker {

using testing::GuardedBytes;
using testing::Random;

// Named guarded blocks: each ends against a guard page (or starts after one), so a kernel
// stepping one byte past a block it reads or writes faults at once.
class Blocks {
public:
    struct Block {
        Block(std::string n, size_t size, size_t p, GuardedBytes::Against a)
            : name(std::move(n)), bytes(size, a), pitch(p), against(a) {}
        std::string name;
        GuardedBytes bytes;
        size_t pitch;  // for the report's (x, y); 0: one row
        GuardedBytes::Against against;
    };
    uint8_t* add(std::string name, size_t size, size_t pitch = 0,
                 GuardedBytes::Against against = GuardedBytes::Against::End) {
        return list_.emplace_back(std::move(name), size, pitch, against).bytes.data();
    }
    template <typename T>
    T* add(std::string name, size_t count, size_t pitch = 0) {
        return reinterpret_cast<T*>(add(std::move(name), count * sizeof(T), pitch));
    }
    uint8_t* operator[](size_t i) { return list_[i].bytes.data(); }
    template <typename T>
    T* as(size_t i) {
        return reinterpret_cast<T*>(list_[i].bytes.data());
    }
    size_t size() const { return list_.size(); }
    const Block& block(size_t i) const { return list_[i]; }
    // A copy of the same shapes and bytes.
    void cloneInto(Blocks& copy) const {
        for (size_t i = 0; i < list_.size(); ++i) {
            copy.add(list_[i].name, list_[i].bytes.size(), list_[i].pitch, list_[i].against);
            copy.list_.back().bytes.copyFrom(list_[i].bytes);
        }
    }

private:
    std::deque<Block> list_;
};

// Calls one table's kernel on the blocks of a case.
using Runner = std::function<void(const KernelTable&, Blocks&)>;

const char* levelName(SimdLevel level);

class Checker {
public:
    struct Options {
        bool bench = false;
        bool hasSeed = false;
        uint32_t seed = 0;
        std::string slot, level;
    };
    explicit Checker(const Options& options) : options_(options) {}

    // The slot and level the next checks are for.
    void select(const char* slot, SimdLevel level) { slot_ = slot, level_ = level, slotFailed_ = false; }
    bool wants(const char* slot) const;
    bool wants(SimdLevel level) const;  // run here and not left out by --level
    bool benching() const { return options_.bench; }
    const KernelTable& table() const { return kernelTable(level_); }
    static const KernelTable& scalar() { return kernelTable(SimdLevel::Scalar); }
    SimdLevel level() const { return level_; }

    // Cases 0 to count - 1 (or only --seed): make(seed, rng, blocks) fills the blocks, sets the
    // description and returns the runner. Nothing while benching.
    using Maker = std::function<Runner(uint32_t seed, Random& rng, Blocks& blocks)>;
    void cases(uint32_t count, const Maker& make);
    // The bench case of a slot: `items` per run. Nothing unless benching.
    void bench(const std::string& label, double items, const Maker& make);
    // What the current case is, for its failure report.
    void describe(const char* format, ...);
    // True while `ok`; otherwise reports `what` as a failure of the current slot and level
    // that belongs to no case.
    bool expect(bool ok, const std::string& what);

    int failures() const { return failures_; }
    uint64_t casesRun() const { return casesRun_; }

private:
    bool compare(uint32_t seed, const Blocks& got, const Blocks& want);
    void fail(uint32_t seed, const std::string& what);

    Options options_;
    const char* slot_ = "";
    SimdLevel level_ = SimdLevel::Scalar;
    bool slotFailed_ = false;
    int failures_ = 0;
    uint64_t casesRun_ = 0;
    std::string description_;
};

// Whether a slot call with `args` ran the packed kernel (true) or the scalar one: the slot
// copied with both kernels replaced by stubs that only note which ran, so no memory is read.
template <typename Kernel>
struct RouteStub;
template <typename... Args>
struct RouteStub<void (*)(Args...)> {
    static inline int ran = 0;
    static void packed(Args...) { ran = 1; }
    static void scalar(Args...) { ran = 2; }
};
template <typename Kernel, typename Fit, typename... Args>
bool routesToPacked(KernelSlot<Kernel, Fit> slot, Args&&... args) {
    using Stub = RouteStub<Kernel>;
    slot.packed = Stub::packed, slot.scalar = Stub::scalar, Stub::ran = 0;
    slot(args...);
    return Stub::ran == 1;
}
// The route check of a slot: its scalar kernel is the scalar table's, and `args` (one call
// each) reach the packed kernel exactly when `fits` says so.
template <typename Kernel, typename Fit, typename... Args>
void checkRoute(Checker& c, KernelSlot<Kernel, Fit> KernelTable::*slot, const char* what, bool fits, Args&&... args) {
    c.expect((c.table().*slot).scalar == (Checker::scalar().*slot).packed,
             "the slot's scalar kernel is not the scalar table's");
    c.expect(routesToPacked(c.table().*slot, args...) == fits,
             std::string(what) + (fits ? ": the fit rule sent a fitting call to the scalar kernel"
                                       : ": the fit rule sent a call that does not fit to the packed kernel"));
}

// A value now and then at an extreme: 0, +-1, INT32_MIN, INT32_MAX, else `usual`.
inline int32_t extremeOr(Random& rng, int32_t usual) {
    static const int32_t kExtremes[] = {0, 1, -1, INT32_MIN, INT32_MAX, INT32_MIN + 1, INT32_MAX - 1};
    return rng.next() % 8 == 0 ? kExtremes[rng.next() % std::size(kExtremes)] : usual;
}
// A value in [low, high).
inline int32_t between(Random& rng, int32_t low, int32_t high) {
    return low + static_cast<int32_t>(rng.next() % static_cast<uint32_t>(high - low));
}

// Four lanes that each run over all 256 values as `v` does, and differ from one another.
inline uint32_t lanesOf(uint32_t v, uint32_t salt) {
    v &= 0xFF;
    return v | ((v ^ salt) & 0xFF) << 8 | (255u - v) << 16 | ((v * 7u + salt) & 0xFF) << 24;
}

// The check of each slot (pixel_checks.cpp, raster_checks.cpp): one for every row of
// VELKANO_KERNEL_SLOTS, so a slot added without its check does not build.
#define VELKANO_DECLARE_CHECK(name, ...) void check_##name(Checker& c);
VELKANO_KERNEL_SLOTS(VELKANO_DECLARE_CHECK)
#undef VELKANO_DECLARE_CHECK

}  // namespace velkano::checker
