// platform.h: the little the library needs from the operating system.
#pragma once

#include <cstdint>

namespace velkano {

// Suspends the calling thread for `milliseconds`; returns early on no input.
void platformSleep(uint32_t milliseconds);

}  // namespace velkano
