// capture_platform_posix.cpp: safe reads of the process's own memory, process id and
// reporting on Linux.
#include "capture/capture_platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <type_traits>

namespace velkano::capture {
namespace {

bool useProcMem = false;  // process_vm_readv was refused once: it will be refused again

// The process id, asked once: getpid() is a system call, and a draw reads several regions.
// A forked child forgets it, so it reads its own memory, not its parent's.
pid_t knownPid = 0;
void forgetPid() { knownPid = 0; }
pid_t selfPid() {
    static const bool watchingForks = pthread_atfork(nullptr, nullptr, forgetPid) == 0;
    if (knownPid == 0 || !watchingForks) knownPid = getpid();
    return knownPid;
}

// True when [from, from + sizeBytes) does not wrap the address space.
bool rangeFits(uintptr_t from, size_t sizeBytes) { return sizeBytes <= std::numeric_limits<uintptr_t>::max() - from; }

// Reads through process_vm_readv; `unavailable` is set when the system forbids the call
// itself rather than the range. A partial transfer is retried from where it stopped, so a
// range running into an unreadable page fails there.
bool readByProcessVm(void* to, uintptr_t from, size_t sizeBytes, bool& unavailable) {
    size_t done = 0;
    while (done < sizeBytes) {
        iovec local{static_cast<uint8_t*>(to) + done, sizeBytes - done};
        iovec remote{reinterpret_cast<void*>(from + done), sizeBytes - done};
        const ssize_t got = process_vm_readv(selfPid(), &local, 1, &remote, 1, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) unavailable = errno == ENOSYS || errno == EPERM;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

bool copyReadableFromProcMem(void* to, const void* from, size_t sizeBytes) {
    // Opened once per process; a forked child opens its own, since the parent's descriptor
    // keeps reading the parent's memory.
    static int memFd = -1;
    static pid_t memPid = -1;
    if (memPid != selfPid()) {
        if (memFd >= 0) close(memFd);
        memFd = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
        memPid = selfPid();
    }
    const auto address = reinterpret_cast<uintptr_t>(from);
    if (memFd < 0 || !rangeFits(address, sizeBytes)) return false;
    using Offset = std::make_unsigned_t<off_t>;
    size_t done = 0;
    while (done < sizeBytes) {
        const uintptr_t at = address + done;
        if (Offset{at} > Offset(std::numeric_limits<off_t>::max())) return false;
        const ssize_t got = pread(memFd, static_cast<uint8_t*>(to) + done, sizeBytes - done, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool copyReadable(void* to, const void* from, size_t sizeBytes) {
    const auto address = reinterpret_cast<uintptr_t>(from);
    if (!rangeFits(address, sizeBytes)) return false;
    if (sizeBytes == 0) return true;
    if (!useProcMem) {
        bool unavailable = false;
        if (readByProcessVm(to, address, sizeBytes, unavailable)) return true;
        if (!unavailable) return false;
        useProcMem = true;
    }
    return copyReadableFromProcMem(to, from, sizeBytes);
}

ReadMethod readMethod() {
    const uint32_t probe = 1;
    uint32_t copy = 0;
    copyReadable(&copy, &probe, sizeof probe);  // settles which way works
    return useProcMem ? ReadMethod::ProcSelfMem : ReadMethod::ProcessVmReadv;
}

uint64_t currentProcessId() { return static_cast<uint64_t>(getpid()); }

void reportWarning(const char* message) { std::fprintf(stderr, "velkano capture: %s\n", message); }

}  // namespace velkano::capture
