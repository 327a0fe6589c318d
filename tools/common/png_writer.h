// png_writer.h: saves a host image of 0xXXRRGGBB words as an 8-bit RGB PNG (via libpng).
#pragma once

#include <cstdint>
#include <string>

namespace velkano::tools {

// Writes width x height pixels; row r starts at pixels + r * pitch bytes. The X byte is
// dropped. Returns false (with a message on stderr) if the file cannot be written.
bool writePng(const std::string& path, const void* pixels, int width, int height, int pitch);

}  // namespace velkano::tools
