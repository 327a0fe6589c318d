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
struct HalfRows {
    int32_t direction;
    int64_t firstK;
    int64_t lastK;
};

HalfRows halfRows(const RenderContext& context, const HalfTriangle& half, int64_t lastStep) {
    const int64_t apexY = half.apexY, lastRow = context.height - 1;
    if (half.apexY > half.baseY) return {-1, std::max<int64_t>(0, apexY - lastRow), std::min(lastStep, apexY)};
    return {1, std::max<int64_t>(0, -apexY), std::min(lastStep, lastRow - apexY)};
}

int64_t rowDistance(const HalfTriangle& half) {
    const int64_t distance = static_cast<int64_t>(half.baseY) - half.apexY;
    return distance < 0 ? -distance : distance;
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
    const HalfRows rows = halfRows(context, half, steps);
    if (rows.firstK > rows.lastK) return;

    // Set-up in double; the reciprocal and the edge steps are binary32.
    const double inv = static_cast<float>(1.0 / static_cast<double>(steps));
    const double apexU = texCoords.apexU, apexV = texCoords.apexV;
    int32_t uLeftFx = floorToFx(apexU), vLeftFx = floorToFx(apexV);
    int32_t uRightFx = uLeftFx, vRightFx = vLeftFx;
    const int32_t uLeftStepFx = floorToFx((texCoords.end1U - apexU) * inv);
    const int32_t vLeftStepFx = floorToFx((texCoords.end1V - apexV) * inv);
    const int32_t uRightStepFx = floorToFx((texCoords.end2U - apexU) * inv);
    const int32_t vRightStepFx = floorToFx((texCoords.end2V - apexV) * inv);
    std::array<float, 2> edgeX{static_cast<float>(half.apexX), static_cast<float>(half.apexX)};
    const std::array<float, 2> edgeStep{
        static_cast<float>(static_cast<double>(static_cast<int64_t>(half.baseX1) - half.apexX) * inv),
        static_cast<float>(static_cast<double>(static_cast<int64_t>(half.baseX2) - half.apexX) * inv)};

    // Rows outside the image: integer edges jump, float edges are summed step by step.
    stepThrough(edgeX, edgeStep, rows.firstK);
    uLeftFx = wrapAdvance(uLeftFx, uLeftStepFx, rows.firstK);
    vLeftFx = wrapAdvance(vLeftFx, vLeftStepFx, rows.firstK);
    uRightFx = wrapAdvance(uRightFx, uRightStepFx, rows.firstK);
    vRightFx = wrapAdvance(vRightFx, vRightStepFx, rows.firstK);

    const TextureSpanKernel kernel = textureFitsPackedOffsets(context) ? kernels().textureSpan : textureSpanScalar;
    for (int64_t k = rows.firstK; k <= rows.lastK; ++k) {
        const auto y = static_cast<int32_t>(half.apexY + rows.direction * k);
        const int32_t xl = roundHalfEvenToInt(edgeX[0]), xr = roundHalfEvenToInt(edgeX[1]);
        if (xr > xl) {
            // Columns xl to xr, both included; the steps divide by the distance between them.
            const int32_t columns = wrapSub(xr, xl);
            const int32_t uStepFx = divideNoTrap(wrapSub(uRightFx, uLeftFx), columns);
            const int32_t vStepFx = divideNoTrap(wrapSub(vRightFx, vLeftFx), columns);
            const int32_t left = std::max(xl, 0), right = std::min(xr, widthPx - 1);
            if (left <= right) {
                const int64_t skipped = static_cast<int64_t>(left) - xl;
                kernel(context,
                       TextureSpan{context.textureLayer + pixelOffset(static_cast<size_t>(context.pitch), left, y),
                                   right - left + 1, wrapAdvance(uLeftFx, uStepFx, skipped),
                                   wrapAdvance(vLeftFx, vStepFx, skipped), uStepFx, vStepFx});
            }
        }
        uLeftFx = wrapAdd(uLeftFx, uLeftStepFx);
        vLeftFx = wrapAdd(vLeftFx, vLeftStepFx);
        uRightFx = wrapAdd(uRightFx, uRightStepFx);
        vRightFx = wrapAdd(vRightFx, vRightStepFx);
        edgeX[0] = edgeX[0] + edgeStep[0];
        edgeX[1] = edgeX[1] + edgeStep[1];
    }
}

void rasteriseLightHalf(RenderContext& context, const HalfTriangle& half, const HalfColours& colours) {
    const int32_t widthPx = drawableWidth(context);
    if (widthPx == 0 || context.lightLayer == nullptr) return;
    // n rows, and every vertical step divides by n, not by the row distance.
    const int64_t lastStep = rowDistance(half);
    const double n = static_cast<double>(lastStep + 1);
    const HalfRows rows = halfRows(context, half, lastStep);
    if (rows.firstK > rows.lastK) return;

    // Edge colours, red, green, blue of the left edge then of the right, binary32.
    std::array<float, 6> edge{}, edgeStep{};
    for (size_t c = 0; c < 3; ++c) {
        const auto channel = [&](ColourWord word) { return static_cast<float>((word >> (8 * c)) & 0xFFu); };
        const double apex = channel(colours.apex);
        edge[c] = edge[c + 3] = static_cast<float>(apex);
        edgeStep[c] = static_cast<float>((channel(colours.end1) - apex) / n);
        edgeStep[c + 3] = static_cast<float>((channel(colours.end2) - apex) / n);
    }
    stepThrough(edge, edgeStep, rows.firstK);

    const LightSpanKernel kernel = kernels().lightSpan;
    const auto apexX = static_cast<float>(half.apexX);
    const auto end1X = static_cast<float>(half.baseX1), end2X = static_cast<float>(half.baseX2);
    for (int64_t k = rows.firstK; k <= rows.lastK; ++k) {
        const auto y = static_cast<int32_t>(half.apexY + rows.direction * k);
        const auto t = static_cast<float>(static_cast<double>(k) / n);  // never reaches 1
        const int32_t xl = std::max(roundHalfEvenToInt(lerpFloat(apexX, end1X, t)), 0);
        const int32_t xr = std::min(roundHalfEvenToInt(lerpFloat(apexX, end2X, t)), widthPx - 1);
        if (xr >= xl) {
            // The divisor is the pixel count: the last pixel stops one step short of the right edge.
            const double pixels = static_cast<double>(xr - xl + 1);
            LightSpan span{context.lightLayer + pixelOffset(static_cast<size_t>(context.pitch), xl, y),
                           xr - xl + 1,
                           {edge[0], edge[1], edge[2]},
                           {}};
            for (size_t c = 0; c < 3; ++c)
                span.step[c] = static_cast<float>((static_cast<double>(edge[c + 3]) - edge[c]) / pixels);
            kernel(span);
        }
        for (size_t c = 0; c < 6; ++c) edge[c] = edge[c] + edgeStep[c];
    }
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

    for (int h = 0; h < 2; ++h) {
        normaliseHalf(context, t.half[h], t.texCoords[h], t.colours[h]);
        rasteriseTextureHalf(context, t.half[h], t.texCoords[h]);
    }
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

}  // namespace velkano
