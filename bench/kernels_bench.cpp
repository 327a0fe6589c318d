// kernels_bench: the library's internals timed on their own, on a render context of this
// program's (the 640 x 480 image with its layers and band storage, the banded 64 x 64
// texture with the hue palette and the 16 x 16 pool lightmap bound):
// - the span compositor, compositeSpans with the kernels in force, over both halves of each
//   triangle of scene.h between two images, in modes 0, 2, 3 and 4, against std::memcpy of
//   exactly the same spans, row by row;
// - every kernel of the kernel table at each level the machine runs (scalar, SSE2, AVX2) on
//   the same prepared data, as the ratio to the scalar kernel. At the AVX2 level a module
//   without AVX2 kernels has its SSE2 kernels in the table; the rows say so. That every
//   level gives the scalar kernel's bytes is the kernel checker's work (tests/checker).
//
// The kernels' data: the flashes run over the whole image; the tile rows are its 480 rows at
// 4/3 texel per pixel; the span kernels walk the compositor's regions, the texture and light
// span kernels fill its spans with each triangle's own mapping and colours; the grid points
// and block walks are those of the room's triangles (persp_scene.h), band by band.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "context/kernel_table.h"
#include "context/render_context.h"
#include "context/texture_binding.h"
#include "pixel/simd_level.h"
#include "raster/persp_triangle.h"
#include "raster/span_compositor.h"
#include "raster/triangle_spans.h"
#include "raster/triangle_split.h"
#include "raster/uv_grid.h"
#include "support/persp_scene.h"
#include "support/scene.h"
#include "support/side_by_side.h"
#include "tile/tile_blit.h"

namespace {

using namespace velkano;
using bench::AlignedBytes, bench::fillVaried, bench::kImageBytes, bench::kImageHeight, bench::kImagePitch,
    bench::kImageWidth, bench::kTextureSize;

// A context of this program's on the 640 x 480 image, with everything bound.
class BoundContext {
public:
    BoundContext() {
        initContext(context, image_.data(), kImageWidth, kImageHeight, kImagePitch);
        setTexture(context, indices_.data(), kTextureSize, kTextureSize, palette_.data(), 0);
        setLightmap(context, lightmap_.data(), bench::kLightmapSize, bench::kLightmapSize);
    }
    ~BoundContext() { destroyContext(context); }
    BoundContext(const BoundContext&) = delete;
    BoundContext& operator=(const BoundContext&) = delete;

    bool ready() const {
        return image_.data() != nullptr && context.textureLayer != nullptr && context.lightLayer != nullptr &&
               !context.bandStorage.empty();
    }

    RenderContext context{};

private:
    AlignedBytes image_{kImageBytes};
    std::vector<uint8_t> indices_ = bench::bandedTexture();
    std::vector<uint32_t> palette_ = bench::huePalette();
    std::vector<uint32_t> lightmap_ = bench::poolLightmap();
};

// ---- the compositor against memcpy ------------------------------------------------------

// The compositor's source image, 128 bytes further into its 4 KiB page than `destination`:
// at equal offsets each source load would seem to depend on the destination store 4 KiB apart
// (4K aliasing), costing modes 2 and 3 about a quarter of their speed (measured).
class SourceImage {
public:
    explicit SourceImage(const uint8_t* destination) : bytes_(kImageBytes + 4096) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(bytes_.data());
        const uintptr_t want = reinterpret_cast<uintptr_t>(destination) + 128;
        if (bytes_.data() != nullptr) pixels_ = bytes_.data() + (want - base) % 4096;
    }
    uint8_t* data() const { return pixels_; }

private:
    AlignedBytes bytes_;
    uint8_t* pixels_ = nullptr;
};

// The compositor's regions: both halves of every triangle as DRAWTRI cuts them, and the spans
// the compositor walks for them, found by compositing each region alone.
struct Span {
    int32_t row, column, count;
    size_t region;
};
struct CompositeScene {
    std::vector<SpanRegion> regions;
    std::vector<Span> spans;
    int64_t pixels = 0;  // per frame
};

std::vector<SpanRegion> triangleHalves(const std::vector<bench::Triangle>& triangles) {
    std::vector<SpanRegion> regions;
    for (const bench::Triangle& t : triangles) {
        SpanRegion& first = regions.emplace_back();
        splitIntoSpanRegions(cutTriangle(t.positions), first, regions.emplace_back());
    }
    return regions;
}

