// png_probe.cpp: prints a PNG file's size and the colour of some of its pixels, for the
// inspector's check scripts:
//   velkano_png_probe FILE [X,Y ...]   ->   "W H" then "RRGGBB" per pixel asked for, a line each
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: velkano_png_probe FILE [X,Y ...]\n");
        return 2;
    }
    int width = 0, height = 0, channels = 0;
    unsigned char* rgb = stbi_load(argv[1], &width, &height, &channels, 3);
    if (!rgb) {
        std::fprintf(stderr, "velkano_png_probe: cannot read %s: %s\n", argv[1], stbi_failure_reason());
        return 2;
    }
    std::printf("%d %d\n", width, height);
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        int x = -1, y = -1;
        if (std::sscanf(argv[i], "%d,%d", &x, &y) != 2 || x < 0 || y < 0 || x >= width || y >= height) {
            std::fprintf(stderr, "velkano_png_probe: no pixel %s in a %d x %d image\n", argv[i], width, height);
            status = 2;
            continue;
        }
        const unsigned char* p = rgb + (static_cast<size_t>(y) * width + x) * 3;
        std::printf("%02x%02x%02x\n", p[0], p[1], p[2]);
    }
    stbi_image_free(rgb);
    return status;
}
