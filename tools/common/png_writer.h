// png_writer.h: saves images as 8-bit RGB PNG files, or encodes them in memory (stb_image_write, header-only, so the
// Windows tools write PNG too).
#pragma once

#include <cstdint>
#include <string>

namespace velkano::tools {

// Writes width x height pixels of 0xXXRRGGBB words; row r starts at pixels + r * pitch bytes.
// The X byte is dropped. `zoom` > 1 draws each pixel as a zoom x zoom square. Returns false
// if the file cannot be written, or the picture is too large for the encoder (whose sizes are
// ints): with `error` given, the reason goes there ("No such file or directory"), otherwise a
// message goes to stderr.
bool writePng(const std::string& path, const void* pixels, int width, int height, int pitch, int zoom = 1,
              std::string* error = nullptr);
// Writes width x height pixels of three bytes each, red first, rows packed.
bool writeRgbPng(const std::string& path, const uint8_t* rgb, int width, int height, int zoom = 1,
                 std::string* error = nullptr);
// The same pictures as the bytes of a PNG file, in `png` (a server's replies).
bool encodePng(std::string& png, const void* pixels, int width, int height, int pitch, std::string* error = nullptr);
bool encodeRgbPng(std::string& png, const uint8_t* rgb, int width, int height, std::string* error = nullptr);

}  // namespace velkano::tools
