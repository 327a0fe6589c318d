// The checks of the triangle kernels: texture and light spans and rows, grid points, and
// the perspective block walks.
#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>

#include "checker.h"
#include "context/texture_binding.h"
#include "raster/persp_triangle.h"
#include "raster/triangle_spans.h"
#include "raster/uv_grid.h"

namespace velkano::checker {
namespace {

struct Shape {
    int32_t width, height;
};
// Powers of two and other sizes, whose byte extents are and are not a multiple of 4, down to
// 1 x 1; the masks make the others repeat as their power-of-two parts.
constexpr Shape kTextures[] = {{1, 1},  {1, 3},  {2, 3},  {3, 4},  {5, 7},   {6, 5},
                               {12, 5}, {16, 4}, {16, 8}, {24, 7}, {64, 64}, {256, 256}};
constexpr Shape kLightmaps[] = {{1, 1}, {2, 2}, {3, 5}, {6, 8}, {8, 4}, {16, 16}};

// The bound images as blocks from `first` on: indices, palette and, with `lightmap`, its words.
void addImages(Blocks& b, Random& rng, Shape texture, const Shape* lightmap = nullptr) {
    const size_t texels = static_cast<size_t>(texture.width) * static_cast<size_t>(texture.height);
    rng.fill(b.add("texture indices", texels), texels);
    rng.fill(b.add("palette", 4 * 256), 4 * 256);
    if (lightmap) {
        const size_t words = 4 * static_cast<size_t>(lightmap->width) * static_cast<size_t>(lightmap->height);
        rng.fill(b.add("lightmap", words), words);
    }
}
RenderContext bound(Blocks& b, size_t first, Shape texture, const Shape* lightmap = nullptr) {
    RenderContext context{};
    setTexture(context, b[first], texture.width, texture.height, b.as<ColourWord>(first + 1), 0);
    if (lightmap) setLightmap(context, b.as<PixelWord>(first + 2), lightmap->width, lightmap->height);
    return context;
}
// Contexts on either side of the packed kernels' 2^31-byte limit; their images are never read.
RenderContext sized(int32_t textureHeight, int32_t lightmapHeight) {
    RenderContext context{};
    context.textureHeight = textureHeight, context.textureShift = 12;
    context.lightmapHeight = lightmapHeight, context.lightmapRowShift = 12, context.lightmapWidth = 1024;
    return context;
}
constexpr int32_t kFits = 1 << 18, kTooTall = 1 << 20;

// A 22.10 coordinate or step: small, anything (sums wrap), or an extreme.
int32_t fixedValue(Random& rng, bool any, int32_t range = 1 << 20) {
    return extremeOr(rng, any ? static_cast<int32_t>(rng.next()) : between(rng, -range / 2, range / 2));
}
// A binary32 in [low, high], often a whole or half number, now and then NaN, infinite or far.
float awkward(Random& rng, float low, float high) {
    return rng.next() % 16 == 0 ? (rng.next() % 2 ? 3e9f : -3e9f) : rng.awkwardFloat(low, high);
}

// A light channel: strays past a byte (now and then far past it) but stays within the int32
// range, as DRAWTRI's do; NaN in place of infinities, which gives 0 at every level.
float lightChannel(Random& rng, float low, float high) {
    const float value = rng.next() % 32 == 0 ? rng.awkwardFloat(-1e6f, 1e6f) : rng.awkwardFloat(low, high);
    return std::isinf(value) ? std::numeric_limits<float>::quiet_NaN() : value;
}

// The thread's rounding mode for one kernel call, then round to nearest again.
constexpr int kRoundingModes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};
constexpr const char* kRoundingNames[] = {"nearest", "upward", "downward", "towards zero"};
struct RoundingModeScope {
    explicit RoundingModeScope(int mode) { std::fesetround(mode); }
    ~RoundingModeScope() { std::fesetround(FE_TONEAREST); }
};

}  // namespace

