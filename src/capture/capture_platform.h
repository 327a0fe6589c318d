// capture_platform.h: what the recording layer needs from the operating system: reading host
// memory without faulting, the process id, and telling the user about a problem.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkano::capture {

// Copies `sizeBytes` bytes from `from` to `to`, or returns false, having faulted nothing,
// when any byte of the range is not mapped readable (or the range wraps the address space).
// A size of 0 copies nothing and succeeds. `to` must hold `sizeBytes` bytes.
bool copyReadable(void* to, const void* from, size_t sizeBytes);

// How copyReadable reads on this system. Linux reads the process's own memory through
// process_vm_readv, which refuses pages without read access; where that is forbidden
// (containers often deny it) through /proc/self/mem, which the kernel lets read such pages
// too: those bytes are then recorded instead of refused, which no host sees. Windows checks
// every page with VirtualQuery before copying.
enum class ReadMethod : uint8_t { ProcessVmReadv, ProcSelfMem, VirtualQuery };
ReadMethod readMethod();
#ifndef _WIN32
// The /proc/self/mem way on its own (copyReadable's fallback), for tests.
bool copyReadableFromProcMem(void* to, const void* from, size_t sizeBytes);
#endif

uint64_t currentProcessId();

// Writes "velkano capture: <message>" to stderr (and on Windows to the debugger).
void reportWarning(const char* message);
// reportWarning for a problem that stops recording: only the first of the process is written,
// as the capture reports one problem, then stops (call_scope.cpp).
void reportProblem(const char* message);

}  // namespace velkano::capture
