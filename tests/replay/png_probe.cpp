// png_probe.cpp: reads PNG files for the inspector's check scripts (stb_image):
//   velkano_png_probe FILE [X,Y ...]   "W H" then "rrggbb" per pixel asked for, a line each
//   velkano_png_probe --dump FILE      every pixel as "rrggbb", row after row, ';'-separated
//   velkano_png_probe --same A B       exit 0 when both hold the same pixels, 1 naming the first difference
//   velkano_png_probe --hash FILE      the trace's content hash of the pixels as 0x00RRGGBB words
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include "trace/trace_format.h"

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t word(int x, int y) const {
        const uint8_t* p = rgb.data() + 3 * (static_cast<size_t>(y) * width + x);
        return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
};

Image load(const char* path) {
    Image image;
    int channels = 0;
    stbi_uc* data = stbi_load(path, &image.width, &image.height, &channels, 3);
    if (!data) {
        std::fprintf(stderr, "velkano_png_probe: cannot read %s: %s\n", path, stbi_failure_reason());
        std::exit(2);
    }
    image.rgb.assign(data, data + 3 * static_cast<size_t>(image.width) * image.height);
    stbi_image_free(data);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--dump" && argc == 3) {
        const Image image = load(argv[2]);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) std::printf(x + y == 0 ? "%06x" : ";%06x", image.word(x, y));
        return 0;
    }
    if (command == "--same" && argc == 4) {
        const Image a = load(argv[2]), b = load(argv[3]);
        if (a.width != b.width || a.height != b.height) {
            std::printf("%d x %d vs %d x %d\n", a.width, a.height, b.width, b.height);
            return 1;
        }
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                if (a.word(x, y) != b.word(x, y)) {
                    std::printf("(%d, %d): %06x vs %06x\n", x, y, a.word(x, y), b.word(x, y));
                    return 1;
                }
        return 0;
    }
    if (command == "--hash" && argc == 3) {
        const Image image = load(argv[2]);
        std::vector<uint8_t> words;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const uint32_t w = image.word(x, y);
                const uint8_t bytes[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), 0};
                words.insert(words.end(), bytes, bytes + 4);
            }
        std::printf("%s", velkano::trace::hexText(velkano::trace::contentHash(words.data(), words.size()), 16).c_str());
        return 0;
    }
    if (argc < 2 || command.rfind("--", 0) == 0) {
        std::fprintf(stderr, "usage: velkano_png_probe FILE [X,Y ...] | --dump FILE | --same A B | --hash FILE\n");
        return 2;
    }
    const Image image = load(argv[1]);
    std::printf("%d %d\n", image.width, image.height);
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        int x = -1, y = -1;
        if (std::sscanf(argv[i], "%d,%d", &x, &y) != 2 || x < 0 || y < 0 || x >= image.width || y >= image.height) {
            std::fprintf(stderr, "velkano_png_probe: no pixel %s in a %d x %d image\n", argv[i], image.width,
                         image.height);
            status = 2;
            continue;
        }
        std::printf("%06x\n", image.word(x, y));
    }
    return status;
}
