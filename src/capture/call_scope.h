// call_scope.h: the capture variant's hook in the exported entry points. Each entry point
// declares one CallScope before forwarding to the library: its constructor records the call
// before the library runs it, its destructor does the after-call work. The process-wide
// recorder behind it starts at the first call (VELKANO_TRACE names the file, else a new
// velkano-<date>-<time>-<process id>.vktrace; VELKANO_TRACE_EXACT=1 selects exact mode, see
// session_settings.h) and writes the End record when the process exits.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>

#include "trace/trace_format.h"

namespace velkano::capture {

class Recorder;

// Arguments as the trace stores them: pointers as addresses, 32-bit integers as their bits,
// floats as their bits.
template <typename T>
uint64_t toArg(T* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}
inline uint64_t toArg(int32_t value) { return static_cast<uint32_t>(value); }
inline uint64_t toArg(uint32_t value) { return value; }
inline uint64_t toArg(float value) { return std::bit_cast<uint32_t>(value); }

// The process-wide recorder, started at the first call; null once recording is impossible.
Recorder* beginCall(trace::EntryPoint entry, std::span<const uint64_t> args) noexcept;
void endCall(Recorder* recorder, trace::EntryPoint entry) noexcept;

class CallScope {
public:
    template <typename... Args>
    explicit CallScope(trace::EntryPoint entry, Args... args) noexcept : entry_(entry) {
        const std::array<uint64_t, sizeof...(Args)> values{toArg(args)...};
        recorder_ = beginCall(entry, values);
    }
    ~CallScope() {
        if (recorder_ != nullptr) endCall(recorder_, entry_);
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    trace::EntryPoint entry_;
    Recorder* recorder_;
};

}  // namespace velkano::capture
