#include "raster/persp_triangle.h"

#include <algorithm>
#include <cstring>

#include "context/texture_binding.h"
#include "raster/triangle_spans.h"
#include "raster/triangle_split.h"
#include "raster/uv_grid.h"
#include "texture/texel_fetch.h"

namespace velkano {

bool blockWalk(const RenderContext& context, SpanRegion& region, uint8_t* layer, BlockWalk& walk) {
    normaliseSpanRegion(region);
    if (region.top == region.bottom) return false;
    if (region.bottom >= context.height) region.bottom = context.height - 1;
    if (region.top < 0) region.top = 0;

    const GridTable& u = context.uvGrid.u;
    const GridTable& v = context.uvGrid.v;
    const int32_t widthPx = drawableWidth(context);
    if (region.top > region.bottom || layer == nullptr || widthPx == 0 || u.empty() || v.empty() ||
        u.columnStride != v.columnStride || region.bottom > std::min(u.lastRow, v.lastRow))
        return false;

    walk.layer = layer;
    walk.pitch = static_cast<size_t>(context.pitch);
    walk.widthPx = widthPx;
    // Blocks whose pixels the image reaches and whose right grid column exists.
    walk.lastBlock = std::min((widthPx - 1) / kBlockWidth, std::min(u.lastColumn, v.lastColumn) - 1);
    walk.firstRow = region.top;
    walk.lastRow = region.bottom;
    const int32_t rows = region.bottom - region.top;  // 0: only row `top` is walked
    walk.leftFx = wrapMul(region.topLeftX, kFixedOne);
    walk.rightFx = wrapMul(region.topRightX, kFixedOne);
    walk.leftStepFx = rows == 0 ? 0 : edgeStepFx(region.topLeftX, region.bottomLeftX, rows);
    walk.rightStepFx = rows == 0 ? 0 : edgeStepFx(region.topRightX, region.bottomRightX, rows);
    walk.u = u.entries;
    walk.v = v.entries;
    walk.stride = static_cast<size_t>(u.columnStride);
    return true;
}

void textureBlocksScalar(const RenderContext& context, const BlockWalk& walk) {
    forEachBlock(walk, [&](const BlockSpan& block) {
        textureSpanScalar(context,
                          TextureSpan{block.pixels, block.count, block.uFx, block.vFx, block.uStepFx, block.vStepFx});
    });
}

void lightmapBlockScalar(const RenderContext& context, const BlockSpan& span) {
    int32_t uFx = span.uFx, vFx = span.vFx;
    for (int32_t k = 0; k < span.count; ++k) {
        const int32_t x = span.x + k;
        const auto u =
            static_cast<int32_t>(shiftRightLogical(wrapAdd(uFx, lightmapSampleOffsetU(x, span.y)), kFixedShift));
        const auto v =
            static_cast<int32_t>(shiftRightLogical(wrapAdd(vFx, lightmapSampleOffsetV(x, span.y)), kFixedShift));
        storeWord(span.pixels + 4 * static_cast<size_t>(k), lightmapFetch(context, u, v));
        uFx = wrapAdd(uFx, span.uStepFx);
        vFx = wrapAdd(vFx, span.vStepFx);
    }
}

void lightmapBlocksScalar(const RenderContext& context, const BlockWalk& walk) {
    forEachBlock(walk, [&](const BlockSpan& block) { lightmapBlockScalar(context, block); });
}

void textureBlockSpans(RenderContext& context, SpanRegion& region) {
    if (!textureUsable(context)) return;
    const BlockKernel kernel = textureFitsPackedOffsets(context) ? kernels().textureBlocks : textureBlocksScalar;
    BlockWalk walk;
    if (blockWalk(context, region, context.textureLayer, walk)) kernel(context, walk);
}

void lightmapBlockSpans(RenderContext& context, SpanRegion& region) {
    if (!lightmapUsable(context)) return;
    const BlockKernel kernel = lightmapFitsPackedOffsets(context) ? kernels().lightmapBlocks : lightmapBlocksScalar;
    BlockWalk walk;
    if (blockWalk(context, region, context.lightLayer, walk)) kernel(context, walk);
}

void drawPerspectiveTriangle(RenderContext& context, const float* positions, const float* texCoords,
                             const float* lightmapCoords, const float* depths) {
    const bool lit = context.lightmap != nullptr;
    if (positions == nullptr || texCoords == nullptr || depths == nullptr || (lit && lightmapCoords == nullptr)) return;
    if (context.target == nullptr || context.textureLayer == nullptr || context.lightLayer == nullptr ||
        context.uvGrid.u.empty() || context.uvGrid.v.empty() || !textureUsable(context) ||
        (lit && !lightmapUsable(context)) || drawableWidth(context) == 0)
        return;
    // The host's arrays need not be aligned.
    float p[6], uv[6], lightUv[6], z[3];
    std::memcpy(p, positions, sizeof p);
    std::memcpy(uv, texCoords, sizeof uv);
    std::memcpy(z, depths, sizeof z);
    if (lit) std::memcpy(lightUv, lightmapCoords, sizeof lightUv);

    const TriangleCut cut = cutTriangle(p);
    if (!cutWithinFarLimit(cut)) return;
    SpanRegion halves[2];
    splitIntoSpanRegions(cut, halves[0], halves[1]);

    const auto mode = static_cast<CompositeMode>(context.blendMode);
    fillUvGrid(context, p, uv, z);
    for (SpanRegion& half : halves) textureBlockSpans(context, half);
    // The texturer leaves a half whose rows all lie outside the image with top > bottom;
    // such a half is neither lit nor composited.
    const auto inImage = [](const SpanRegion& half) { return half.top <= half.bottom; };
    if (lit) {
        fillUvGrid(context, p, lightUv, z);
        for (SpanRegion& half : halves)
            if (inImage(half)) lightmapBlockSpans(context, half);
        // The light into the texture (mode 3), then the texture into the target, one walk per
        // half. The halves' composited rows never overlap, so lighting both before writing
        // either would give the same bytes.
        for (SpanRegion& half : halves)
            if (inImage(half))
                compositeLitSpans(context, context.target, context.textureLayer, context.lightLayer, half, mode);
        return;
    }
    for (SpanRegion& half : halves)
        if (inImage(half)) compositeSpans(context, context.target, context.textureLayer, half, mode);
}

void installBlockKernels(KernelTable& table) {
    const bool packed = table.level != SimdLevel::Scalar;
    table.textureBlocks = packed ? textureBlocksSse2 : textureBlocksScalar;
    table.lightmapBlocks = packed ? lightmapBlocksSse2 : lightmapBlocksScalar;
}

}  // namespace velkano
