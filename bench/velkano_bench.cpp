// velkano_bench: throughput of FLASHADD, FLASHSUB and FLASHMOD on a 1024 x 768 image
// (pitch 4096 bytes, 3 MiB), next to pixman's saturating add of a solid colour over the
// same block and an in-place memmove of it; then DRAWTILE against SDL2's software renderer
// drawing the same tiles; then a table of throughput ratios.
//
// The flash benchmarks work on one 64-byte-aligned block bound with INIT. The block is
// refilled with the same pseudo-random pixels every kRefillEvery iterations, timing
// paused, so repeated adds and subtracts never leave it saturated to a fixed point. The
// refill uses plain stores, so the block stays cache-resident just as the operations
// under test leave it.
//
// The tile benchmarks draw one frame per iteration: kTiles tiles of 48 x 48 pixels scaled
// from a 64 x 64 texture onto a 640 x 480 image, at the same places on both sides, each
// frame starting from the same pseudo-random image.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "velkano.h"

namespace {

constexpr int32_t kWidth = 1024;
constexpr int32_t kHeight = 768;
constexpr int32_t kPitch = 4096;
constexpr size_t kBlockBytes = size_t{kPitch} * kHeight;
constexpr int64_t kRefillEvery = 64;

uint8_t* gBlock = nullptr;

// The fixed xorshift sequence behind every pseudo-random input here.
uint64_t nextRandom(uint64_t& s) {
    s ^= s << 13, s ^= s >> 7, s ^= s << 17;
    return s;
}

// Varied pixels (every byte lane, X included); `bytes` is a multiple of 8.
void fillVaried(uint8_t* block, size_t bytes = kBlockBytes) {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    for (size_t at = 0; at < bytes; at += 8) {
        const uint64_t word = nextRandom(s);
        std::memcpy(block + at, &word, 8);
    }
}

// Runs `op` once per iteration over the whole block, refilling it now and then.
template <typename Op>
void runOverBlock(benchmark::State& state, size_t bytesPerOp, Op op) {
    INIT(gBlock, kWidth, kHeight, kPitch);  // the tile benchmarks bind their own image
    fillVaried(gBlock);
    int64_t sinceRefill = 0;
    for (auto _ : state) {
        if (++sinceRefill == kRefillEvery) {
            state.PauseTiming();
            fillVaried(gBlock);
            sinceRefill = 0;
            state.ResumeTiming();
        }
        op();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytesPerOp));
}

// Small colours (1 per lane): 64 adds from varied data saturate only the top quarter of
// byte values at worst. The library's kernels take the same time whatever the data.
void benchFlashAdd(benchmark::State& state) { runOverBlock(state, kBlockBytes, [] { FLASHADD(0x01010101u); }); }
void benchFlashSub(benchmark::State& state) { runOverBlock(state, kBlockBytes, [] { FLASHSUB(0x01010101u); }); }

// Alternates scaling by 129/128 and 127/128 so the values drift very little.
void benchFlashMod(benchmark::State& state) {
    bool up = false;
    runOverBlock(state, kBlockBytes, [&up] { FLASHMOD((up = !up) ? 0x81818181u : 0x7F7F7F7Fu); });
}

// pixman_color_t channels are 16-bit: 0x0101 becomes 0x01, the same colour word as the
// flashes. A zero or all-ones source would hit pixman's early-outs.
constexpr pixman_color_t kPixmanColour = {0x0101, 0x0101, 0x0101, 0x0101};

void benchPixmanAdd(benchmark::State& state) {
    pixman_image_t* src = pixman_image_create_solid_fill(&kPixmanColour);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(gBlock), kPitch);
    runOverBlock(state, kBlockBytes, [=] {
        pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    });
    pixman_image_unref(dst);
    pixman_image_unref(src);
}

// glibc returns at once from memmove(p, p, n) (measured: a few ns for 3 MiB, against tens
// of microseconds for memcpy between two buffers), so the reference moves the block down
// by one cache line: every remaining byte is read once and written once, in place.
void benchMemmove(benchmark::State& state) {
    runOverBlock(state, kBlockBytes - 64, [] {
        uint8_t* block = gBlock;
        benchmark::DoNotOptimize(block);
        std::memmove(block, block + 64, kBlockBytes - 64);
    });
}

