#include "raster/span_compositor.h"

#include <algorithm>
#include <utility>

#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "pixel/simd_level.h"

namespace velkano {
namespace {

template <int Mode>
void spanRowScalar(const SpanImages& images, int32_t y, int32_t x, int32_t count) {
    uint8_t* destination = images.destination + pixelOffset(images.pitch, x, y);
    const uint8_t* source = images.source + pixelOffset(images.pitch, x, y);
    for (int32_t i = 0; i < count; ++i, destination += 4, source += 4) {
        const PixelWord s = loadWord(source);
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

template <int Mode>
void spanKernelScalarMode(const SpanImages& images, const SpanWalk& walk) {
    forEachSpan(walk, images.width, [&](int32_t y, int32_t x, int32_t count) { spanRowScalar<Mode>(images, y, x, count); });
}

}  // namespace

SpanKernel spanKernelScalar(BlendMode mode) {
    switch (mode) {
        case 0:
        case 1: return spanKernelScalarMode<0>;
        case 2: return spanKernelScalarMode<2>;
        case 3: return spanKernelScalarMode<3>;
        case 4: return spanKernelScalarMode<4>;
        case 6: return spanKernelScalarMode<6>;
        default: return nullptr;
    }
}

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
    normaliseSpanRegion(region);
    const SpanKernel kernel = simdLevel() == SimdLevel::Scalar ? spanKernelScalar(mode) : spanKernelSse2(mode);
    const int32_t widthPx = drawableWidth(context);
    if (kernel == nullptr || widthPx == 0 || destination == nullptr || source == nullptr) return;

    const double rows = static_cast<double>(region.bottom) - static_cast<double>(region.top);
    SpanWalk walk{};
    walk.leftStepFx = edgeStepFx(region.topLeftX, region.bottomLeftX, rows);
    walk.rightStepFx = edgeStepFx(region.topRightX, region.bottomRightX, rows);

    // Rows above the image are skipped; the edges there are exact integer sums.
    walk.firstRow = std::max(region.top, 0);
    walk.lastRow = std::min(region.bottom, context.height) - 1;
    const int64_t skipped = static_cast<int64_t>(walk.firstRow) - region.top;
    walk.leftFx = wrapAdvance(wrapMul(region.topLeftX, 1 << kFixedShift), walk.leftStepFx, skipped);
    walk.rightFx = wrapAdvance(wrapMul(region.topRightX, 1 << kFixedShift), walk.rightStepFx, skipped);
    if (walk.firstRow <= walk.lastRow)
        kernel(SpanImages{destination, source, static_cast<size_t>(context.pitch), widthPx, context.height}, walk);
}

}  // namespace velkano