// Every texture shape, 1 to 40 pixels (every tail of 4 and 8), coordinates and steps small or
// anything, with extremes. Pixels end against a guard page, and so does every image.
void check_textureSpan(Checker& c) {
    const auto runner = [](Shape t, TextureSpan span) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            TextureSpan s = span;
            s.pixels = b[0];
            table.textureSpan.packed(bound(b, 1, t), s);
        };
    };
    c.cases(6000, [&](uint32_t seed, Random& rng, Blocks& b) {
        const Shape t = kTextures[seed % std::size(kTextures)];
        const int32_t count = 1 + static_cast<int32_t>(seed / std::size(kTextures) % 40);
        const bool any = seed % 3 == 0;
        const TextureSpan span{nullptr,
                               count,
                               fixedValue(rng, any),
                               fixedValue(rng, any),
                               fixedValue(rng, any, 1 << 14),
                               fixedValue(rng, any, 1 << 14)};
        rng.fill(b.add("pixels", 4 * static_cast<size_t>(count)), 4 * static_cast<size_t>(count));
        addImages(b, rng, t);
        c.describe("texture %d x %d, %d pixels, u %d v %d, steps %d %d", t.width, t.height, count, span.uFx, span.vFx,
                   span.uStepFx, span.vStepFx);
        return runner(t, span);
    });
    c.bench("640 pixels, 64x64 texture", 640, [&](uint32_t, Random& rng, Blocks& b) {
        b.add("pixels", 4 * 640);
        addImages(b, rng, {64, 64});
        return runner({64, 64}, {nullptr, 640, 1000, 5000, 1365, 300});
    });
    checkRoute(c, &KernelTable::textureSpan, "texture at the limit", true, sized(kFits, 1), TextureSpan{});
    checkRoute(c, &KernelTable::textureSpan, "texture past the limit", false, sized(kTooTall, 1), TextureSpan{});
}

// Cases 0 and 1: every quarter from -2 to 258 in each channel (ties, values past a byte).
// Then random colours, steps and lengths (1 to 300 pixels) in every rounding mode.
void check_lightSpan(Checker& c) {
    const auto runner = [](LightSpan span, int rounding) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            const RoundingModeScope scope(kRoundingModes[rounding]);
            LightSpan s = span;
            s.pixels = b[0];
            table.lightSpan.packed(s);
        };
    };
    c.cases(4000, [&](uint32_t seed, Random& rng, Blocks& b) {
        const std::array<float, 3> quarters[] = {{-2.0f, -1.5f, -2.25f}, {-1.75f, -2.0f, -0.5f}};
        LightSpan span{nullptr, (258 + 2) * 4 + 1, quarters[seed % 2], {0.25f, 0.25f, 0.25f}};
        int rounding = 0;
        if (seed >= 2) {
            span.count = 1 + static_cast<int32_t>(rng.next() % (seed % 2 ? 300 : 20));
            rounding = static_cast<int>(seed % 4);
            for (size_t i = 0; i < 3; ++i)
                span.colour[i] = lightChannel(rng, -2, 258), span.step[i] = lightChannel(rng, -3, 3);
        }
        rng.fill(b.add("pixels", 4 * static_cast<size_t>(span.count)), 4 * static_cast<size_t>(span.count));
        c.describe("%d pixels from %g %g %g by %g %g %g, rounding %s", span.count, span.colour[0], span.colour[1],
                   span.colour[2], span.step[0], span.step[1], span.step[2], kRoundingNames[rounding]);
        return runner(span, rounding);
    });
    c.bench("640 pixels", 640, [&](uint32_t, Random&, Blocks& b) {
        b.add("pixels", 4 * 640);
        return runner({nullptr, 640, {10, 200, 30}, {0.3f, -0.25f, 0.1f}}, 0);
    });
    checkRoute(c, &KernelTable::lightSpan, "any span", true, LightSpan{});
}

namespace {

// Rows of 37 pixels, kSpanRows of them, one under the other; the kernels' edges after the
// call go to a block of their own.
constexpr int32_t kRowWidth = 37;
void addRows(Blocks& b, Random& rng, int32_t width, size_t stateBytes) {
    const size_t size = 4 * static_cast<size_t>(width) * kSpanRows;
    rng.fill(b.add("rows", size, 4 * static_cast<size_t>(width)), size);
    b.add("edges after the call", stateBytes);
}
template <typename Rows>
void pointRows(Rows& rows, Blocks& b, int32_t width) {
    for (int32_t r = 0; r < kSpanRows; ++r) rows.rows[r] = b[0] + 4 * static_cast<size_t>(width) * r;
}

}  // namespace

