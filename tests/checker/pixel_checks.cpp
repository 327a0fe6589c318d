// The checks of the pixel kernels: the flashes, the tile rows and the span compositor.
#include <cstring>

#include "checker.h"
#include "effects/flash.h"
#include "raster/span_compositor.h"
#include "tile/tile_blit.h"

namespace velkano::checker {
namespace {

// ---- flashes ----------------------------------------------------------------------------

constexpr uint32_t kFlashLaneCases = 256;
constexpr uint32_t kFlashSizes = 201, kFlashStarts = 32;

// Cases 0 to 255: every byte value meets colour byte value `seed` (each lane differently
// mapped) in every byte lane of the widest vector, over a block with a tail. Then every size
// 0 to 200 at every start alignment 0 to 31: the even ones start there and end 0 to 31 bytes
// short of a guard page, the odd ones end against it.
template <typename Slot>
void checkFlash(Checker& c, Slot KernelTable::*slot) {
    const auto runner = [slot](size_t at, size_t size, uint32_t colour) -> Runner {
        return [=](const KernelTable& table, Blocks& b) { (table.*slot)(b[0] + at, size, colour); };
    };
    c.cases(kFlashLaneCases + 2 * kFlashSizes * kFlashStarts, [&](uint32_t seed, Random& rng, Blocks& b) {
        if (seed < kFlashLaneCases) {
            constexpr size_t kSize = 256 * 32 + 13;
            uint8_t* block = b.add("block", kSize);
            for (size_t i = 0; i < kSize; ++i) block[i] = static_cast<uint8_t>(i / 32);
            c.describe("every byte value against colour 0x%08X, %zu bytes", lanesOf(seed, 0x5A), kSize);
            return runner(0, kSize, lanesOf(seed, 0x5A));
        }
        const uint32_t k = (seed - kFlashLaneCases) / 2;
        const size_t size = k % kFlashSizes, start = k / kFlashSizes;
        const bool againstEnd = seed % 2 == 1;
        uint8_t* block =
            b.add("block", size + start, 0, againstEnd ? GuardedBytes::Against::End : GuardedBytes::Against::Start);
        rng.fill(block, size + start);
        const uint32_t colour = rng.next();
        c.describe("%zu bytes from byte %zu of a block %s, colour 0x%08X", size, start,
                   againstEnd ? "ending at a guard page" : "starting at a page", colour);
        return runner(start, size, colour);
    });
    c.bench("640x480 image", 640 * 480, [&](uint32_t, Random& rng, Blocks& b) {
        rng.fill(b.add("image", 640 * 480 * 4), 640 * 480 * 4);
        return runner(0, 640 * 480 * 4, 0x01010101u);
    });
    checkRoute(c, slot, "any block", true, nullptr, size_t{0}, 0u);
}

}  // namespace

void check_flashAdd(Checker& c) { checkFlash(c, &KernelTable::flashAdd); }
void check_flashSub(Checker& c) { checkFlash(c, &KernelTable::flashSub); }
void check_flashMod(Checker& c) { checkFlash(c, &KernelTable::flashMod); }

// ---- tile rows --------------------------------------------------------------------------

// Cases 0 to 1023: in each mode 0 to 3, every palette lane value meets tint lane value
// seed % 256 in every lane, over rows of 256 to 263 pixels (every tail of 4 and 8 pixels).
// Then random rows of 0 to 70 pixels in modes -1 to 5 from texel rows 1 to 300 long, colours,
// tints and target bytes random.
void check_tileRow(Checker& c) {
    // Blocks: 0 target row, 1 texel row, 2 columns, 3 palette.
    const auto runner = [](int32_t count, PixelWord tint, int32_t mode) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            table.tileRow(TileRow{b[0], b[1], b.as<uint32_t>(2), count},
                          TileInk{b.as<ColourWord>(3), tint, static_cast<TileMode>(mode)});
        };
    };
    const auto make = [](Blocks& b, Random& rng, int32_t count, int32_t texels) {
        rng.fill(b.add("target row", 4 * static_cast<size_t>(count)), 4 * static_cast<size_t>(count));
        uint8_t* row = b.add("texel row", static_cast<size_t>(texels));
        rng.fill(row, static_cast<size_t>(texels));
        uint32_t* columns = b.add<uint32_t>("columns", static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) columns[i] = rng.next() % static_cast<uint32_t>(texels);
        ColourWord* palette = b.add<ColourWord>("palette", 256);
        for (uint32_t i = 0; i < 256; ++i) palette[i] = rng.next();
        return std::pair{row, columns};
    };
    c.cases(4 * 256 + 3000, [&](uint32_t seed, Random& rng, Blocks& b) {
        if (seed < 4 * 256) {
            const int32_t count = 256 + static_cast<int32_t>(seed % 8), mode = static_cast<int32_t>(seed / 256);
            auto [row, columns] = make(b, rng, count, 256);
            for (uint32_t i = 0; i < 256; ++i)
                row[i] = static_cast<uint8_t>(i), b.as<ColourWord>(3)[i] = lanesOf(i, 0x5A);
            for (int32_t i = 0; i < count; ++i) columns[i] = static_cast<uint32_t>(i) * 37 % 256;
            c.describe("every palette lane value against tint 0x%08X, mode %d, %d pixels", lanesOf(seed, 0xA5), mode,
                       count);
            return runner(count, lanesOf(seed, 0xA5), mode);
        }
        const int32_t count = between(rng, 0, 71), texels = between(rng, 1, 301), mode = between(rng, -1, 6);
        make(b, rng, count, texels);
        const PixelWord tint = rng.next() % 4 == 0 ? 0xFFFFFFFFu : rng.next();
        c.describe("%d pixels from a row of %d texels, mode %d, tint 0x%08X", count, texels, mode, tint);
        return runner(count, tint, mode);
    });
    for (const int32_t mode : {0, 1, 2, 3}) {
        char label[32];
        std::snprintf(label, sizeof label, "mode %d, 640 pixels", mode);
        c.bench(label, 640, [&](uint32_t, Random& rng, Blocks& b) {
            auto [row, columns] = make(b, rng, 640, 64);
            for (uint32_t i = 0; i < 640; ++i) columns[i] = i * 4 / 3 % 64;
            return runner(640, 0x00C0A080u, mode);
        });
    }
    checkRoute(c, &KernelTable::tileRow, "any row", true, TileRow{}, TileInk{});
}

