// demo_api.h: the table of entry points the demo draws through. The demo fills it with the
// functions it links; a host that loads the library at run time fills it with the addresses
// it looks up (dlsym, or GetProcAddress on Windows), so the same drawing code runs on any
// build of the library.
#pragma once

#include "trace/entry_point_list.h"
#include "velkano.h"

#include <cstdint>

namespace demo {

struct DemoApi {
    VELKANO_ENTRY_POINTS(VELKANO_ENTRY_MEMBER)
};

}  // namespace demo
