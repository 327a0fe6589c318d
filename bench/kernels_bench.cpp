// kernels_bench: the library's internals timed on their own, on a render context of this
// program's (the 640 x 480 image with its layers and band storage, the banded 64 x 64
// texture with the hue palette and the 16 x 16 pool lightmap bound):
// - the span compositor, compositeSpans with the kernels in force, over both halves of each
//   triangle of scene.h between two images, in modes 0, 2, 3 and 4, against std::memcpy of
//   exactly the same spans, row by row;
// - every kernel of the kernel table at each level the machine runs (scalar, SSE2, AVX2) on
//   the same prepared data, as the ratio to the scalar kernel. At the AVX2 level a module
//   without AVX2 kernels has its SSE2 kernels in the table; the rows say so.
//
// The kernels' data: the flashes run over the whole image; the tile rows are the image's
// 480 rows at 4/3 texel per pixel; the span and lit span kernels walk the compositor's
// regions; the texture and light span kernels fill the compositor's spans with each
// triangle's own texture mapping and vertex colours; the grid points are the texture grid
// rows of the room's triangles (persp_scene.h), and the block kernels fill both halves of
// each room triangle band by band from their own grid rows. Before timing, the compositor's
// walks are checked against the library's own, and every level's pass against the scalar
// one, byte for byte.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
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

// The compositor's source image, placed 128 bytes further into its 4 KiB page than
// `destination`. At equal offsets each load of a source pixel would seem to the processor to
// depend on the store of the destination pixel 4 KiB apart in address bits (4K aliasing),
// which costs modes 2 and 3 about a quarter of their speed (measured) depending only on
// where the allocator put the two images.
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

// The compositor's regions: both halves of every triangle, cut at the middle vertex's row
// as DRAWTRI cuts them (positions rounded to whole pixels), and the spans the compositor
// walks for them, found by compositing each region alone.
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
        int32_t x[3], y[3];
        for (int i = 0; i < 3; ++i)
            x[i] = static_cast<int32_t>(std::nearbyint(t.positions[2 * i])),
            y[i] = static_cast<int32_t>(std::nearbyint(t.positions[2 * i + 1]));
        int order[3] = {0, 1, 2};
        std::sort(order, order + 3, [&](int a, int b) { return y[a] < y[b]; });
        const int a = order[0], m = order[1], b = order[2];
        // Where the long edge a-b crosses row y[m].
        const double along = y[a] == y[b] ? 0 : double(x[b] - x[a]) * (y[m] - y[a]) / (y[b] - y[a]);
        const int32_t split = y[a] == y[b] ? x[a] : static_cast<int32_t>(std::nearbyint(x[a] + along));
        regions.push_back({y[a], y[m], x[a], x[a], x[m], split});
        regions.push_back({y[m], y[b], x[m], split, x[b], x[b]});
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
// rows read back (one unbroken span per row) and cleared. Then checks the reference does
// the compositor's work: nothing was written outside the regions' rows and columns, and
// copying the spans from varied pixels gives the same image as mode 0.
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
    if (std::any_of(image, image + kImageBytes, [](uint8_t b) { return b != 0; })) return false;

    std::vector<uint8_t> copied(kImageBytes);
    fillVaried(source, kImageBytes);
    for (size_t i = 0; i < kImageBytes; ++i) source[i] ^= 0x5A;
    fillVaried(image, kImageBytes);
    fillVaried(copied.data(), kImageBytes);
    compositeAll(context, scene, source, CompositeMode::Replace);
    copyAllSpans(copied.data(), source, scene);
    std::fprintf(stderr, "velkano_bench_kernels: %zu regions, %zu spans, %lld pixels per compositor frame\n",
                 scene.regions.size(), scene.spans.size(), static_cast<long long>(scene.pixels));
    return std::memcmp(image, copied.data(), kImageBytes) == 0;
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

struct GridJob {
    GridRange range;
    GridFill fill;
};
// A whole grid: U and V tables [block column 0..K][row 0..height + 15], the row fastest (the
// grid row after the last band may lie below the image).
struct WholeGrid {
    size_t columnRows = 0;
    std::vector<int32_t> u, v;

