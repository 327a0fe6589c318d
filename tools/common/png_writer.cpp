// png_writer.cpp: PNG files through stb_image_write, written to a file we open ourselves so a
// failure can name the system's reason.
#include "png_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#  pragma GCC diagnostic ignored "-Wsign-compare"
#  pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"
#if defined(__GNUC__)
#  pragma GCC diagnostic pop
#endif

namespace velkano::tools {
namespace {

struct Output {
    std::FILE* file;
    bool failed;
};

void writeBytes(void* context, void* data, int sizeBytes) {
    auto* out = static_cast<Output*>(context);
    if (!out->failed &&
        std::fwrite(data, 1, static_cast<size_t>(sizeBytes), out->file) != static_cast<size_t>(sizeBytes))
        out->failed = true;
}

}  // namespace

bool writeRgbPng(const std::string& path, const uint8_t* rgb, int width, int height, int zoom) {
    if (zoom > 1) {
        const size_t zoomed = static_cast<size_t>(width) * static_cast<size_t>(zoom);
        std::vector<uint8_t> big(zoomed * static_cast<size_t>(height) * static_cast<size_t>(zoom) * 3);
        for (size_t y = 0; y < static_cast<size_t>(height) * static_cast<size_t>(zoom); ++y) {
            const uint8_t* from = rgb + y / static_cast<size_t>(zoom) * static_cast<size_t>(width) * 3;
            uint8_t* to = big.data() + y * zoomed * 3;
            for (size_t x = 0; x < zoomed; ++x) std::memcpy(to + 3 * x, from + 3 * (x / static_cast<size_t>(zoom)), 3);
        }
        return writeRgbPng(path, big.data(), width * zoom, height * zoom, 1);
    }
    Output out{std::fopen(path.c_str(), "wb"), false};
    if (!out.file) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool encoded = stbi_write_png_to_func(writeBytes, &out, width, height, 3, rgb, width * 3) != 0;
    const int writeErrno = errno;
    const bool closed = std::fclose(out.file) == 0;
    if (!encoded || out.failed || !closed) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(),
                     encoded ? std::strerror(writeErrno) : "the PNG encoder failed");
        return false;
    }
    return true;
}

bool writePng(const std::string& path, const void* pixels, int width, int height, int pitch, int zoom) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    const auto* base = static_cast<const unsigned char*>(pixels);
    for (int y = 0; y < height; ++y) {
        const unsigned char* src = base + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        uint8_t* row = rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        for (int x = 0; x < width; ++x) {
            std::uint32_t p;
            std::memcpy(&p, src + 4 * x, 4);
            row[3 * x + 0] = static_cast<uint8_t>(p >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(p);
        }
    }
    return writeRgbPng(path, rgb.data(), width, height, zoom);
}

}  // namespace velkano::tools