// ---- span compositor --------------------------------------------------------------------

namespace {

// The compositor's sets: plain, lit by mode 3, lit by mode 4.
constexpr const char* kSetNames[] = {"plain", "lit", "multiplyLit"};
SpanKernel spanKernel(const KernelTable& table, int set, int32_t mode) {
    const auto m = static_cast<CompositeMode>(mode);
    return set == 0 ? table.spans.plain(m) : set == 1 ? table.spans.lit(m) : table.spans.multiplyLit(m);
}

// Blocks: 0 destination, 1 source (or the lit texture), 2 light (lit sets only).
Runner spanRunner(int set, int32_t mode, int32_t width, int32_t height, size_t pitch, std::vector<SpanWalk> walks) {
    return [=](const KernelTable& table, Blocks& b) {
        const SpanKernel kernel = spanKernel(table, set, mode);
        const SpanImages images = set == 0 ? SpanImages{b[0], b[1], pitch, width, height}
                                           : SpanImages{b[0], nullptr, pitch, width, height, b[1], b[2]};
        for (const SpanWalk& walk : walks) kernel(images, walk);
    };
}

// The images of a case, random bytes.
void spanImages(Blocks& b, Random& rng, int set, size_t pitch, int32_t height) {
    const size_t size = pitch * static_cast<size_t>(height);
    for (const char* name : {"destination", set == 0 ? "source" : "lit texture", "light"}) {
        if (set == 0 && std::strcmp(name, "light") == 0) break;
        rng.fill(b.add(name, size, pitch), size);
    }
}

}  // namespace