// Random rows: ties, NaN, infinite and far edges, wrapping coordinates and steps, every row
// count, in every rounding mode (seed % 4). The span kernel is the scalar one at both ends
// (the bench takes the level's).
void check_textureRows(Checker& c) {
    const auto runner = [](TextureRows rows, int rounding, bool levelSpans = false) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            const RoundingModeScope scope(kRoundingModes[rounding]);
            TextureRows r = rows;
            pointRows(r, b, r.widthPx);
            r.span = (levelSpans ? table : Checker::scalar()).textureSpan;
            table.textureRows.packed(bound(b, 2, {16, 16}), r);
            std::memcpy(b[1], &r.x, sizeof r.x);
            std::memcpy(b[1] + sizeof r.x, &r.uLeftFx, 8 * sizeof(int32_t));
        };
    };
    c.cases(6000, [&](uint32_t seed, Random& rng, Blocks& b) {
        addRows(b, rng, kRowWidth, sizeof(std::array<float, 2>) + 8 * sizeof(int32_t));
        addImages(b, rng, {16, 16});
        TextureRows rows{};
        rows.count = 1 + static_cast<int32_t>(rng.next() % kSpanRows), rows.widthPx = kRowWidth;
        rows.x = {awkward(rng, -20, 60), awkward(rng, -20, 60)};
        rows.xStep = {awkward(rng, -9, 9), awkward(rng, -9, 9)};
        for (int32_t* fx : {&rows.uLeftFx, &rows.vLeftFx, &rows.uRightFx, &rows.vRightFx, &rows.uLeftStepFx,
                            &rows.vLeftStepFx, &rows.uRightStepFx, &rows.vRightStepFx})
            *fx = fixedValue(rng, seed % 3 == 0, 200000);
        c.describe("%d rows, x %g %g by %g %g, u %d..%d, rounding %s", rows.count, rows.x[0], rows.x[1], rows.xStep[0],
                   rows.xStep[1], rows.uLeftFx, rows.uRightFx, kRoundingNames[seed % 4]);
        return runner(rows, static_cast<int>(seed % 4));
    });
    c.bench("4 rows of 640 pixels", 4 * 600, [&](uint32_t, Random& rng, Blocks& b) {
        addRows(b, rng, 640, 64);
        addImages(b, rng, {16, 16});
        TextureRows rows{};
        rows.count = kSpanRows, rows.widthPx = 640, rows.x = {10, 610}, rows.xStep = {0.5f, -0.5f};
        rows.uRightFx = 64 << 10, rows.vRightFx = 30 << 10, rows.vLeftStepFx = 1024;
        return runner(rows, 0, true);
    });
    TextureRows anyRows{};
    checkRoute(c, &KernelTable::textureRows, "any rows", true, sized(kTooTall, 1), anyRows);
}

// Random rows: t = k / n up to n = 2^24, far edges, channels past a byte and NaN, in every
// rounding mode (seed % 4).
void check_lightRows(Checker& c) {
    const auto runner = [](LightRows rows, int rounding) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            const RoundingModeScope scope(kRoundingModes[rounding]);
            LightRows r = rows;
            pointRows(r, b, r.widthPx);
            table.lightRows.packed(r);
            std::memcpy(b[1], r.colour.data(), sizeof r.colour);
        };
    };
    c.cases(6000, [&](uint32_t seed, Random& rng, Blocks& b) {
        addRows(b, rng, kRowWidth, sizeof(std::array<float, 6>));
        LightRows rows{};
        rows.n = 1 + rng.next() % (seed % 4 == 0 ? kPackedLightRowsMax : 64);
        rows.count = 1 + static_cast<int32_t>(rng.next() % kSpanRows), rows.widthPx = kRowWidth;
        rows.firstK = static_cast<int64_t>(rng.next() % static_cast<uint64_t>(rows.n));
        rows.apexX = awkward(rng, -40, 80), rows.end1X = awkward(rng, -40, 80), rows.end2X = awkward(rng, -40, 80);
        for (size_t i = 0; i < 6; ++i)
            rows.colour[i] = lightChannel(rng, -2, 258), rows.colourStep[i] = lightChannel(rng, -30, 30);
        c.describe("%d rows from k %lld of n %lld, x %g %g %g, rounding %s", rows.count,
                   static_cast<long long>(rows.firstK), static_cast<long long>(rows.n), rows.apexX, rows.end1X,
                   rows.end2X, kRoundingNames[seed % 4]);
        return runner(rows, static_cast<int>(seed % 4));
    });
    c.bench("4 rows of 640 pixels", 4 * 600, [&](uint32_t, Random& rng, Blocks& b) {
        addRows(b, rng, 640, 64);
        LightRows rows{};
        rows.count = kSpanRows, rows.n = 100, rows.firstK = 90, rows.widthPx = 640;
        rows.apexX = 320, rows.end1X = 0, rows.end2X = 639, rows.colour = {10, 20, 30, 200, 100, 50};
        rows.colourStep = {1, 1, 1, -1, -1, -1};
        return runner(rows, 0);
    });
    LightRows atLimit{}, pastLimit{};
    atLimit.n = kPackedLightRowsMax, pastLimit.n = kPackedLightRowsMax + 1;
    checkRoute(c, &KernelTable::lightRows, "n = 2^24", true, atLimit);
    checkRoute(c, &KernelTable::lightRows, "n = 2^24 + 1", false, pastLimit);
}