void compositeAll(const RenderContext& context, const CompositeScene& scene, const uint8_t* source,
                  CompositeMode mode) {
    for (SpanRegion region : scene.regions)  // normalised in place: each call gets a fresh one
        compositeSpans(context, context.target, source, region, mode);
}
void copyAllSpans(uint8_t* destination, const uint8_t* source, const CompositeScene& scene) {
    for (const Span& span : scene.spans) {
        const size_t at = pixelOffset(kImagePitch, span.column, span.row);
        std::memcpy(destination + at, source + at, 4 * size_t(span.count));
    }
}

// Finds the spans: each region copied alone from an all-ones source onto a zero image, its
// rows read back (one unbroken span per row) and cleared; then nothing else may be left
// written, or copying the spans would not do the compositor's work.
bool findCompositeSpans(const RenderContext& context, uint8_t* source, CompositeScene& scene) {
    uint8_t* image = context.target;
    std::memset(image, 0, kImageBytes);
    std::memset(source, 0xFF, kImageBytes);
    for (size_t i = 0; i < scene.regions.size(); ++i) {
        SpanRegion region = scene.regions[i];
        compositeSpans(context, image, source, region, CompositeMode::Replace);
        const int32_t x0 = std::max(0, std::min(region.topLeftX, region.bottomLeftX) - 1);
        const int32_t x1 = std::min(kImageWidth, std::max(region.topRightX, region.bottomRightX) + 1);
        for (int32_t row = std::max(region.top, 0); row < std::min(region.bottom, kImageHeight); ++row) {
            int32_t first = -1, last = -1, count = 0;
            for (int32_t col = x0; col < x1; ++col) {
                if (bench::pixelAt(image, col, row) == 0) continue;
                if (first < 0) first = col;
                last = col, ++count;
            }
            if (count == 0) continue;
            if (last - first + 1 != count) return false;
            scene.spans.push_back({row, first, count, i});
            scene.pixels += count;
            std::memset(image + pixelOffset(kImagePitch, first, row), 0, 4 * size_t(count));
        }
    }
    std::fprintf(stderr, "velkano_bench_kernels: %zu regions, %zu spans, %lld pixels per compositor frame\n",
                 scene.regions.size(), scene.spans.size(), static_cast<long long>(scene.pixels));
    return std::none_of(image, image + kImageBytes, [](uint8_t b) { return b != 0; });
}

struct NamedMode {
    const char* name;
    CompositeMode mode;
};
constexpr NamedMode kCompositeModes[] = {{"copy", CompositeMode::Replace},
                                         {"add", CompositeMode::AddSat},
                                         {"mod2x", CompositeMode::Modulate2x},
                                         {"mul2x", CompositeMode::Multiply2x}};

// ---- the kernels' data ------------------------------------------------------------------

// An attribute interpolated linearly over a triangle's screen positions.
struct AffineMap {
    double at0, perX, perY, x0, y0;
    double operator()(double x, double y) const { return at0 + perX * (x - x0) + perY * (y - y0); }
};
AffineMap affineMap(const float* p, double a0, double a1, double a2) {
    const double dx1 = p[2] - p[0], dy1 = p[3] - p[1], dx2 = p[4] - p[0], dy2 = p[5] - p[1];
    const double det = dx1 * dy2 - dx2 * dy1;
    return {a0, ((a1 - a0) * dy2 - (a2 - a0) * dy1) / det, ((a2 - a0) * dx1 - (a1 - a0) * dx2) / det, p[0], p[1]};
}

// Everything the kernel benchmarks run on, prepared once.
struct KernelData {
    KernelData(RenderContext& c, const uint8_t* s) : context(c), source(s) {}

    RenderContext& context;
    const uint8_t* source;
    std::vector<SpanWalk> walks;            // one per compositor region
    std::vector<TextureSpan> textureSpans;  // into the texture layer, one per compositor span
    std::vector<LightSpan> lightSpans;      // into the light layer, likewise
    int64_t spanPixels = 0;
    std::vector<uint32_t> tileColumns;
    std::vector<TileRow> tileRows;
    std::deque<GridFill> fills;        // the room's texture and lightmap fills
    std::vector<GridPoints> gridRows;  // the bands' grid rows, both sets
    int64_t gridPoints = 0;
    std::vector<LitBlockWalk> litWalks;
    std::vector<BlockWalk> textureWalks;         // the lit walks' texture halves
    std::deque<std::vector<int32_t>> bandGrids;  // the walks' grid rows and steps
    int64_t blockPixels = 0;