// Before timing anything: FLASHADD and pixman's add must give the same bytes, so the two
// really do the same work.
bool pixmanMatchesFlashAdd() {
    std::vector<uint8_t> viaFlash(kBlockBytes);
    fillVaried(gBlock);
    FLASHADD(0x01010101u);
    std::memcpy(viaFlash.data(), gBlock, kBlockBytes);
    fillVaried(gBlock);
    pixman_image_t* src = pixman_image_create_solid_fill(&kPixmanColour);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<uint32_t*>(gBlock), kPitch);
    pixman_image_composite32(PIXMAN_OP_ADD, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    pixman_image_unref(dst);
    pixman_image_unref(src);
    return std::memcmp(viaFlash.data(), gBlock, kBlockBytes) == 0;
}

constexpr int32_t kTileImageWidth = 640;
constexpr int32_t kTileImageHeight = 480;
constexpr int32_t kTilePitch = 2560;
constexpr size_t kTileImageBytes = size_t{kTilePitch} * kTileImageHeight;
constexpr int32_t kTextureSize = 64;
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

// What both sides draw: the texture's index bytes, its palette (red in the lowest byte,
// byte 3 zero) and each tile's top-left corner, every tile fully inside the image.
struct TileScene {
    std::vector<uint8_t> indices = std::vector<uint8_t>(kTextureSize * kTextureSize);
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);
    std::vector<SDL_Point> corners = std::vector<SDL_Point>(kTiles);
};

TileScene makeTileScene() {
    TileScene scene;
    uint64_t s = 0x2545F4914F6CDD1Dull;
    for (uint32_t& entry : scene.palette) entry = static_cast<uint32_t>(nextRandom(s)) & 0x00FFFFFFu;
    // Diagonal bands crossed by 8 x 8 checks: every index appears, neighbours always differ.
    for (int v = 0; v < kTextureSize; ++v)
        for (int u = 0; u < kTextureSize; ++u)
            scene.indices[v * kTextureSize + u] = static_cast<uint8_t>(3 * u + 5 * v + 64 * ((u ^ v) >> 3 & 1));
    for (SDL_Point& corner : scene.corners) {
        const uint64_t r = nextRandom(s);
        corner = {static_cast<int>(r % (kTileImageWidth - kTileSize)),
                  static_cast<int>((r >> 32) % (kTileImageHeight - kTileSize))};
    }
    return scene;
}

// SDL2's software renderer on an ARGB8888 surface the size of the tile image, and the scene's
// texture converted once to ARGB8888. Alpha is 255: SDL's add weights the source by it.
struct SdlTiles {
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;

    explicit SdlTiles(const TileScene& scene) {
        surface = SDL_CreateRGBSurfaceWithFormat(0, kTileImageWidth, kTileImageHeight, 32, SDL_PIXELFORMAT_ARGB8888);
        if (surface == nullptr || surface->pitch != kTilePitch) return;
        renderer = SDL_CreateSoftwareRenderer(surface);
        if (renderer == nullptr) return;
        texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, kTextureSize, kTextureSize);
        if (texture == nullptr) return;
        std::vector<uint32_t> texels(scene.indices.size());
        for (size_t i = 0; i < texels.size(); ++i) {
            const uint32_t c = scene.palette[scene.indices[i]];
            texels[i] = 0xFF000000u | (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
        }
        if (SDL_UpdateTexture(texture, nullptr, texels.data(), kTextureSize * 4) != 0 ||
            SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest) != 0 ||  // nearest texel, as DRAWTILE
            SDL_SetTextureColorMod(texture, kTint >> 16 & 0xFF, kTint >> 8 & 0xFF, kTint & 0xFF) != 0) {
            SDL_DestroyTexture(texture);
            texture = nullptr;
        }
    }
    ~SdlTiles() {
        if (texture != nullptr) SDL_DestroyTexture(texture);
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        if (surface != nullptr) SDL_FreeSurface(surface);
    }
    bool ready() const { return texture != nullptr; }
    uint8_t* pixels() const { return static_cast<uint8_t*>(surface->pixels); }
};

const TileScene* gScene = nullptr;
uint8_t* gTileImage = nullptr;
SdlTiles* gSdl = nullptr;