// Grid rows of random triangles, coordinates and depths (NaN, infinities, zero and negative
// depths, values past 2^31 included), one or two coordinate sets, 1 to 9 columns from a
// random first one (every tail of two and four lanes), in every rounding mode. Four entries per
// column up to one past the last, the last against a guard page; one set leaves the light
// entries alone.
void check_gridPoints(Checker& c) {
    constexpr int32_t kHeight = 50;
    const auto runner = [](GridFill texture, GridFill light, bool lit, GridRowWeights weights, int32_t first,
                           int32_t last, int rounding = 0) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            const RoundingModeScope scope(kRoundingModes[rounding]);
            int32_t* at = b.as<int32_t>(0);
            table.gridPoints.packed(
                GridPoints{&texture, lit ? &light : nullptr, weights, first, last, 4, at, at + 1, at + 2, at + 3});
        };
    };
    c.cases(8000, [&](uint32_t seed, Random& rng, Blocks& b) -> Runner {
        float p[6], uv[6], lightUv[6], z[3];
        for (int v = 0; v < 3; ++v) {
            p[2 * v] = rng.awkwardFloat(-40, 130), p[2 * v + 1] = rng.awkwardFloat(-40, kHeight + 40);
            uv[2 * v] = rng.awkwardFloat(-1e3f, 1e3f) * (seed % 7 == 0 ? 1e7f : 1.0f);
            uv[2 * v + 1] = rng.awkwardFloat(-1e3f, 1e3f);
            lightUv[2 * v] = rng.awkwardFloat(-1e2f, 1e2f), lightUv[2 * v + 1] = rng.awkwardFloat(-1e2f, 1e2f);
            z[v] = seed % 5 == 0 ? rng.awkwardFloat(-1, 1) : rng.awkwardFloat(0.1f, 50);
        }
        const GridRange range = gridRange(6, kHeight, p);  // K = 6
        if (range.empty()) return [](const KernelTable&, Blocks&) {};
        const GridFill texture = gridFill(range, p, uv, z), light = gridFillWithCoordinates(texture, lightUv);
        const int32_t first = range.firstColumn + static_cast<int32_t>(rng.next() % 2);
        const int32_t last = first + static_cast<int32_t>(seed % 9);  // the weights step on past cmax alike
        const int32_t bands = (range.lastRow - range.firstRow) / kGridBandRows + 2;
        const int32_t r = range.firstRow + kGridBandRows * static_cast<int32_t>(rng.next() % bands);
        const size_t entries = 4 * static_cast<size_t>(last + 2);
        rng.fill(b.add("grid entries", 4 * entries, 16), 4 * entries);
        const int rounding = static_cast<int>(seed / 2 % 4);
        c.describe("triangle (%g, %g) (%g, %g) (%g, %g), depths %g %g %g, grid row %d, columns %d..%d, %s, rounding %s",
                   p[0], p[1], p[2], p[3], p[4], p[5], z[0], z[1], z[2], r, first, last,
                   seed % 2 ? "two sets" : "one set", kRoundingNames[rounding]);
        return runner(texture, light, seed % 2 == 1, gridRowWeightsAt(texture, range, r, first), first, last, rounding);
    });
    c.bench("grid rows of 41 columns", 41, [&](uint32_t, Random& rng, Blocks& b) {
        const float p[6] = {0, 0, 640, 20, 100, 470}, uv[6] = {0, 0, 64, 3, 9, 60}, z[3] = {1, 3, 2};
        const GridRange range = gridRange(41, 480, p);
        const GridFill texture = gridFill(range, p, uv, z);
        rng.fill(b.add("grid entries", 16 * 43), 16 * 43);
        return runner(texture, texture, false, gridRowWeights(texture, range, 64), 0, 40);
    });
    checkRoute(c, &KernelTable::gridPoints, "any row", true, GridPoints{});
}