    void shape(int32_t lastColumn, int32_t height) {
        columnRows = size_t(height) + kGridBandRows;
        for (std::vector<int32_t>* t : {&u, &v}) t->assign(size_t(lastColumn + 1) * columnRows, 0);
    }
};
// The horizontal pass of a fill: its grid rows, and the one after the last.
int64_t evaluateGridRows(const KernelTable& k, WholeGrid& grid, const GridJob& job) {
    const auto evaluate = [&](int32_t r) {
        k.gridPoints(GridPoints{&job.fill, nullptr, gridRowWeights(job.fill, job.range, r), job.range.firstColumn,
                                job.range.lastColumn, grid.columnRows, grid.u.data() + r, grid.v.data() + r, nullptr,
                                nullptr});
    };
    int32_t r = job.range.firstRow;
    for (; r <= job.range.lastRow; r += kGridBandRows) evaluate(r);
    evaluate(r);
    return int64_t{job.range.lastColumn - job.range.firstColumn + 1} * ((r - job.range.firstRow) / kGridBandRows + 1);
}
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

uint64_t hashBytes(const uint8_t* bytes, size_t size, uint64_t hash = 0xCBF29CE484222325ull) {
    for (size_t at = 0; at + 8 <= size; at += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + at, 8);
        hash = (hash ^ word) * 0x100000001B3ull;
    }
    return hash;
}