// The first `count` tiles of the scene, by each side.
void drawVelkanoTiles(int32_t mode, int64_t count) {
    SETTEXTURE(gScene->indices.data(), kTextureSize, kTextureSize, gScene->palette.data(), mode);
    for (int64_t i = 0; i < count; ++i) {
        const SDL_Point c = gScene->corners[i];
        DRAWTILE(static_cast<float>(c.x), static_cast<float>(c.y), kTileSize, kTileSize, 0.0f, 0.0f,
                 kTextureSize, kTextureSize, 0, 0, kTint);
    }
}
void drawSdlTiles(SDL_BlendMode mode, int64_t count) {
    SDL_SetTextureBlendMode(gSdl->texture, mode);
    for (int64_t i = 0; i < count; ++i) {
        const SDL_Rect dst{gScene->corners[i].x, gScene->corners[i].y, kTileSize, kTileSize};
        SDL_RenderCopy(gSdl->renderer, gSdl->texture, nullptr, &dst);
    }
    SDL_RenderFlush(gSdl->renderer);  // the renderer may batch: the frame is done only here
}

// One frame of all tiles per iteration onto `image`, refilled before each frame with timing
// paused, so every frame starts from the same pixels. Counts the pixels each tile covers.
template <typename Draw>
void runTileFrames(benchmark::State& state, uint8_t* image, int64_t pixelsPerTile, Draw drawFrame) {
    for (auto _ : state) {
        state.PauseTiming();
        fillVaried(image, kTileImageBytes);
        state.ResumeTiming();
        drawFrame();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kTiles * pixelsPerTile);
}

// Ends included: DRAWTILE covers 49 x 49 pixels per tile, SDL 48 x 48.
void benchDrawTile(benchmark::State& state, int32_t mode) {
    INIT(gTileImage, kTileImageWidth, kTileImageHeight, kTilePitch);
    runTileFrames(state, gTileImage, (kTileSize + 1) * (kTileSize + 1), [=] { drawVelkanoTiles(mode, kTiles); });
}
void benchSdlTiles(benchmark::State& state, SDL_BlendMode mode) {
    runTileFrames(state, gSdl->pixels(), kTileSize * kTileSize, [=] { drawSdlTiles(mode, kTiles); });
}

// Before timing the tiles: one tile copied over white by each side must cover exactly the
// pixels its count says and, where both draw, agree within 1 per channel (SDL tints by
// c * t / 255, DRAWTILE by (c * t) >> 8). No tinted texel is white, so every drawn pixel shows.
bool sdlMatchesDrawTile() {
    std::memset(gTileImage, 0xFF, kTileImageBytes);
    std::memset(gSdl->pixels(), 0xFF, kTileImageBytes);
    INIT(gTileImage, kTileImageWidth, kTileImageHeight, kTilePitch);
    drawVelkanoTiles(0, 1);
    drawSdlTiles(SDL_BLENDMODE_NONE, 1);
    const SDL_Point corner = gScene->corners[0];
    for (int32_t row = 0; row < kTileImageHeight; ++row) {
        for (int32_t col = 0; col < kTileImageWidth; ++col) {
            const size_t at = size_t{kTilePitch} * row + 4 * size_t(col);
            uint32_t velkano, sdl;
            std::memcpy(&velkano, gTileImage + at, 4);
            std::memcpy(&sdl, gSdl->pixels() + at, 4);
            const int32_t du = col - corner.x, dv = row - corner.y;
            const bool inVelkano = du >= 0 && du <= kTileSize && dv >= 0 && dv <= kTileSize;
            const bool inSdl = inVelkano && du < kTileSize && dv < kTileSize;
            if (((velkano & 0xFFFFFFu) != 0xFFFFFFu) != inVelkano || ((sdl & 0xFFFFFFu) != 0xFFFFFFu) != inSdl)
                return false;
            for (int shift = 0; inSdl && shift < 24; shift += 8)
                if (std::abs(int(velkano >> shift & 0xFF) - int(sdl >> shift & 0xFF)) > 1) return false;
        }
    }
    return true;
}

