// tile_bench: DRAWTILE against SDL2's software renderer (SDL_RenderCopy) drawing the same
// tiles. One frame per iteration: kTiles tiles of 48 x 48 pixels scaled from the banded
// 64 x 64 texture onto the 640 x 480 image, at the same places on both sides, each frame
// starting from the same varied image.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/scene.h"
#include "support/sdl_target.h"
#include "support/side_by_side.h"
#include "velkano.h"

namespace {

using namespace velkano::bench;

constexpr int32_t kTileSize = 48;
constexpr int64_t kTiles = 2000;
constexpr uint32_t kTint = 0x00C0A080u;

struct TileMode {
    const char* name;
    int32_t velkano;
    SDL_BlendMode sdl;
};
constexpr TileMode kTileModes[] = {
    {"copy", 0, SDL_BLENDMODE_NONE}, {"add", 2, SDL_BLENDMODE_ADD}, {"mod", 3, SDL_BLENDMODE_MOD}};

// What both sides draw: the banded texture, a random palette (red in the lowest byte, byte
// 3 zero) and each tile's top-left corner, every tile fully inside the image.
struct TileScene {
    std::vector<uint8_t> indices = bandedTexture();
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);
    std::vector<SDL_Point> corners = std::vector<SDL_Point>(kTiles);
};

TileScene makeTileScene() {
    TileScene scene;
    uint64_t s = 0x2545F4914F6CDD1Dull;
    for (uint32_t& entry : scene.palette) entry = static_cast<uint32_t>(nextRandom(s)) & 0x00FFFFFFu;
    for (SDL_Point& corner : scene.corners) {
        const uint64_t r = nextRandom(s);
        corner = {static_cast<int>(r % (kImageWidth - kTileSize)),
                  static_cast<int>((r >> 32) % (kImageHeight - kTileSize))};
    }
    return scene;
}

// Both sides with what they draw into: Velkano's image and SDL's surface, its texture tinted
// by kTint. Alpha is 255: SDL's add weights the source by it.
struct TileSides {
    const TileScene& scene;
    uint8_t* image;
    const SdlTarget& sdl;

    // The first `count` tiles of the scene, by each side.
    void drawVelkano(int32_t mode, int64_t count) const {
        SETTEXTURE(scene.indices.data(), kTextureSize, kTextureSize, scene.palette.data(), mode);
        for (int64_t i = 0; i < count; ++i) {
            const SDL_Point c = scene.corners[i];
            DRAWTILE(static_cast<float>(c.x), static_cast<float>(c.y), kTileSize, kTileSize, 0.0f, 0.0f, kTextureSize,
                     kTextureSize, 0, 0, kTint);
        }
    }
    void drawSdl(SDL_BlendMode mode, int64_t count) const {
        SDL_SetTextureBlendMode(sdl.texture(), mode);
        for (int64_t i = 0; i < count; ++i) {
            const SDL_Rect dst{scene.corners[i].x, scene.corners[i].y, kTileSize, kTileSize};
            SDL_RenderCopy(sdl.renderer(), sdl.texture(), nullptr, &dst);
        }
        SDL_RenderFlush(sdl.renderer());  // the renderer may batch: the frame is done only here
    }
};

// Before timing: one tile copied over white by each side must cover exactly the pixels its
// count says (ends included: DRAWTILE covers 49 x 49 pixels, SDL 48 x 48) and, where both
// draw, agree within 1 per channel (SDL tints by c * t / 255, DRAWTILE by (c * t) >> 8). No
// tinted texel is white, so every drawn pixel shows.
bool sdlMatchesDrawTile(const TileSides& sides) {
    std::memset(sides.image, 0xFF, kImageBytes);
    std::memset(sides.sdl.pixels(), 0xFF, kImageBytes);
    sides.drawVelkano(0, 1);
    sides.drawSdl(SDL_BLENDMODE_NONE, 1);
    const SDL_Point corner = sides.scene.corners[0];
    for (int32_t row = 0; row < kImageHeight; ++row) {
        for (int32_t col = 0; col < kImageWidth; ++col) {
            const uint32_t velkano = pixelAt(sides.image, col, row), sdl = pixelAt(sides.sdl.pixels(), col, row);
            const int32_t du = col - corner.x, dv = row - corner.y;
            const bool inVelkano = du >= 0 && du <= kTileSize && dv >= 0 && dv <= kTileSize;
            const bool inSdl = inVelkano && du < kTileSize && dv < kTileSize;
            if (isDrawn(velkano) != inVelkano || isDrawn(sdl) != inSdl) return false;
            for (int shift = 0; inSdl && shift < 24; shift += 8)
                if (std::abs(int(velkano >> shift & 0xFF) - int(sdl >> shift & 0xFF)) > 1) return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    SideBySide table("velkano_bench_tile", argc, argv);
    if (!table.initialised()) return 1;

    const TileScene scene = makeTileScene();
    const SdlTarget sdl(scene.indices, scene.palette, kTint);
    AlignedBytes image(kImageBytes);
    if (!sdl.ready() || image.data() == nullptr)
        return table.refuse(std::string("cannot set up the tiles: ") + SDL_GetError());
    INIT(image.data(), kImageWidth, kImageHeight, kImagePitch);
    const TileSides sides{scene, image.data(), sdl};
    if (!sdlMatchesDrawTile(sides)) return table.refuse("DRAWTILE and SDL draw different tiles; not comparing them");

    for (const TileMode& mode : kTileModes) {
        const std::string name = mode.name;
        benchmark::RegisterBenchmark(("DRAWTILE_" + name).c_str(), [&sides, mode](benchmark::State& state) {
            runFrames(state, sides.image, kTiles * (kTileSize + 1) * (kTileSize + 1),
                      [&] { sides.drawVelkano(mode.velkano, kTiles); });
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("sdl_" + name).c_str(), [&sides, mode](benchmark::State& state) {
            runFrames(state, sides.sdl.pixels(), kTiles * kTileSize * kTileSize,
                      [&] { sides.drawSdl(mode.sdl, kTiles); });
        })->Unit(benchmark::kMillisecond);
        table.compare("DRAWTILE " + name + " vs SDL2", "DRAWTILE_" + name, "sdl_" + name);
    }

    const int status = table.run();
    UNLOAD();
    return status;
}