namespace {

// A block walk's image: 1 to 50 pixels wide by 20 rows, rows at most 12
// bytes apart beyond the pixels; blocks 0 to lastBlock.
struct WalkShape {
    int32_t width, height;
    size_t pitch;
    int32_t lastBlock;
};
WalkShape walkShape(uint32_t seed) {
    const int32_t width = 1 + static_cast<int32_t>(seed % 50);  // the last block cut to every length
    return {width, 20, 4 * static_cast<size_t>(width) + (seed / 50 % 2 ? 12 : 0), (width - 1) / kBlockWidth};
}
// A walk of up to 16 rows of one band over the shape, with random edges and steps; the grid
// pointers are set by the runner.
BlockWalk randomWalk(Random& rng, const WalkShape& shape) {
    const int32_t firstRow = between(rng, 0, shape.height);
    const auto edge = [&] { return extremeOr(rng, between(rng, -(20 << 10), (shape.width + 20) << 10)); };
    const auto step = [&] { return extremeOr(rng, between(rng, -4000, 4000)); };
    return BlockWalk{nullptr,         shape.pitch, shape.width,
                     shape.lastBlock, firstRow,    std::min(firstRow + between(rng, 0, 16), shape.height - 1),
                     edge(),          edge(),      step(),
                     step(),          nullptr,     nullptr,
                     nullptr,         nullptr,     firstRow - between(rng, 0, 16)};
}
// `count` grid entries: mostly within +-20000 of one another, now and then anything.
void fillGrid(Random& rng, int32_t* entries, size_t count, bool any) {
    for (size_t i = 0; i < count; ++i)
        entries[i] = any ? static_cast<int32_t>(rng.next()) : between(rng, -20000, 20000);
}
void addLayer(Blocks& b, Random& rng, const char* name, const WalkShape& shape) {
    const size_t size = shape.pitch * static_cast<size_t>(shape.height);
    rng.fill(b.add(name, size, shape.pitch), size);
}

}  // namespace

// Walks of 1 to 16 rows over images whose last block is whole or cut, rows of both parities,
// edges reaching outside, grid values small or anything, every texture shape. The layer, the
// texture and each grid row (u, v and their steps, one past the last block) end against guard
// pages.
void check_textureBlocks(Checker& c) {
    // Blocks: 0 layer, 1 u, 2 v, 3 u steps, 4 v steps, 5.. the texture.
    const auto runner = [](BlockWalk walk, Shape t) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            BlockWalk w = walk;
            w.layer = b[0], w.u = b.as<int32_t>(1), w.v = b.as<int32_t>(2), w.uStep = b.as<int32_t>(3),
            w.vStep = b.as<int32_t>(4);
            table.textureBlocks.packed(bound(b, 5, t), w);
        };
    };
    const auto make = [](Blocks& b, Random& rng, const WalkShape& shape, Shape t, bool any) {
        addLayer(b, rng, "texture layer", shape);
        for (const char* name : {"u", "v", "u steps", "v steps"}) {
            const size_t count = static_cast<size_t>(shape.lastBlock) + 2;
            fillGrid(rng, b.add<int32_t>(name, count), count, any && name[1] != ' ');
        }
        addImages(b, rng, t);
    };
    c.cases(6000, [&](uint32_t seed, Random& rng, Blocks& b) {
        const WalkShape shape = walkShape(seed);
        const Shape t = kTextures[seed / 12 % std::size(kTextures)];
        make(b, rng, shape, t, seed % 3 == 0);
        const BlockWalk walk = randomWalk(rng, shape);
        c.describe("image %d wide, pitch %zu, texture %d x %d, rows %d..%d (grid row %d), edges %d %d, steps %d %d",
                   shape.width, shape.pitch, t.width, t.height, walk.firstRow, walk.lastRow, walk.gridRow, walk.leftFx,
                   walk.rightFx, walk.leftStepFx, walk.rightStepFx);
        return runner(walk, t);
    });
    c.bench("640x16 band", 640 * 16, [&](uint32_t, Random& rng, Blocks& b) {
        const WalkShape shape{640, 16, 2560, 39};
        make(b, rng, shape, {64, 64}, false);
        return runner({nullptr, 2560, 640, 39, 0, 15, 0, 640 << 10, 0, 0, nullptr, nullptr, nullptr, nullptr, 0},
                      {64, 64});
    });
    checkRoute(c, &KernelTable::textureBlocks, "texture at the limit", true, sized(kFits, 1), BlockWalk{});
    checkRoute(c, &KernelTable::textureBlocks, "texture past the limit", false, sized(kTooTall, 1), BlockWalk{});
}

