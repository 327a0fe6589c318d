#include "raster/affine_triangle.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "context/kernel_table.h"
#include "context/texture_binding.h"
#include "pixel/numeric.h"
#include "raster/triangle_spans.h"
#include "texture/texel_fetch.h"

namespace velkano {
namespace {

// The walk of a half: row y = apexY + direction * k for k = 0 to lastStep. Of those, steps
// firstK to lastK lie inside the image's rows (none when firstK > lastK).
struct HalfSteps {
    int32_t direction;
    int64_t firstK;
    int64_t lastK;
};

HalfSteps halfSteps(const RenderContext& context, const HalfTriangle& half, int64_t lastStep) {
    const int64_t apexY = half.apexY, lastRow = context.height - 1;
    if (half.apexY > half.baseY) return {-1, std::max<int64_t>(0, apexY - lastRow), std::min(lastStep, apexY)};
    return {1, std::max<int64_t>(0, -apexY), std::min(lastStep, lastRow - apexY)};
}

int64_t rowDistance(const HalfTriangle& half) {
    const int64_t distance = static_cast<int64_t>(half.baseY) - half.apexY;
    return distance < 0 ? -distance : distance;
}

// The texture half's rows from step `firstK` on, of a half of `steps` (> 0) row steps.
TextureRows textureRows(const RenderContext& context, const HalfTriangle& half, const HalfTexCoords& texCoords,
                        int64_t steps, int64_t firstK) {
    // Set-up in double; the reciprocal and the edge steps are binary32.
    const double inv = static_cast<float>(1.0 / static_cast<double>(steps));
    const double apexU = texCoords.apexU, apexV = texCoords.apexV;
    const int32_t uFx = floorToFx(apexU), vFx = floorToFx(apexV);
    TextureRows rows{{},
                     0,
                     drawableWidth(context),
                     kernels().textureSpan,
                     {static_cast<float>(half.apexX), static_cast<float>(half.apexX)},
                     {static_cast<float>(static_cast<double>(static_cast<int64_t>(half.baseX1) - half.apexX) * inv),
                      static_cast<float>(static_cast<double>(static_cast<int64_t>(half.baseX2) - half.apexX) * inv)},
                     uFx,
                     vFx,
                     uFx,
                     vFx,
                     floorToFx((texCoords.end1U - apexU) * inv),
                     floorToFx((texCoords.end1V - apexV) * inv),
                     floorToFx((texCoords.end2U - apexU) * inv),
                     floorToFx((texCoords.end2V - apexV) * inv)};
    // Rows outside the image: integer edges jump, float edges are summed step by step.
    stepThrough(rows.x, rows.xStep, firstK);
    rows.uLeftFx = wrapAdvance(rows.uLeftFx, rows.uLeftStepFx, firstK);
    rows.vLeftFx = wrapAdvance(rows.vLeftFx, rows.vLeftStepFx, firstK);
    rows.uRightFx = wrapAdvance(rows.uRightFx, rows.uRightStepFx, firstK);
    rows.vRightFx = wrapAdvance(rows.vRightFx, rows.vRightStepFx, firstK);
    return rows;
}

// The light half's rows from step `firstK` on, of n = lastStep + 1 rows: every vertical step
// divides by n, not by the row distance.
LightRows lightRows(const RenderContext& context, const HalfTriangle& half, const HalfColours& colours,
                    int64_t lastStep, int64_t firstK) {
    LightRows rows{{},
                   0,
                   firstK,
                   lastStep + 1,
                   drawableWidth(context),
                   static_cast<float>(half.apexX),
                   static_cast<float>(half.baseX1),
                   static_cast<float>(half.baseX2),
                   {},
                   {}};
    const auto n = static_cast<double>(rows.n);
    for (size_t c = 0; c < 3; ++c) {
        const auto channel = [&](ColourWord word) { return static_cast<float>((word >> (8 * c)) & 0xFFu); };
        const double apex = channel(colours.apex);
        rows.colour[c] = rows.colour[c + 3] = static_cast<float>(apex);
        rows.colourStep[c] = static_cast<float>((channel(colours.end1) - apex) / n);
        rows.colourStep[c + 3] = static_cast<float>((channel(colours.end2) - apex) / n);
    }
    stepThrough(rows.colour, rows.colourStep, firstK);
    return rows;
}

int32_t rowAt(const HalfTriangle& half, const HalfSteps& rows, int64_t k) {
    return static_cast<int32_t>(half.apexY + rows.direction * k);
}

// Steps firstK to lastK (at most kSpanRows of them) of the half: their count, and where each
// row starts in `image`.
int32_t rowStarts(const RenderContext& context, uint8_t* image, const HalfTriangle& half, const HalfSteps& halfSteps,
                  int64_t firstK, int64_t lastK, uint8_t* (&starts)[kSpanRows]) {
    const auto count = static_cast<int32_t>(lastK - firstK + 1);
    for (int32_t r = 0; r < count; ++r)
        starts[r] = image + pixelOffset(static_cast<size_t>(context.pitch), 0, rowAt(half, halfSteps, firstK + r));
    return count;
}

// Texels on steps firstK to lastK (at most kSpanRows of them) of the half.
void textureRowsAt(RenderContext& context, const HalfTriangle& half, const HalfSteps& halfSteps, int64_t firstK,
                   int64_t lastK, TextureRows& rows) {
    rows.count = rowStarts(context, context.textureLayer, half, halfSteps, firstK, lastK, rows.rows);
    kernels().textureRows(context, rows);
}

// Light on steps firstK to lastK (at most kSpanRows of them) of the half.
void lightRowsAt(const RenderContext& context, const HalfTriangle& half, const HalfSteps& halfSteps, int64_t firstK,
                 int64_t lastK, LightRows& rows) {
    rows.firstK = firstK;
    rows.count = rowStarts(context, context.lightLayer, half, halfSteps, firstK, lastK, rows.rows);
    kernels().lightRows(rows);
}

// One half in the one-walk draw: its rows in the image, its rasterisers' edges and the
// compositor's walk of it (`composited` false when the compositor leaves it out).
struct HalfPasses {
    HalfSteps rows;
    int64_t steps;
    bool textured;
    TextureRows texture;
    LightRows light;
    bool composited;
    SpanWalk walk;
};

// DRAWTRI pass by pass over the normalised halves: both texture halves, both light halves,
// light into texture over each half, texture into the target over each half.
void drawHalvesPassByPass(RenderContext& context, TriangleHalves& t) {
    for (int h = 0; h < 2; ++h) rasteriseTextureHalf(context, t.half[h], t.texCoords[h]);
    for (int h = 0; h < 2; ++h) rasteriseLightHalf(context, t.half[h], t.colours[h]);
    // Light into texture, then texture into the target; each call gets a fresh region.
    for (const HalfTriangle& half : t.half) {
        SpanRegion region = spanRegionFromHalf(half);
        compositeSpans(context, context.textureLayer, context.lightLayer, region, CompositeMode::Multiply2x);
    }
    for (const HalfTriangle& half : t.half) {
        SpanRegion region = spanRegionFromHalf(half);
        compositeSpans(context, context.target, context.textureLayer, region,
                       static_cast<CompositeMode>(context.blendMode));
    }
}

// The same bytes in one walk. Every pass of a row reads and writes only that row of the
// layers (texels, light, light into texture), and modes 0 to 4 only that row of the target,
// so each row may run all its passes, in pass order, before the next row starts:
// - a row other than M's belongs to one half (the halves lie on either side of M's row, and
//   the squeezing keeps that order), whose passes it takes in order;
// - M's row (baseY of both) is written by both halves' rasterisers and composited by the
//   half whose apex lies below it, so it comes last: texels of half 0 and half 1, light of
//   half 0 and half 1, then that half's composite;
// - squeezed rows are rows of their half like any other, walked from its apex;
// - each half is walked from its apex, the way its binary32 edge sums run; the compositor's
//   22.10 edges are evaluated at any row;
// - displacement reads target pixels of other rows as the passes leave them, so in mode 6
//   the walk does the layers and the final write stays a pass of its own, half 0 then half 1.
// Rows run in batches of kSpanRows: the row kernels set several rows up at once and the light
// kernel works them side by side.
void drawHalvesInOneWalk(RenderContext& context, TriangleHalves& t) {
    const int32_t widthPx = drawableWidth(context);
    const auto mode = static_cast<CompositeMode>(context.blendMode);
    // Modes 0 to 4: light and final write in one kernel; otherwise light into texture only.
    const SpanKernel lit = mode == CompositeMode::Displace ? nullptr : kernels().spans.multiplyLit(mode);
    const SpanKernel kernel = lit != nullptr ? lit : kernels().spans.plain(CompositeMode::Multiply2x);
    const SpanImages images = lit != nullptr
                                  ? SpanImages{context.target,    nullptr,        static_cast<size_t>(context.pitch),
                                               widthPx,           context.height, context.textureLayer,
                                               context.lightLayer}
                                  : SpanImages{context.textureLayer, context.lightLayer,
                                               static_cast<size_t>(context.pitch), widthPx, context.height};

    HalfPasses passes[2]{};
    for (int h = 0; h < 2; ++h) {
        const HalfTriangle& half = t.half[h];
        HalfPasses& p = passes[h];
        p.steps = rowDistance(half);
        p.rows = halfSteps(context, half, p.steps);
        if (p.rows.firstK > p.rows.lastK) continue;
        p.textured = p.steps > 0;
        if (p.textured) p.texture = textureRows(context, half, t.texCoords[h], p.steps, p.rows.firstK);
        p.light = lightRows(context, half, t.colours[h], p.steps, p.rows.firstK);
        SpanRegion region = spanRegionFromHalf(half);
        p.composited = region.top != region.bottom && spanWalk(context, region, p.walk);
    }
    const auto composite = [&](const HalfPasses& p, int32_t from, int32_t to) {
        SpanWalk part{};
        if (p.composited && spanWalkRows(p.walk, from, to, part)) kernel(images, part);
    };

    for (int h = 0; h < 2; ++h) {
        HalfPasses& p = passes[h];
        // Every row but M's, kSpanRows at a time.
        const int64_t lastK = std::min(p.rows.lastK, p.steps - 1);
        for (int64_t k = p.rows.firstK; k <= lastK; k += kSpanRows) {
            const int64_t endK = std::min<int64_t>(k + kSpanRows - 1, lastK);
            if (p.textured) textureRowsAt(context, t.half[h], p.rows, k, endK, p.texture);
            lightRowsAt(context, t.half[h], p.rows, k, endK, p.light);
            composite(p, rowAt(t.half[h], p.rows, k), rowAt(t.half[h], p.rows, endK));
        }
    }
    // M's row, when it lies in the image (it never lies below it): the last step of both
    // halves, each of which then has rows in the image.
    const int32_t y = t.half[0].baseY;
    if (y >= 0) {
        for (int h = 0; h < 2; ++h) {
            HalfPasses& p = passes[h];
            if (p.textured) textureRowsAt(context, t.half[h], p.rows, p.steps, p.steps, p.texture);
        }
        for (int h = 0; h < 2; ++h) {
            HalfPasses& p = passes[h];
            lightRowsAt(context, t.half[h], p.rows, p.steps, p.steps, p.light);
        }
        for (const HalfPasses& p : passes) composite(p, y, y);  // only the half below reaches it
    }
    if (mode == CompositeMode::Displace)
        for (const HalfTriangle& half : t.half) {
            SpanRegion region = spanRegionFromHalf(half);
            compositeSpans(context, context.target, context.textureLayer, region, mode);
        }
}

}  // namespace

void normaliseHalf(const RenderContext& context, HalfTriangle& half, HalfTexCoords& texCoords, HalfColours& colours) {
    const int32_t lastRow = context.height - 1;
    half.apexY = std::min(half.apexY, lastRow);
    half.baseY = std::min(half.baseY, lastRow);
    if (half.baseX2 < half.baseX1) {
        std::swap(half.baseX1, half.baseX2);
        std::swap(texCoords.end1U, texCoords.end2U);
        std::swap(texCoords.end1V, texCoords.end2V);
        std::swap(colours.end1, colours.end2);
    }
}

void rasteriseTextureHalf(RenderContext& context, const HalfTriangle& half, const HalfTexCoords& texCoords) {
    const int32_t widthPx = drawableWidth(context);
    const int64_t steps = rowDistance(half);
    if (widthPx == 0 || context.textureLayer == nullptr || !textureUsable(context) || steps == 0) return;
    const HalfSteps rows = halfSteps(context, half, steps);
    if (rows.firstK > rows.lastK) return;
    TextureRows texture = textureRows(context, half, texCoords, steps, rows.firstK);
    for (int64_t k = rows.firstK; k <= rows.lastK; k += kSpanRows)
        textureRowsAt(context, half, rows, k, std::min<int64_t>(k + kSpanRows - 1, rows.lastK), texture);
}

void rasteriseLightHalf(RenderContext& context, const HalfTriangle& half, const HalfColours& colours) {
    const int32_t widthPx = drawableWidth(context);
    if (widthPx == 0 || context.lightLayer == nullptr) return;
    const int64_t lastStep = rowDistance(half);
    const HalfSteps rows = halfSteps(context, half, lastStep);
    if (rows.firstK > rows.lastK) return;
    LightRows light = lightRows(context, half, colours, lastStep, rows.firstK);
    for (int64_t k = rows.firstK; k <= rows.lastK; k += kSpanRows)
        lightRowsAt(context, half, rows, k, std::min<int64_t>(k + kSpanRows - 1, rows.lastK), light);
}

void drawTriangle(RenderContext& context, const float* positions, const float* texCoords, const ColourWord* colours) {
    if (positions == nullptr || texCoords == nullptr || colours == nullptr) return;
    if (context.target == nullptr || context.textureLayer == nullptr || context.lightLayer == nullptr ||
        !textureUsable(context) || drawableWidth(context) == 0)
        return;
    // The host's arrays need not be aligned.
    float p[6], uv[6];
    ColourWord colour[3];
    std::memcpy(p, positions, sizeof p);
    std::memcpy(uv, texCoords, sizeof uv);
    std::memcpy(colour, colours, sizeof colour);
    TriangleHalves t;
    if (!splitTriangle(p, uv, colour, t)) return;

    for (int h = 0; h < 2; ++h) normaliseHalf(context, t.half[h], t.texCoords[h], t.colours[h]);
    if (boundImagesMeetTarget(context, false)) {
        drawHalvesPassByPass(context, t);
    } else {
        drawHalvesInOneWalk(context, t);
    }
}

}  // namespace velkano
