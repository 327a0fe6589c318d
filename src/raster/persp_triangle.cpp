#include "raster/persp_triangle.h"

#include <algorithm>
#include <cstring>

#include "context/texture_binding.h"
#include "raster/triangle_spans.h"
#include "raster/triangle_split.h"
#include "raster/uv_grid.h"
#include "texture/texel_fetch.h"

namespace velkano {

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

BlockWalk lightWalkOf(const LitBlockWalk& lit) {
    BlockWalk light = lit.texture;
    light.layer = lit.lightLayer;
    light.u += 2, light.v += 2, light.uStep += 2, light.vStep += 2;
    return light;
}

void litBlocksScalar(const RenderContext& context, const LitBlockWalk& walk) {
    textureBlocksScalar(context, walk.texture);
    lightmapBlocksScalar(context, lightWalkOf(walk));
}

void drawPerspectiveTriangle(RenderContext& context, const float* positions, const float* texCoords,
                             const float* lightmapCoords, const float* depths) {
    const bool lit = context.lightmap != nullptr;
    if (positions == nullptr || texCoords == nullptr || depths == nullptr || (lit && lightmapCoords == nullptr)) return;
    if (context.target == nullptr || context.textureLayer == nullptr || context.lightLayer == nullptr ||
        context.bandStorage.empty() || !textureUsable(context) || (lit && !lightmapUsable(context)) ||
        drawableWidth(context) == 0)
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
    drawPerspectiveRows(context, p, uv, lightUv, z, halves);
}

}  // namespace velkano