// Cases 0 to 62, each set and host mode 0 to 6: 256 x 256 images whose pixel (a, b) pairs
// lanes of value a with lanes of value b, walked in spans of 1 to 9 pixels and longer ones
// (every tail and start). Plain: source a over destination b. Lit, first third: texture a
// lit by light b over a random destination; second third: light 64 (mode 3) or 128 (mode 4),
// which keeps the texel's even values, so texel a meets destination b. Then random images
// 1 to 40 x 1 to 30 with random walks: edges anywhere, huge and negative steps that wrap.
void check_spans(Checker& c) {
    constexpr uint32_t kLaneCases = 3 * 3 * kBlendModes;
    c.cases(kLaneCases + 3000, [&](uint32_t seed, Random& rng, Blocks& b) {
        const int set = static_cast<int>(seed % 3);
        const auto mode = static_cast<int32_t>(seed / 3 % kBlendModes);
        if (spanKernel(c.table(), set, mode) == nullptr || spanKernel(Checker::scalar(), set, mode) == nullptr) {
            c.expect(spanKernel(c.table(), set, mode) == spanKernel(Checker::scalar(), set, mode),
                     "a mode has a kernel at one level and none at another");
            return Runner([](const KernelTable&, Blocks&) {});
        }
        if (seed < kLaneCases) {
            const int variant = static_cast<int>(seed / (3 * kBlendModes));
            if (set == 0 && variant > 0) return Runner([](const KernelTable&, Blocks&) {});
            spanImages(b, rng, set, 1024, 256);
            for (uint32_t y = 0; y < 256; ++y)
                for (uint32_t x = 0; x < 256; ++x) {
                    const size_t at = y * 1024 + 4 * x;
                    const uint32_t light = variant == 2 ? (set == 1 ? 0x40404040u : 0x80808080u) : lanesOf(y, 0x33);
                    std::memcpy(b[1] + at, &(const uint32_t&)lanesOf(x, 0x55), 4);
                    if (set == 0 || variant == 2) std::memcpy(b[0] + at, &(const uint32_t&)lanesOf(y, 0xAA), 4);
                    if (set != 0) std::memcpy(b[2] + at, &light, 4);
                }
            std::vector<SpanWalk> walks;
            for (int32_t y = 0; y < 256; ++y)
                for (int32_t x = 0, count = 1 + y % 9; x < 256; x += count, count = std::min(256 - x, count + 1))
                    walks.push_back({y, y, x << 10, (x + count) << 10, 0, 0});
            c.describe("%s mode %d, every lane pair, variant %d", kSetNames[set], mode, variant);
            return spanRunner(set, mode, 256, 256, 1024, walks);
        }
        const int32_t width = between(rng, 1, 41), height = between(rng, 1, 31);
        const size_t pitch = 4 * static_cast<size_t>(width) + rng.next() % 9;
        spanImages(b, rng, set, pitch, height);
        std::vector<SpanWalk> walks;
        for (int w = between(rng, 1, 4); w > 0; --w) {
            const int32_t first = between(rng, 0, height), last = between(rng, first, height);
            const auto edge = [&] { return extremeOr(rng, between(rng, -20 << 10, (width + 20) << 10)); };
            const auto step = [&] {
                return extremeOr(rng, rng.next() % 2 ? between(rng, -8192, 8192) : int32_t(rng.next()));
            };
            walks.push_back({first, last, edge(), edge(), step(), step()});
        }
        c.describe("%s mode %d, %d x %d image, pitch %zu, %zu walks, the first rows %d to %d, edges %d %d, steps %d %d",
                   kSetNames[set], mode, width, height, pitch, walks.size(), walks[0].firstRow, walks[0].lastRow,
                   walks[0].leftFx, walks[0].rightFx, walks[0].leftStepFx, walks[0].rightStepFx);
        return spanRunner(set, mode, width, height, pitch, walks);
    });
    for (int set = 0; set < 3; ++set)
        for (const int32_t mode : {0, 2, 3, 4}) {
            const std::string label = std::string(kSetNames[set]) + " mode " + std::to_string(mode) + ", 640x480";
            c.bench(label, 640 * 480, [&](uint32_t, Random& rng, Blocks& b) {
                spanImages(b, rng, set, 2560, 480);
                return spanRunner(set, mode, 640, 480, 2560, {{0, 479, 0, 640 << 10, 0, 0}});
            });
        }
}

}  // namespace velkano::checker
