#include "raster/span_compositor.h"

#include <algorithm>
#include <utility>

#include "pixel/channel_ops.h"
#include "pixel/numeric.h"

namespace velkano {
namespace {

template <CompositeMode Mode, bool Lit, CompositeMode Light>
void spanRowScalar(const SpanImages& images, int32_t y, int32_t x, int32_t count) {
    const size_t offset = pixelOffset(images.pitch, x, y);
    uint8_t* destination = images.destination + offset;
    const uint8_t* source = (Lit ? images.lit : images.source) + offset;
    const uint8_t* light = Lit ? images.light + offset : nullptr;
    for (int32_t i = 0; i < count; ++i, destination += 4, source += 4) {
        PixelWord s = loadWord(source);
        if constexpr (Lit) {
            const PixelWord l = loadWord(light + 4 * static_cast<size_t>(i));
            const PixelWord m = Light == CompositeMode::Modulate2x ? channelModulate(l, s) : channelMultiply(l, s);
            s = channelAddSat(m, m);
            storeWord(images.lit + offset + 4 * static_cast<size_t>(i), s);
        }
        if constexpr (Mode == CompositeMode::Replace) {
            storeWord(destination, s);
        } else if constexpr (Mode == CompositeMode::AddSat) {
            storeWord(destination, channelAddSat(s, loadWord(destination)));
        } else if constexpr (Mode == CompositeMode::Modulate2x) {
            const PixelWord m = channelModulate(s, loadWord(destination));
            storeWord(destination, channelAddSat(m, m));
        } else if constexpr (Mode == CompositeMode::Multiply2x) {
            const PixelWord m = channelMultiply(s, loadWord(destination));
            storeWord(destination, channelAddSat(m, m));
        } else {
            static_assert(Mode == CompositeMode::Displace);
            // Displacement: blue moves right, green down, 0 to 63 pixels each.
            const int32_t fromX = (x + i + static_cast<int32_t>((s & 0xFFu) >> 2)) % images.width;
            const int32_t fromY = (y + static_cast<int32_t>(((s >> 8) & 0xFFu) >> 2)) % images.height;
            storeWord(destination, loadWord(images.destination + pixelOffset(images.pitch, fromX, fromY)));
        }
    }
}

template <CompositeMode Mode, bool Lit, CompositeMode Light>
struct SpansScalar {
    static void run(const SpanImages& images, const SpanWalk& walk) {
        forEachSpan(walk, images.width,
                    [&](int32_t y, int32_t x, int32_t count) { spanRowScalar<Mode, Lit, Light>(images, y, x, count); });
    }
};

}  // namespace

constexpr SpanKernels spanKernelsScalar =
    spanKernelsOf<SpansScalar, CompositeMode::Replace, CompositeMode::AddSat, CompositeMode::Modulate2x,
                  CompositeMode::Multiply2x, CompositeMode::Displace>();

bool spanWalk(const RenderContext& context, SpanRegion& region, SpanWalk& walk) {
    normaliseSpanRegion(region);
    const double rows = static_cast<double>(region.bottom) - static_cast<double>(region.top);
    walk.leftStepFx = edgeStepFx(region.topLeftX, region.bottomLeftX, rows);
    walk.rightStepFx = edgeStepFx(region.topRightX, region.bottomRightX, rows);

    // Rows above the image are skipped; the edges there are exact integer sums.
    walk.firstRow = std::max(region.top, 0);
    walk.lastRow = std::min(region.bottom, context.height) - 1;
    const int64_t skipped = static_cast<int64_t>(walk.firstRow) - region.top;
    walk.leftFx = wrapAdvance(wrapMul(region.topLeftX, kFixedOne), walk.leftStepFx, skipped);
    walk.rightFx = wrapAdvance(wrapMul(region.topRightX, kFixedOne), walk.rightStepFx, skipped);
    return walk.firstRow <= walk.lastRow;
}

bool spanWalkRows(const SpanWalk& walk, int32_t from, int32_t to, SpanWalk& part) {
    part = walk;
    part.firstRow = std::max(std::min(from, to), walk.firstRow);
    part.lastRow = std::min(std::max(from, to), walk.lastRow);
    const int64_t skipped = static_cast<int64_t>(part.firstRow) - walk.firstRow;
    part.leftFx = wrapAdvance(walk.leftFx, walk.leftStepFx, skipped);
    part.rightFx = wrapAdvance(walk.rightFx, walk.rightStepFx, skipped);
    return part.firstRow <= part.lastRow;
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

void compositeSpans(const RenderContext& context, uint8_t* destination, const uint8_t* source, SpanRegion& region,
                    CompositeMode mode) {
    if (region.top == region.bottom) return;
    const SpanKernel kernel = kernels().spans.plain(mode);
    const int32_t widthPx = drawableWidth(context);
    SpanWalk walk{};
    if (!spanWalk(context, region, walk) || kernel == nullptr || widthPx == 0 || destination == nullptr ||
        source == nullptr)
        return;
    kernel(SpanImages{destination, source, static_cast<size_t>(context.pitch), widthPx, context.height}, walk);
}

void compositeLitSpans(const RenderContext& context, uint8_t* destination, uint8_t* texture, const uint8_t* light,
                       SpanRegion& region, CompositeMode mode) {
    const SpanKernel kernel = kernels().spans.lit(mode);
    if (kernel == nullptr) {  // the mode writes nothing: only the light
        compositeSpans(context, texture, light, region, CompositeMode::Modulate2x);
        return;
    }
    if (region.top == region.bottom) return;
    const int32_t widthPx = drawableWidth(context);
    SpanWalk walk{};
    if (!spanWalk(context, region, walk) || widthPx == 0 || destination == nullptr || texture == nullptr ||
        light == nullptr)
        return;
    kernel(
        SpanImages{destination, nullptr, static_cast<size_t>(context.pitch), widthPx, context.height, texture, light},
        walk);
}

}  // namespace velkano
