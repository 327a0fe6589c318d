// png_output.cpp: PNG files with the tool's messages.
#include "png_output.h"

#include "png_writer.h"

namespace velkano::replay {

bool writePng(Reporter& report, const std::string& path, const void* pixels, int width, int height, int pitch,
              int zoom) {
    std::string why;
    if (tools::writePng(path, pixels, width, height, pitch, zoom, &why)) return true;
    report.error("cannot write " + path + ": " + why);
    return false;
}

bool writeRgbPng(Reporter& report, const std::string& path, const uint8_t* rgb, int width, int height, int zoom) {
    std::string why;
    if (tools::writeRgbPng(path, rgb, width, height, zoom, &why)) return true;
    report.error("cannot write " + path + ": " + why);
    return false;
}

}  // namespace velkano::replay