    // Puts the image and both layers back as the benchmarks start them.
    void restore() const {
        for (uint8_t* image : {context.target, context.textureLayer, context.lightLayer})
            fillVaried(image, kImageBytes);
        for (size_t i = 0; i < kImageBytes; ++i) context.textureLayer[i] ^= 0x5A, context.lightLayer[i] ^= 0xA5;
    }
};

// The spans of the compositor's regions as texture and light spans, each with its
// triangle's texture mapping and vertex colours.
void prepareTriangleSpans(KernelData& data, const CompositeScene& composite, const bench::TriangleScene& triangles) {
    for (SpanRegion region : composite.regions) {
        SpanWalk walk;
        if (region.top != region.bottom && spanWalk(data.context, region, walk)) data.walks.push_back(walk);
    }
    for (const Span& span : composite.spans) {
        const bench::Triangle& t = triangles.triangles[span.region / 2];
        const float* p = t.positions;
        const size_t at = pixelOffset(kImagePitch, span.column, span.row);
        const double x = span.column + 0.5, y = span.row + 0.5;
        const AffineMap u = affineMap(p, t.texCoords[0], t.texCoords[2], t.texCoords[4]);
        const AffineMap v = affineMap(p, t.texCoords[1], t.texCoords[3], t.texCoords[5]);
        data.textureSpans.push_back({data.context.textureLayer + at, span.count, floorToFx(u(x, y)), floorToFx(v(x, y)),
                                     floorToFx(u.perX), floorToFx(v.perX)});
        LightSpan light{data.context.lightLayer + at, span.count, {}, {}};
        for (int c = 0; c < 3; ++c) {
            const auto lane = [&](int vertex) { return double(t.colours[vertex] >> 8 * c & 0xFF); };
            const AffineMap channel = affineMap(p, lane(0), lane(1), lane(2));
            light.colour[size_t(c)] = float(channel(x, y));
            light.step[size_t(c)] = float(channel.perX);
        }
        data.lightSpans.push_back(light);
        data.spanPixels += span.count;
    }
}

// Every row of the image as a tile row, 4/3 texel per pixel across and down.
void prepareTileRows(KernelData& data) {
    for (uint32_t i = 0; i < uint32_t(kImageWidth); ++i) data.tileColumns.push_back(i * 4 / 3 % kTextureSize);
    for (int32_t row = 0; row < kImageHeight; ++row)
        data.tileRows.push_back({data.context.target + pixelOffset(kImagePitch, 0, row),
                                 data.context.textureIndices + (row * 4 / 3 % kTextureSize) * kTextureSize,
                                 data.tileColumns.data(), kImageWidth});
}

// The room's grid rows, and its lit block walks band by band as DRAWPERSPTRI walks them: each
// band's grid from GridBands, texture u, v and lightmap u, v side by side per column, as a lit
// walk states it.
void prepareRoom(KernelData& data) {
    RenderContext& context = data.context;
    const KernelTable& scalar = kernelTable(SimdLevel::Scalar);
    const int32_t columns = context.bandStorage.lastColumn() + 1;
    const int32_t lastBlock = std::min((kImageWidth - 1) / kBlockWidth, columns - 2);
    for (const bench::ScreenTriangle& t : bench::makeRoom()) {
        const GridRange range = gridRange(context.bandStorage.lastColumn(), context.height, t.positions);
        if (range.empty()) continue;
        const GridFill& texture = data.fills.emplace_back(gridFill(range, t.positions, t.texCoords, t.depths));
        const GridFill& light = data.fills.emplace_back(gridFillWithCoordinates(texture, t.lightCoords));
        const auto evaluate = [&](int32_t band, const std::array<int32_t*, GridBands::kMaxSets>& at) {
            const int32_t r = range.firstRow + band * kGridBandRows;
            data.gridRows.push_back({&texture, &light, gridRowWeights(texture, range, r), range.firstColumn,
                                     range.lastColumn, 4, at[0], at[1], at[2], at[3]});
            scalar.gridPoints(data.gridRows.back());
            data.gridPoints += 2 * (range.lastColumn - range.firstColumn + 1);
        };
        SpanRegion halves[2];
        splitIntoSpanRegions(cutTriangle(t.positions), halves[0], halves[1]);
        for (SpanRegion& region : halves) {
            SpanWalk rows{};
            if (region.top == region.bottom || !spanWalk(context, region, rows)) continue;
            for (int32_t top = rows.firstRow; top <= rows.lastRow;) {
                const int32_t band = (top - range.firstRow) / kGridBandRows;
                const int32_t gridRow = range.firstRow + band * kGridBandRows;
                const int32_t bottom = std::min(gridRow + kGridBandRows - 1, rows.lastRow);
                GridBands bands(data.bandGrids.emplace_back(12 * size_t(columns)).data(), columns, 4);
                bands.moveTo(band, range.firstColumn, range.lastColumn, evaluate);
                const int32_t skipped = top - rows.firstRow;
                BlockWalk walk{};
                walk.layer = context.textureLayer, walk.pitch = kImagePitch, walk.widthPx = kImageWidth;
                walk.lastBlock = lastBlock, walk.firstRow = top, walk.lastRow = bottom, walk.gridRow = gridRow;
                walk.leftFx = wrapAdvance(rows.leftFx, rows.leftStepFx, skipped), walk.leftStepFx = rows.leftStepFx;
                walk.rightFx = wrapAdvance(rows.rightFx, rows.rightStepFx, skipped),
                walk.rightStepFx = rows.rightStepFx;
                walk.u = bands.gridRow(0), walk.v = bands.gridRow(1), walk.stride = bands.stride();
                walk.uStep = bands.steps(0), walk.vStep = bands.steps(1);
                data.litWalks.push_back({walk, context.lightLayer});
                data.textureWalks.push_back(walk);
                forEachBlock(walk, [&](const BlockSpan& block) { data.blockPixels += block.count; });
                top = bottom + 1;
            }
        }
    }
    data.restore();
}

