// mode_pixel.cpp: PENDING (replaced by its implementation in this change).
#include "modes.h"

namespace velkano::replay {

int runPixel(const ModeInput& input) {
    input.report.error("this mode is not built yet");
    return 2;
}

}  // namespace velkano::replay
