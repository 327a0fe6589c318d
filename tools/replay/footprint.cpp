// footprint.cpp: the area a call may write, from its arguments (footprint.h says what each is).
#include "footprint.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velkano::replay {
namespace {

using trace::EntryPoint;

// The library draws nothing at a rounded position beyond this, or at NaN or infinity.
constexpr double kFarLimit = 1048576.0;
// A triangle with a vertex further than this outside the image may stray from its box.
constexpr double kNearMargin = 1024.0;

// Rounded to nearest, ties to even (the default rounding mode), as the library rounds
// positions; false beyond the far limit.
bool roundNear(double v, double& rounded) {
    rounded = std::nearbyint(v);
    return rounded >= -kFarLimit && rounded <= kFarLimit;  // false for NaN
}

// first..last (within the far limit) clipped to 0..size - 1; false when nothing remains.
bool clip(double first, double last, int32_t size, int32_t& from, int32_t& to) {
    if (last < 0 || first > size - 1.0 || last < first) return false;
    from = static_cast<int32_t>(std::max(first, 0.0));
    to = static_cast<int32_t>(std::min(last, size - 1.0));
    return true;
}

PixelBox clippedBox(double x0, double x1, double y0, double y1, int32_t width, int32_t height) {
    PixelBox box;
    if (!clip(x0, x1, width, box.x0, box.x1) || !clip(y0, y1, height, box.y0, box.y1)) return PixelBox{};
    return box;
}

}  // namespace

PixelBox tileBox(float x, float y, float w, float h, int32_t width, int32_t height) {
    // The library adds in double: round(x + w) is not round(float(x + w)).
    double x0, x1, y0, y1;
    if (!roundNear(x, x0) || !roundNear(double{x} + w, x1) || !roundNear(y, y0) || !roundNear(double{y} + h, y1))
        return PixelBox{};
    return clippedBox(x0, x1, y0, y1, width, height);
}

PixelBox triangleBox(const float positions[6], int32_t width, int32_t height) {
    double low[2] = {kFarLimit, kFarLimit}, high[2] = {-kFarLimit, -kFarLimit};
    bool far = false;
    for (int i = 0; i < 6; ++i) {
        double rounded;
        if (!roundNear(positions[i], rounded)) return PixelBox{};
        const int32_t size = i % 2 == 0 ? width : height;
        far = far || rounded < -kNearMargin || rounded > size + kNearMargin;
        low[i % 2] = std::min(low[i % 2], std::floor(double{positions[i]}));
        high[i % 2] = std::max(high[i % 2], std::ceil(double{positions[i]}));
    }
    // The edges are float sums down the rows, from the apex even when it lies outside the image:
    // a column of slack on each side, and every column once they come from far away.
    low[0] = far ? -kFarLimit : low[0] - 1;
    high[0] = far ? kFarLimit : high[0] + 1;
    return clippedBox(low[0], high[0], low[1], high[1], width, height);
}

Footprint flashFootprint(EntryPoint entry, const TargetImage& image) {
    Footprint f;
    const int32_t width = drawableWidth(image);
    if (width == 0 || image.height <= 0) return f;
    f.kind = Footprint::Kind::Area;
    f.box = PixelBox{0, 0, width - 1, image.height - 1};
    f.pitch = image.pitch;
    const uint64_t block = static_cast<uint64_t>(image.pitch) * static_cast<uint64_t>(image.height);
    f.blockBytes = entry == EntryPoint::FlashMod ? block : block / 8 * 8;
    return f;
}

Footprint callFootprint(const trace::Call& call, const TargetImage& image, trace::TraceReader& reader) {
    Footprint f;
    const int32_t width = drawableWidth(image);
    if (width == 0) return f;
    const auto argFloat = [&](size_t i) { return trace::argFloat(call, i); };
    switch (call.entry) {
        case EntryPoint::FlashAdd:
        case EntryPoint::FlashSub:
        case EntryPoint::FlashMod: return flashFootprint(call.entry, image);
        case EntryPoint::DrawTile:
            f.kind = Footprint::Kind::Area;
            f.box = tileBox(argFloat(0), argFloat(1), argFloat(2), argFloat(3), width, image.height);
            return f;
        case EntryPoint::DrawTri:
        case EntryPoint::DrawPerspTri: {
            if (call.args[0] == 0) return f;  // null positions: nothing drawn
            float positions[6] = {};
            const trace::Ref& ref = call.reads[0];
            if (ref.state == trace::RefState::Content) {
                const std::vector<uint8_t>* content = reader.content(ref.hash);
                if (content && content->size() == sizeof positions)
                    std::memcpy(positions, content->data(), sizeof positions);
            }
            f.kind = Footprint::Kind::Box;
            f.box = triangleBox(positions, width, image.height);
            return f;
        }
        default: return f;
    }
}

}  // namespace velkano::replay