// The lit walks of the same shapes with every lightmap shape, the grid laid out as a lit walk
// states it: column c's texture u, v and lightmap u, v at 4c to 4c + 3, the steps likewise.
void check_litBlocks(Checker& c) {
    // Blocks: 0 texture layer, 1 light layer, 2 grid, 3 steps, 4.. the texture and lightmap.
    const auto runner = [](BlockWalk walk, Shape t, Shape l) -> Runner {
        return [=](const KernelTable& table, Blocks& b) {
            BlockWalk w = walk;
            const int32_t *grid = b.as<int32_t>(2), *steps = b.as<int32_t>(3);
            w.layer = b[0], w.u = grid, w.v = grid + 1, w.uStep = steps, w.vStep = steps + 1, w.stride = 4;
            table.litBlocks.packed(bound(b, 4, t, &l), LitBlockWalk{w, b[1]});
        };
    };
    const auto make = [](Blocks& b, Random& rng, const WalkShape& shape, Shape t, Shape l, bool any) {
        addLayer(b, rng, "texture layer", shape);
        addLayer(b, rng, "light layer", shape);
        const size_t count = 4 * (static_cast<size_t>(shape.lastBlock) + 2);
        fillGrid(rng, b.add<int32_t>("grid", count), count, any);
        fillGrid(rng, b.add<int32_t>("grid steps", count), count, false);
        addImages(b, rng, t, &l);
    };
    c.cases(6000, [&](uint32_t seed, Random& rng, Blocks& b) {
        const WalkShape shape = walkShape(seed);
        const Shape t = kTextures[seed / 12 % std::size(kTextures)], l = kLightmaps[seed / 5 % std::size(kLightmaps)];
        make(b, rng, shape, t, l, seed % 3 == 0);
        const BlockWalk walk = randomWalk(rng, shape);
        c.describe("image %d wide, pitch %zu, texture %d x %d, lightmap %d x %d, rows %d..%d (grid row %d), edges %d "
                   "%d, steps %d %d",
                   shape.width, shape.pitch, t.width, t.height, l.width, l.height, walk.firstRow, walk.lastRow,
                   walk.gridRow, walk.leftFx, walk.rightFx, walk.leftStepFx, walk.rightStepFx);
        return runner(walk, t, l);
    });
    c.bench("640x16 band, both layers", 2 * 640 * 16, [&](uint32_t, Random& rng, Blocks& b) {
        const WalkShape shape{640, 16, 2560, 39};
        make(b, rng, shape, {64, 64}, {16, 16}, false);
        return runner({nullptr, 2560, 640, 39, 0, 15, 0, 640 << 10, 0, 0, nullptr, nullptr, nullptr, nullptr, 0},
                      {64, 64}, {16, 16});
    });
    const LitBlockWalk walk{};
    checkRoute(c, &KernelTable::litBlocks, "both at the limit", true, sized(kFits, kFits), walk);
    checkRoute(c, &KernelTable::litBlocks, "lightmap past the limit", false, sized(kFits, kTooTall), walk);
    checkRoute(c, &KernelTable::litBlocks, "texture past the limit", false, sized(kTooTall, kFits), walk);
}

}  // namespace velkano::checker
