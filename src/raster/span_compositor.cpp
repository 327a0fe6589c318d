#include "raster/span_compositor.h"

#include <algorithm>
#include <utility>

#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "pixel/simd_level.h"

namespace velkano {
namespace {

template <int Mode, bool Lit>
void spanRowScalar(const SpanImages& images, int32_t y, int32_t x, int32_t count) {
    const size_t offset = pixelOffset(images.pitch, x, y);
    uint8_t* destination = images.destination + offset;
    const uint8_t* source = (Lit ? images.lit : images.source) + offset;
    const uint8_t* light = Lit ? images.light + offset : nullptr;
    for (int32_t i = 0; i < count; ++i, destination += 4, source += 4) {
        PixelWord s = loadWord(source);
        if constexpr (Lit) {
            const PixelWord m = channelModulate(loadWord(light + 4 * static_cast<size_t>(i)), s);
            s = channelAddSat(m, m);
            storeWord(images.lit + offset + 4 * static_cast<size_t>(i), s);
        }
        if constexpr (Mode == 0) {
            storeWord(destination, s);
        } else if constexpr (Mode == 2) {
            storeWord(destination, channelAddSat(s, loadWord(destination)));
        } else if constexpr (Mode == 3) {
            const PixelWord m = channelModulate(s, loadWord(destination));
            storeWord(destination, channelAddSat(m, m));
        } else if constexpr (Mode == 4) {
            const PixelWord m = channelMultiply(s, loadWord(destination));
            storeWord(destination, channelAddSat(m, m));
        } else {
            // Displacement: blue moves right, green down, 0 to 63 pixels each.
            const int32_t fromX = (x + i + static_cast<int32_t>((s & 0xFFu) >> 2)) % images.width;
            const int32_t fromY = (y + static_cast<int32_t>(((s >> 8) & 0xFFu) >> 2)) % images.height;
            storeWord(destination, loadWord(images.destination + pixelOffset(images.pitch, fromX, fromY)));
        }
    }
}

template <int Mode, bool Lit>
void spanKernelScalarMode(const SpanImages& images, const SpanWalk& walk) {
    forEachSpan(walk, images.width, [&](int32_t y, int32_t x, int32_t count) { spanRowScalar<Mode, Lit>(images, y, x, count); });
}

template <bool Lit>
SpanKernel scalarKernel(BlendMode mode) {
    switch (mode) {
        case 0:
        case 1: return spanKernelScalarMode<0, Lit>;
        case 2: return spanKernelScalarMode<2, Lit>;
        case 3: return spanKernelScalarMode<3, Lit>;
        case 4: return spanKernelScalarMode<4, Lit>;
        case 6: return spanKernelScalarMode<6, Lit>;
        default: return nullptr;
    }
}

// The walk of a region inside the image, or false when none of its rows lies there.
bool spanWalk(const RenderContext& context, SpanRegion& region, SpanWalk& walk) {
    normaliseSpanRegion(region);
    const double rows = static_cast<double>(region.bottom) - static_cast<double>(region.top);
    walk.leftStepFx = edgeStepFx(region.topLeftX, region.bottomLeftX, rows);
    walk.rightStepFx = edgeStepFx(region.topRightX, region.bottomRightX, rows);

    // Rows above the image are skipped; the edges there are exact integer sums.
    walk.firstRow = std::max(region.top, 0);
    walk.lastRow = std::min(region.bottom, context.height) - 1;
    const int64_t skipped = static_cast<int64_t>(walk.firstRow) - region.top;
    walk.leftFx = wrapAdvance(wrapMul(region.topLeftX, 1 << kFixedShift), walk.leftStepFx, skipped);
    walk.rightFx = wrapAdvance(wrapMul(region.topRightX, 1 << kFixedShift), walk.rightStepFx, skipped);
    return walk.firstRow <= walk.lastRow;
}

}  // namespace

SpanKernel spanKernelScalar(BlendMode mode) { return scalarKernel<false>(mode); }
SpanKernel litSpanKernelScalar(BlendMode mode) { return scalarKernel<true>(mode); }

void normaliseSpanRegion(SpanRegion& region) {
    if (region.top > region.bottom) {
        std::swap(region.top, region.bottom);
        std::swap(region.topLeftX, region.bottomLeftX);
        std::swap(region.topRightX, region.bottomRightX);
    }
    if (region.topLeftX > region.topRightX) std::swap(region.topLeftX, region.topRightX);
    if (region.bottomLeftX > region.bottomRightX) std::swap(region.bottomLeftX, region.bottomRightX);
}

void compositeSpans(const RenderContext& context, uint8_t* destination, const uint8_t* source,
                    SpanRegion& region, BlendMode mode) {
    if (region.top == region.bottom) return;
    const SpanKernel kernel = simdLevel() == SimdLevel::Scalar ? spanKernelScalar(mode) : spanKernelSse2(mode);
    const int32_t widthPx = drawableWidth(context);
    SpanWalk walk{};
    if (!spanWalk(context, region, walk) || kernel == nullptr || widthPx == 0 || destination == nullptr || source == nullptr)
        return;
    kernel(SpanImages{destination, source, static_cast<size_t>(context.pitch), widthPx, context.height}, walk);
}

void compositeLitSpans(const RenderContext& context, uint8_t* destination, uint8_t* texture, const uint8_t* light,
                       SpanRegion& region, BlendMode mode) {
    const SpanKernel kernel = simdLevel() == SimdLevel::Scalar ? litSpanKernelScalar(mode) : litSpanKernelSse2(mode);
    if (kernel == nullptr) {  // the mode writes nothing: only the light
        compositeSpans(context, texture, light, region, 3);
        return;
    }
    if (region.top == region.bottom) return;
    const int32_t widthPx = drawableWidth(context);
    SpanWalk walk{};
    if (!spanWalk(context, region, walk) || widthPx == 0 || destination == nullptr || texture == nullptr || light == nullptr)
        return;
    kernel(SpanImages{destination, nullptr, static_cast<size_t>(context.pitch), widthPx, context.height, texture, light}, walk);
}

}  // namespace velkano
