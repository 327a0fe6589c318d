#include <windows.h>

#include "context/platform.h"

namespace velkano {

void platformSleep(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace velkano
