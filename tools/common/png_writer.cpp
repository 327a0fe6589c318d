// png_writer.cpp: PNG files through stb_image_write, written to a file we open ourselves so a
// failure can name the system's reason.
#include "png_writer.h"

#include <cerrno>
#include <cstdint>
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

// The encoder keeps the filtered picture, a byte per row and three per pixel, in an int.
bool encodable(int width, int height, int zoom) {
    if (zoom < 1) return false;
    const uint64_t rowBytes = 3 * uint64_t(unsigned(width)) * unsigned(zoom) + 1;
    return rowBytes * unsigned(height) * unsigned(zoom) <= uint64_t{INT32_MAX};
}

bool fail(std::string* error, const std::string& path, const std::string& why) {
    if (error) *error = why;
    else std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), why.c_str());
    return false;
}

bool tooLarge(std::string* error, const std::string& path, int width, int height, int zoom) {
    return fail(error, path,
                std::to_string(width) + " x " + std::to_string(height) + " pixels" +
                    (zoom > 1 ? " drawn " + std::to_string(zoom) + " times larger" : std::string()) +
                    " are too many for a PNG file");
}

}  // namespace

bool writeRgbPng(const std::string& path, const uint8_t* rgb, int width, int height, int zoom, std::string* error) {
    if (width < 1 || height < 1) return fail(error, path, "the picture is empty");
    if (!encodable(width, height, zoom)) return tooLarge(error, path, width, height, zoom);
    if (zoom > 1) {
        const size_t zoomed = static_cast<size_t>(width) * static_cast<size_t>(zoom);
        std::vector<uint8_t> big(zoomed * static_cast<size_t>(height) * static_cast<size_t>(zoom) * 3);
        for (size_t y = 0; y < static_cast<size_t>(height) * static_cast<size_t>(zoom); ++y) {
            const uint8_t* from = rgb + y / static_cast<size_t>(zoom) * static_cast<size_t>(width) * 3;
            uint8_t* to = big.data() + y * zoomed * 3;
            for (size_t x = 0; x < zoomed; ++x) std::memcpy(to + 3 * x, from + 3 * (x / static_cast<size_t>(zoom)), 3);
        }
        return writeRgbPng(path, big.data(), width * zoom, height * zoom, 1, error);
    }
    Output out{std::fopen(path.c_str(), "wb"), false};
    if (!out.file) return fail(error, path, std::strerror(errno));
    const bool encoded = stbi_write_png_to_func(writeBytes, &out, width, height, 3, rgb, width * 3) != 0;
    const int writeErrno = errno;
    const bool closed = std::fclose(out.file) == 0;
    if (!encoded || out.failed || !closed)
        return fail(error, path, encoded ? std::strerror(writeErrno) : "the PNG encoder failed");
    return true;
}

namespace {

// Three bytes a pixel, red first, from 0xXXRRGGBB words in rows `pitch` bytes apart.
std::vector<uint8_t> toRgb(const void* pixels, int width, int height, int pitch) {
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
    return rgb;
}

void appendBytes(void* context, void* data, int sizeBytes) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(sizeBytes));
}

}  // namespace

bool writePng(const std::string& path, const void* pixels, int width, int height, int pitch, int zoom,
              std::string* error) {
    if (width < 1 || height < 1) return fail(error, path, "the picture is empty");
    if (!encodable(width, height, zoom)) return tooLarge(error, path, width, height, zoom);
    return writeRgbPng(path, toRgb(pixels, width, height, pitch).data(), width, height, zoom, error);
}

bool encodeRgbPng(std::string& png, const uint8_t* rgb, int width, int height, std::string* error) {
    png.clear();
    if (width < 1 || height < 1) return fail(error, "a PNG image", "the picture is empty");
    if (!encodable(width, height, 1)) return tooLarge(error, "a PNG image", width, height, 1);
    if (stbi_write_png_to_func(appendBytes, &png, width, height, 3, rgb, width * 3) != 0) return true;
    return fail(error, "a PNG image", "the PNG encoder failed");
}

bool encodePng(std::string& png, const void* pixels, int width, int height, int pitch, std::string* error) {
    png.clear();
    if (width < 1 || height < 1) return fail(error, "a PNG image", "the picture is empty");
    if (!encodable(width, height, 1)) return tooLarge(error, "a PNG image", width, height, 1);
    return encodeRgbPng(png, toRgb(pixels, width, height, pitch).data(), width, height, error);
}

}  // namespace velkano::tools
