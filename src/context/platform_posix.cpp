#include <cerrno>
#include <ctime>

#include "context/platform.h"

namespace velkano {

void platformSleep(uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000u), static_cast<long>(milliseconds % 1000u) * 1000000L};
    // A signal interrupts nanosleep; sleep on for what is left.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace velkano
