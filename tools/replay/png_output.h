// png_output.h: the tool's PNG files, written through tools/common/png_writer.h with a failure
// reported in the tool's form: "velkano-replay: cannot write PATH: <the reason>".
#pragma once

#include <cstdint>
#include <string>

#include "reporter.h"

namespace velkano::replay {

// 0xXXRRGGBB words, rows `pitch` bytes apart, each pixel drawn as a zoom x zoom square.
bool writePng(Reporter& report, const std::string& path, const void* pixels, int width, int height, int pitch,
              int zoom = 1);
// Three bytes a pixel, red first, rows packed.
bool writeRgbPng(Reporter& report, const std::string& path, const uint8_t* rgb, int width, int height, int zoom = 1);

}  // namespace velkano::replay
