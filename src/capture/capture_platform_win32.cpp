// capture_platform_win32.cpp: safe reads of the process's own memory, process id and
// reporting on Windows.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <limits>

#include "capture/capture_platform.h"

namespace velkano::capture {

bool copyReadable(void* to, const void* from, size_t sizeBytes) {
    const auto begin = reinterpret_cast<uintptr_t>(from);
    if (sizeBytes > std::numeric_limits<uintptr_t>::max() - begin) return false;
    if (sizeBytes == 0) return true;
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    // Every region the range touches must be committed and readable, and no guard page
    // (touching one would fire the host's guard).
    const uintptr_t end = begin + sizeBytes;
    for (uintptr_t at = begin; at < end;) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<LPCVOID>(at), &info, sizeof info) == 0) return false;
        if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 ||
            (info.Protect & kReadable) == 0)
            return false;
        const uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (regionEnd <= at) return false;  // the top of the address space: never loop
        at = regionEnd;
    }
    std::memcpy(to, from, sizeBytes);
    return true;
}

ReadMethod readMethod() { return ReadMethod::VirtualQuery; }

uint64_t currentProcessId() { return GetCurrentProcessId(); }

void reportWarning(const char* message) {
    std::fprintf(stderr, "velkano capture: %s\n", message);
    char line[512];  // no allocation: this may run while memory is short
    std::snprintf(line, sizeof line, "velkano capture: %s\n", message);
    OutputDebugStringA(line);
}

}  // namespace velkano::capture