// Passes everything to the reporter the --benchmark_format/--benchmark_color flags ask
// for, keeping each benchmark's throughput on the side (items per second where it counts
// items, otherwise bytes per second): the median aggregate when repetitions give one,
// otherwise the median of the plain runs.
class RecordingReporter : public benchmark::BenchmarkReporter {
public:
    explicit RecordingReporter(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override { return display_->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end()) rate = run.counters.find("bytes_per_second");
            if (run.error_occurred || rate == run.counters.end()) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") medians_[name] = rate->second.value;
            } else {
                samples_[name].push_back(rate->second.value);
            }
        }
        display_->ReportRuns(runs);
    }
    void Finalize() override { display_->Finalize(); }

    bool consoleOutput() const { return dynamic_cast<benchmark::ConsoleReporter*>(display_) != nullptr; }

    // Throughput of `name`, or 0 when it did not run.
    double rate(const std::string& name) const {
        if (auto m = medians_.find(name); m != medians_.end()) return m->second;
        auto s = samples_.find(name);
        if (s == samples_.end() || s->second.empty()) return 0.0;
        std::vector<double> v = s->second;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    }

private:
    benchmark::BenchmarkReporter* display_;  // owned by the benchmark library
    std::map<std::string, double> medians_;
    std::map<std::string, std::vector<double>> samples_;
};

void printRatios(const RecordingReporter& rec, FILE* out) {
    const double pixman = rec.rate("pixman_add"), move = rec.rate("memmove_in_place");
    auto cell = [](double num, double den) {
        char text[32];
        if (num > 0 && den > 0) std::snprintf(text, sizeof text, "%.2fx", num / den);
        else std::snprintf(text, sizeof text, "n/a");
        return std::string(text);
    };
    std::fprintf(out, "\nratios (higher is better)  %15s %12s\n", "vs pixman add", "vs memmove");
    for (const char* flash : {"FLASHADD", "FLASHSUB", "FLASHMOD"}) {
        const double r = rec.rate(flash);
        std::fprintf(out, "%-26s %15s %12s\n", flash, cell(r, pixman).c_str(), cell(r, move).c_str());
    }
    std::fprintf(out, "%-26s %15s\n", "tiles, pixels per second", "vs SDL2");
    for (const TileMode& mode : kTileModes) {
        const std::string name = mode.name;
        std::fprintf(out, "%-26s %15s\n", ("DRAWTILE " + name).c_str(),
                     cell(rec.rate("DRAWTILE_" + name), rec.rate("sdl_" + name)).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    gBlock = static_cast<uint8_t*>(std::aligned_alloc(64, kBlockBytes));
    if (gBlock == nullptr) return 1;
    fillVaried(gBlock);
    INIT(gBlock, kWidth, kHeight, kPitch);
    if (!pixmanMatchesFlashAdd()) {
        std::fprintf(stderr, "velkano_bench: FLASHADD and pixman's add disagree; not comparing them\n");
        return 1;
    }

    const TileScene scene = makeTileScene();
    SdlTiles sdl(scene);
    gTileImage = static_cast<uint8_t*>(std::aligned_alloc(64, kTileImageBytes));
    if (gTileImage == nullptr || !sdl.ready()) {
        std::fprintf(stderr, "velkano_bench: cannot set up the tiles: %s\n", SDL_GetError());
        return 1;
    }
    gScene = &scene, gSdl = &sdl;
    if (!sdlMatchesDrawTile()) {
        std::fprintf(stderr, "velkano_bench: DRAWTILE and SDL draw different tiles; not comparing them\n");
        return 1;
    }

    benchmark::RegisterBenchmark("FLASHADD", benchFlashAdd);
    benchmark::RegisterBenchmark("FLASHSUB", benchFlashSub);
    benchmark::RegisterBenchmark("FLASHMOD", benchFlashMod);
    benchmark::RegisterBenchmark("pixman_add", benchPixmanAdd);
    benchmark::RegisterBenchmark("memmove_in_place", benchMemmove);
    for (const TileMode& mode : kTileModes) {
        const std::string name = mode.name;
        benchmark::RegisterBenchmark(("DRAWTILE_" + name).c_str(), benchDrawTile, mode.velkano)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("sdl_" + name).c_str(), benchSdlTiles, mode.sdl)->Unit(benchmark::kMillisecond);
    }

    RecordingReporter reporter(benchmark::CreateDefaultDisplayReporter());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    std::cout.flush();
    // Keep machine-readable output on stdout clean.
    printRatios(reporter, reporter.consoleOutput() ? stdout : stderr);

    UNLOAD();
    benchmark::Shutdown();
    std::free(gBlock);
    std::free(gTileImage);
    return 0;
}
