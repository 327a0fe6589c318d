// platform.h: the one service the library takes from the operating system beyond memory.
// platform_posix.cpp and platform_win32.cpp implement it; the Windows load handler is in
// api/dll_main.cpp.
#pragma once

#include <cstdint>

namespace velkano {

// Suspends the calling thread for at least `milliseconds` (Sleep on Windows; nanosleep
// elsewhere, resumed after a signal until the whole time has passed).
void platformSleep(uint32_t milliseconds);

}  // namespace velkano