// One kernel's benchmark: a pass over its prepared data with the kernels of a table.
struct KernelCase {
    std::string name;
    std::string items;
    int64_t itemsPerPass;
    std::function<void(const KernelTable&)> pass;
    std::function<void()> reset;  // puts back what the pass changes; may be empty
    int64_t resetEvery = 1;       // passes
};

// A case whose pass calls the table's kernel `Slot` on each item of `work`, after the
// `leading` arguments; it writes what it does not read, so it needs no refill.
template <auto Slot, typename Item, typename... Leading>
KernelCase perItem(std::string name, std::string items, int64_t count, const std::vector<Item>& work,
                   const Leading&... leading) {
    return {std::move(name), std::move(items), count,
            [&work, &leading...](const KernelTable& k) {
                for (const Item& item : work) (k.*Slot)(leading..., item);
            },
            nullptr};
}

std::vector<KernelCase> kernelCases(const KernelData& data) {
    const RenderContext& context = data.context;
    const int64_t imagePixels = int64_t{kImageWidth} * kImageHeight;
    const auto refillTarget = [&context] { fillVaried(context.target, kImageBytes); };
    std::vector<KernelCase> cases;
    // The flash benchmark's colours, two flashes a pass: small adds and subtracts, refilled
    // every 64 passes; the modulation scales by 129/128 and then 127/128, so values drift little.
    const struct {
        const char* name;
        KernelSlot<FlashKernel, AnyCall> KernelTable::*slot;
        uint32_t colours[2];
    } flashes[] = {{"flashAdd", &KernelTable::flashAdd, {0x01010101u, 0x01010101u}},
                   {"flashSub", &KernelTable::flashSub, {0x01010101u, 0x01010101u}},
                   {"flashMod", &KernelTable::flashMod, {0x81818181u, 0x7F7F7F7Fu}}};
    for (const auto& f : flashes)
        cases.push_back({f.name, "pixels", 2 * imagePixels,
                         [&context, f](const KernelTable& k) {
                             for (const uint32_t colour : f.colours) (k.*f.slot)(context.target, kImageBytes, colour);
                         },
                         refillTarget, 64});

    const struct {
        const char* name;
        TileMode mode;
    } tileModes[] = {{"copy", TileMode::Replace}, {"add", TileMode::AddSat}, {"mod", TileMode::ModulateTarget}};
    for (const auto& m : tileModes) {
        const TileInk ink{context.palette, 0x00C0A080u, m.mode};
        cases.push_back({std::string("tileRow_") + m.name, "pixels", imagePixels,
                         [&data, ink](const KernelTable& k) {
                             for (const TileRow& row : data.tileRows) k.tileRow(row, ink);
                         },
                         refillTarget});
    }

    const SpanImages plain{context.target, data.source, kImagePitch, kImageWidth, kImageHeight};
    const SpanImages lit{context.target,       nullptr,           kImagePitch, kImageWidth, kImageHeight,
                         context.textureLayer, context.lightLayer};
    const auto refillLit = [&context] {
        fillVaried(context.target, kImageBytes);
        fillVaried(context.textureLayer, kImageBytes);
    };
    for (const NamedMode& m : kCompositeModes) {
        const CompositeMode mode = m.mode;
        for (const bool isLit : {false, true})
            cases.push_back({std::string(isLit ? "litSpan_" : "span_") + m.name, "pixels", data.spanPixels,
                             [&data, plain, lit, mode, isLit](const KernelTable& k) {
                                 const SpanKernel kernel = isLit ? k.spans.lit(mode) : k.spans.plain(mode);
                                 for (const SpanWalk& walk : data.walks) kernel(isLit ? lit : plain, walk);
                             },
                             isLit ? std::function<void()>(refillLit) : refillTarget});
    }

    cases.push_back(
        perItem<&KernelTable::textureSpan>("textureSpan", "pixels", data.spanPixels, data.textureSpans, context));
    cases.push_back(perItem<&KernelTable::lightSpan>("lightSpan", "pixels", data.spanPixels, data.lightSpans));
    cases.push_back(perItem<&KernelTable::gridPoints>("gridPoints", "grid points", data.gridPoints, data.gridRows));
    cases.push_back(
        perItem<&KernelTable::textureBlocks>("textureBlocks", "pixels", data.blockPixels, data.textureWalks, context));
    // Both layers of each walk: the pixels of both.
    cases.push_back(
        perItem<&KernelTable::litBlocks>("litBlocks", "pixels", 2 * data.blockPixels, data.litWalks, context));
    return cases;
}

