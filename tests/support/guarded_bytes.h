// guarded_bytes.h: test memory between two inaccessible pages, placed against the one after
// it (or, on request, the one before it), so a read or write one byte past that end faults at
// once instead of passing silently. Pages are mapped lazily: a large block costs memory only
// where it is touched.
#pragma once

#ifdef _WIN32
#  include <windows.h>
#else
#  include <sys/mman.h>
#  include <unistd.h>
#endif

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace velkano::testing {

class GuardedBytes {
public:
    enum class Against { End, Start };

    explicit GuardedBytes(size_t size, Against against = Against::End) : size_(size) {
        const size_t page = pageSize();
        mappedBytes_ = (size + page - 1) / page * page + 2 * page;
        base_ = static_cast<uint8_t*>(mapPages(mappedBytes_));
        protectPage(base_);
        protectPage(base_ + mappedBytes_ - page);
        // The last byte touches the guard page after the block, or the first the one before.
        data_ = against == Against::End ? base_ + mappedBytes_ - page - size : base_ + page;
    }
#ifdef _WIN32
    ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
#else
    ~GuardedBytes() { munmap(base_, mappedBytes_); }
#endif
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    void copyFrom(const GuardedBytes& other) { std::memcpy(data_, other.data_, size_); }

private:
#ifdef _WIN32
    static size_t pageSize() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
    }
    static void* mapPages(size_t bytes) {
        void* base = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (base == nullptr) throw std::runtime_error("VirtualAlloc failed");
        return base;
    }
    static void protectPage(uint8_t* at) {
        DWORD old;
        if (!VirtualProtect(at, pageSize(), PAGE_NOACCESS, &old)) throw std::runtime_error("VirtualProtect failed");
    }
#else
    static size_t pageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
    static void* mapPages(size_t bytes) {
        void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base == MAP_FAILED) throw std::runtime_error("mmap failed");
        return base;
    }
    static void protectPage(uint8_t* at) {
        if (mprotect(at, pageSize(), PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
    }
#endif

    size_t size_;
    size_t mappedBytes_ = 0;
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
};

// Small deterministic generator (xorshift32) so failures reproduce.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed ? seed : 1u) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    void fill(uint8_t* bytes, size_t size) {
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(next() >> 24);
    }
    void fill(GuardedBytes& bytes) { fill(bytes.data(), bytes.size()); }
    // A float in [low, high] that is often a whole or half number (rounding ties), now and
    // then NaN or infinite.
    float awkwardFloat(float low, float high) {
        const uint32_t pick = next() % 100;
        if (pick == 0) return std::numeric_limits<float>::quiet_NaN();
        if (pick == 1)
            return (next() & 1) ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
        const float value = low + (high - low) * static_cast<float>(next() % 100000) / 100000.0f;
        if (pick < 30) return std::round(value);
        if (pick < 45) return std::floor(value) + 0.5f;
        return value;
    }

private:
    uint32_t state_;
};

}  // namespace velkano::testing