// Everything the kernel benchmarks run on, prepared once; the grid as the room's fills leave it.
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
    std::vector<GridJob> gridJobs;
    int64_t gridPoints = 0;
    std::vector<BlockWalk> textureWalks, lightmapWalks;
    std::deque<std::vector<int32_t>> bandGrids;  // the walks' grid rows and steps
    int64_t blockPixels = 0;
    // The room's fills, written by the grid points benchmark (like the images behind `context`,
    // writable through a const KernelData).
    mutable WholeGrid grid;
    // Puts the image, both layers and the grid back as the checks and benchmarks start them.
    void restore() const {
        fillVaried(context.target, kImageBytes);
        fillVaried(context.textureLayer, kImageBytes);
        fillVaried(context.lightLayer, kImageBytes);
        for (size_t i = 0; i < kImageBytes; ++i) context.textureLayer[i] ^= 0x5A, context.lightLayer[i] ^= 0xA5;
        restoreGrid();
    }
    void restoreGrid() const {
        for (std::vector<int32_t>* t : {&grid.u, &grid.v}) std::fill(t->begin(), t->end(), 0);
    }
    uint64_t hashGrid() const {
        const auto bytes = [](const std::vector<int32_t>& t) { return reinterpret_cast<const uint8_t*>(t.data()); };
        const size_t size = sizeof(int32_t) * grid.u.size();
        return hashBytes(bytes(grid.v), size, hashBytes(bytes(grid.u), size));
    }
    uint64_t hashAll() const {
        uint64_t hash = hashGrid();
        for (const uint8_t* image : {context.target, context.textureLayer, context.lightLayer})
            hash = hashBytes(image, kImageBytes, hash);
        return hash;
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

// The room's grid rows and block walks.
void prepareRoom(KernelData& data) {
    RenderContext& context = data.context;
    const KernelTable& scalar = kernelTable(SimdLevel::Scalar);
    const int32_t lastColumn = context.bandStorage.lastColumn();  // K
    const std::vector<bench::ScreenTriangle> room = bench::makeRoom();
    data.grid.shape(lastColumn, context.height);
    for (const bench::ScreenTriangle& t : room) {
        const GridRange range = gridRange(lastColumn, context.height, t.positions);
        if (range.empty()) continue;
        const GridJob job{range, gridFill(range, t.positions, t.texCoords, t.depths)};
        data.gridPoints += evaluateGridRows(scalar, data.grid, job);
        data.gridJobs.push_back(job);
    }

    // Block walks over the compositor's rows of each half, cut every 16 rows; each cut takes
    // the triangle's texture (or lightmap) coordinates at its first row and 16 rows on.
    const int32_t lastBlock = std::min((kImageWidth - 1) / kBlockWidth, lastColumn - 1);
    const auto bandGrid = [&](const bench::ScreenTriangle& t, const GridRange& range, const float* coordinates,
                              int32_t r) {
        const GridFill fill = gridFill(range, t.positions, coordinates, t.depths);
        std::vector<int32_t> rows(4 * size_t(lastColumn + 1));  // u, v at r; u, v 16 rows on
        int32_t* at[4];
        for (size_t i = 0; i < 4; ++i) at[i] = rows.data() + i * size_t(lastColumn + 1);
        for (int32_t band = 0; band < 2; ++band)
            scalar.gridPoints(GridPoints{&fill, nullptr, gridRowWeights(fill, range, r + band * kGridBandRows),
                                         range.firstColumn, range.lastColumn, 1, at[2 * band], at[2 * band + 1],
                                         nullptr, nullptr});
        for (int32_t c = range.firstColumn; c <= range.lastColumn; ++c)
            for (int32_t i = 0; i < 2; ++i)
                at[2 + i][c] = shiftRightArithmetic(wrapSub(at[2 + i][c], at[i][c]), kGridBandShift);
        data.bandGrids.push_back(std::move(rows));
        const int32_t* g = data.bandGrids.back().data();
        const size_t n = size_t(lastColumn + 1);
        return std::array<const int32_t*, 4>{g, g + n, g + 2 * n, g + 3 * n};
    };
    for (const bench::ScreenTriangle& t : room) {
        const GridRange range = gridRange(lastColumn, context.height, t.positions);
        if (range.empty()) continue;
        SpanRegion halves[2];
        splitIntoSpanRegions(cutTriangle(t.positions), halves[0], halves[1]);
        for (SpanRegion& region : halves) {
            SpanWalk rows{};
            if (region.top == region.bottom || !spanWalk(context, region, rows)) continue;
            for (int32_t top = rows.firstRow; top <= rows.lastRow; top += kGridBandRows) {
                const int32_t skipped = top - rows.firstRow;
                BlockWalk walk{context.textureLayer,
                               kImagePitch,
                               kImageWidth,
                               lastBlock,
                               top,
                               std::min(top + kGridBandRows - 1, rows.lastRow),
                               wrapAdvance(rows.leftFx, rows.leftStepFx, skipped),
                               wrapAdvance(rows.rightFx, rows.rightStepFx, skipped),
                               rows.leftStepFx,
                               rows.rightStepFx,
                               nullptr,
                               nullptr,
                               nullptr,
                               nullptr,
                               top};
                const auto withGrid = [&](const float* coordinates) {
                    const auto grid = bandGrid(t, range, coordinates, top);
                    walk.u = grid[0], walk.v = grid[1], walk.uStep = grid[2], walk.vStep = grid[3];
                    return walk;
                };
                data.textureWalks.push_back(withGrid(t.texCoords));
                walk.layer = context.lightLayer;
                data.lightmapWalks.push_back(withGrid(t.lightCoords));
                forEachBlock(walk, [&](const BlockSpan& block) { data.blockPixels += block.count; });
            }
        }
    }
    std::fprintf(stderr,
                 "velkano_bench_kernels: room: %zu grid fills, %lld grid points; %zu block walks, %lld block pixels\n",
                 data.gridJobs.size(), static_cast<long long>(data.gridPoints), data.textureWalks.size(),
                 static_cast<long long>(data.blockPixels));
    data.restore();
}

// One kernel's benchmark: a pass over its prepared data with the kernels of a table.
struct KernelCase {
    std::string name;
    std::string items;
    int64_t itemsPerPass;
    std::function<void(const KernelTable&)> pass;
    std::function<uintptr_t(const KernelTable&)> kernel;  // which function the table holds
    std::function<void()> reset;                          // puts back what the pass changes; may be empty
    int64_t resetEvery = 1;                               // passes
};

template <typename Slot>
uintptr_t address(const Slot& slot) {
    return reinterpret_cast<uintptr_t>(slot.packed);
}
uintptr_t address(SpanKernel kernel) { return reinterpret_cast<uintptr_t>(kernel); }

// A case whose pass calls the table's kernel `Slot` on each item of `work`, after the
// `leading` arguments; it writes what it does not read, so it needs no refill.
template <auto Slot, typename Item, typename... Leading>
KernelCase perItem(std::string name, std::string items, int64_t count, const std::vector<Item>& work,
                   const Leading&... leading) {
    return {std::move(name),
            std::move(items),
            count,
            [&work, &leading...](const KernelTable& k) {
                for (const Item& item : work) (k.*Slot)(leading..., item);
            },
            [](const KernelTable& k) { return address(k.*Slot); },
            nullptr};
}

std::vector<KernelCase> kernelCases(const KernelData& data) {
    const RenderContext& context = data.context;
    const int64_t imagePixels = int64_t{kImageWidth} * kImageHeight;
    const auto refillTarget = [&context] { fillVaried(context.target, kImageBytes); };
    std::vector<KernelCase> cases;
    // The flash benchmark's colours: small adds and subtracts, refilled every 64 passes; the
    // modulation scales by 129/128 and then 127/128 in one pass, so the values drift little.
    cases.push_back({"flashAdd", "pixels", imagePixels,
                     [&context](const KernelTable& k) { k.flashAdd(context.target, kImageBytes, 0x01010101u); },
                     [](const KernelTable& k) { return address(k.flashAdd); }, refillTarget, 64});
    cases.push_back({"flashSub", "pixels", imagePixels,
                     [&context](const KernelTable& k) { k.flashSub(context.target, kImageBytes, 0x01010101u); },
                     [](const KernelTable& k) { return address(k.flashSub); }, refillTarget, 64});
    cases.push_back({"flashMod", "pixels", 2 * imagePixels,
                     [&context](const KernelTable& k) {
                         k.flashMod(context.target, kImageBytes, 0x81818181u);
                         k.flashMod(context.target, kImageBytes, 0x7F7F7F7Fu);
                     },
                     [](const KernelTable& k) { return address(k.flashMod); }, refillTarget, 64});

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
                         [](const KernelTable& k) { return address(k.tileRow); }, refillTarget});
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
        cases.push_back({std::string("span_") + m.name, "pixels", data.spanPixels,
                         [&data, plain, mode](const KernelTable& k) {
                             const SpanKernel kernel = k.spans.plain(mode);
                             for (const SpanWalk& walk : data.walks) kernel(plain, walk);
                         },
                         [mode](const KernelTable& k) { return address(k.spans.plain(mode)); }, refillTarget});
        cases.push_back({std::string("litSpan_") + m.name, "pixels", data.spanPixels,
                         [&data, lit, mode](const KernelTable& k) {
                             const SpanKernel kernel = k.spans.lit(mode);
                             for (const SpanWalk& walk : data.walks) kernel(lit, walk);
                         },
                         [mode](const KernelTable& k) { return address(k.spans.lit(mode)); }, refillLit});
    }

    cases.push_back(
        perItem<&KernelTable::textureSpan>("textureSpan", "pixels", data.spanPixels, data.textureSpans, context));
    cases.push_back(perItem<&KernelTable::lightSpan>("lightSpan", "pixels", data.spanPixels, data.lightSpans));
    cases.push_back({"gridPoints", "grid points", data.gridPoints,
                     [&data](const KernelTable& k) {
                         for (const GridJob& job : data.gridJobs) evaluateGridRows(k, data.grid, job);
                     },
                     [](const KernelTable& k) { return address(k.gridPoints); }, nullptr});
    cases.push_back(
        perItem<&KernelTable::textureBlocks>("textureBlocks", "pixels", data.blockPixels, data.textureWalks, context));
    return cases;
}