std::string levelName(SimdLevel level) { return std::string(simdLevelName(level)); }

void registerKernel(bench::SideBySide& table, const KernelCase& c, SimdLevel level) {
    const KernelTable& k = kernelTable(level);
    const std::string name = c.name + "_" + levelName(level);
    benchmark::RegisterBenchmark(name.c_str(), [&c, &k](benchmark::State& state) {
        if (c.reset) c.reset();
        int64_t sinceReset = 0;
        for (auto _ : state) {
            if (c.reset && ++sinceReset == c.resetEvery) {
                state.PauseTiming();
                c.reset();
                sinceReset = 0;
                state.ResumeTiming();
            }
            c.pass(k);
            benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * c.itemsPerPass);
    })->Unit(benchmark::kMicrosecond);
    if (level == SimdLevel::Scalar) return;
    table.compare(c.name + " " + levelName(level) + " vs scalar", name, c.name + "_scalar", c.items);
}

}  // namespace

int main(int argc, char** argv) {
    bench::SideBySide table("velkano_bench_kernels", argc, argv);
    if (!table.initialised()) return 1;

    BoundContext bound;
    RenderContext& context = bound.context;
    const SourceImage source(context.target);
    if (!bound.ready() || source.data() == nullptr) return table.refuse("cannot allocate the images");

    const bench::TriangleScene triangles = bench::makeTriangleScene();
    CompositeScene composite;
    composite.regions = triangleHalves(triangles.triangles);
    if (!findCompositeSpans(context, source.data(), composite))
        return table.refuse("the spans copied do not match the compositor's; not comparing them");
    for (const NamedMode& m : kCompositeModes) {
        const std::string name = std::string("compositeSpans_") + m.name;
        benchmark::RegisterBenchmark(name.c_str(), [&, m](benchmark::State& state) {
            bench::runFrames(state, context.target, composite.pixels,
                             [&] { compositeAll(context, composite, source.data(), m.mode); });
        })->Unit(benchmark::kMillisecond);
        table.compare(std::string("compositeSpans ") + m.name + " vs memcpy", name, "memcpy_spans");
    }
    benchmark::RegisterBenchmark("memcpy_spans", [&](benchmark::State& state) {
        bench::runFrames(state, context.target, composite.pixels,
                         [&] { copyAllSpans(context.target, source.data(), composite); });
    })->Unit(benchmark::kMillisecond);

    KernelData data{context, source.data()};
    prepareTriangleSpans(data, composite, triangles);
    prepareTileRows(data);
    prepareRoom(data);
    const std::vector<KernelCase> cases = kernelCases(data);
    std::string levels;  // the levels this machine runs
    for (const SimdLevel level : kSimdLevels)
        if (level <= detectedSimdLevel()) levels += (levels.empty() ? "" : ", ") + levelName(level);
    table.note("kernel levels this machine runs: " + levels);
    for (const KernelCase& c : cases)
        for (const SimdLevel level : kSimdLevels)
            if (level <= detectedSimdLevel()) registerKernel(table, c, level);

    return table.run();
}