const char* levelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Scalar: return "scalar";
        case SimdLevel::Sse2: return "sse2";
        case SimdLevel::Avx2: return "avx2";
    }
    return "?";
}

// The levels this machine runs, scalar first.
std::vector<SimdLevel> levelsRun() {
    std::vector<SimdLevel> levels;
    for (SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2})
        if (level <= detectedSimdLevel()) levels.push_back(level);
    return levels;
}

// Every level's pass, from the same start, must leave the bytes the scalar pass leaves.
bool levelsMatchScalar(const KernelData& data, const std::vector<KernelCase>& cases) {
    for (const KernelCase& c : cases) {
        uint64_t want = 0;
        for (SimdLevel level : levelsRun()) {
            data.restore();
            c.pass(kernelTable(level));
            const uint64_t got = data.hashAll();
            if (level == SimdLevel::Scalar) want = got;
            else if (got != want) {
                std::fprintf(stderr, "velkano_bench_kernels: %s at %s differs from scalar\n", c.name.c_str(),
                             levelName(level));
                return false;
            }
        }
    }
    return true;
}

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
    // Where a module has no kernel of this level, the table holds the one of the level below.
    std::string subject = c.name + " " + levelName(level);
    if (level == SimdLevel::Avx2 && c.kernel(k) == c.kernel(kernelTable(SimdLevel::Sse2))) subject += " (sse2 kernel)";
    table.compare(subject + " vs scalar", name, c.name + "_scalar", c.items);
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
    if (!levelsMatchScalar(data, cases)) return table.refuse("a kernel level differs from scalar; not comparing them");
    data.restore();
    std::string levels;
    for (SimdLevel level : levelsRun()) levels += std::string(levels.empty() ? "" : ", ") + levelName(level);
    table.note("kernel levels this machine runs: " + levels);
    for (const KernelCase& c : cases)
        for (SimdLevel level : levelsRun()) registerKernel(table, c, level);

    return table.run();
}
