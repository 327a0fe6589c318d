// guarded_context.h: a render context whose images and grid tables each end against a
// guard page, and the compositor's rows written out literally, for the triangle tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "context/render_context.h"
#include "guarded_bytes.h"
#include "pixel/channel_ops.h"
#include "pixel/numeric.h"
#include "raster/span_compositor.h"

namespace velkano::testing {

// The target and both layers, and optionally the two grid tables shaped as INIT shapes them
// (columns 0 to ceil(width / 16), rows 0 to height and the spare rows).
class GuardedContext {
public:
    GuardedContext(int32_t width, int32_t height, int32_t pitch, bool withGrid = false)
        : size_(static_cast<size_t>(pitch) * height), target_(size_), textureLayer_(size_), lightLayer_(size_) {
        context.target = target_.data();
        context.textureLayer = textureLayer_.data();
        context.lightLayer = lightLayer_.data();
        context.width = width;
        context.height = height;
        context.pitch = pitch;
        if (withGrid) {
            const int32_t lastColumn = alignUp(drawableWidth(context), kBlockWidth) / kBlockWidth;
            const int32_t stride = height + kGridSpareRows;
            const size_t bytes = sizeof(int32_t) * static_cast<size_t>(lastColumn + 1) * static_cast<size_t>(stride);
            gridU_ = std::make_unique<GuardedBytes>(bytes);
            gridV_ = std::make_unique<GuardedBytes>(bytes);
            context.uvGrid.u = {reinterpret_cast<int32_t*>(gridU_->data()), lastColumn, height, stride};
            context.uvGrid.v = {reinterpret_cast<int32_t*>(gridV_->data()), lastColumn, height, stride};
        }
    }
    void fill(Random& rng) {
        for (GuardedBytes* bytes : all()) rng.fill(*bytes);
    }
    void clear() {
        for (GuardedBytes* bytes : all()) std::memset(bytes->data(), 0, bytes->size());
    }
    void copyImagesFrom(const GuardedContext& other) {
        target_.copyFrom(other.target_);
        textureLayer_.copyFrom(other.textureLayer_);
        lightLayer_.copyFrom(other.lightLayer_);
        if (gridU_ && other.gridU_) gridU_->copyFrom(*other.gridU_), gridV_->copyFrom(*other.gridV_);
    }
    // "" when the images (and grid tables) are equal, otherwise the first difference.
    std::string differenceFrom(const GuardedContext& other) const {
        const struct {
            const char* name;
            const uint8_t *got, *want;
        } images[] = {{"target", target_.data(), other.target_.data()},
                      {"texture layer", textureLayer_.data(), other.textureLayer_.data()},
                      {"light layer", lightLayer_.data(), other.lightLayer_.data()}};
        for (const auto& image : images)
            for (size_t i = 0; i < size_; ++i)
                if (image.got[i] != image.want[i]) {
                    char text[160];
                    std::snprintf(text, sizeof text, "%s differs at x %zu y %zu (byte %zu): %02X, want %02X", image.name,
                                  i % context.pitch / 4, i / context.pitch, i % 4, image.got[i], image.want[i]);
                    return text;
                }
        if (gridU_ && other.gridU_ &&
            (std::memcmp(gridU_->data(), other.gridU_->data(), gridU_->size()) != 0 ||
             std::memcmp(gridV_->data(), other.gridV_->data(), gridV_->size()) != 0))
            return "grid tables differ";
        return "";
    }
    PixelWord pixel(const uint8_t* image, int32_t x, int32_t y) const {
        return loadWord(image + static_cast<size_t>(y) * context.pitch + 4 * x);
    }

    RenderContext context{};

private:
    std::vector<GuardedBytes*> all() {
        std::vector<GuardedBytes*> bytes{&target_, &textureLayer_, &lightLayer_};
        if (gridU_) bytes.insert(bytes.end(), {gridU_.get(), gridV_.get()});
        return bytes;
    }

    size_t size_;
    GuardedBytes target_, textureLayer_, lightLayer_;
    std::unique_ptr<GuardedBytes> gridU_, gridV_;
};

// The compositor as its rules read: order the region, walk rows top to bottom - 1 with
// floored 22.10 edges, combine columns floor(left) to floor(right) - 1; only pixels inside
// the image are written, and rows outside it are walked without writing.
inline void compositeLiterally(const RenderContext& c, uint8_t* destination, const uint8_t* source, SpanRegion r,
                               int32_t mode) {
    if (r.top == r.bottom) return;
    if (r.top > r.bottom) std::swap(r.top, r.bottom), std::swap(r.topLeftX, r.bottomLeftX), std::swap(r.topRightX, r.bottomRightX);
    if (r.topLeftX > r.topRightX) std::swap(r.topLeftX, r.topRightX);
    if (r.bottomLeftX > r.bottomRightX) std::swap(r.bottomLeftX, r.bottomRightX);
    const int32_t widthPx = drawableWidth(c);
    const auto at = [&](const uint8_t* image, int32_t x, int32_t y) {
        return const_cast<uint8_t*>(image) + static_cast<size_t>(y) * c.pitch + 4 * static_cast<size_t>(x);
    };
    const double rows = static_cast<double>(r.bottom) - r.top;
    const int32_t dL = floorToInt((static_cast<double>(r.bottomLeftX) - r.topLeftX) / rows * 1024);
    const int32_t dR = floorToInt((static_cast<double>(r.bottomRightX) - r.topRightX) / rows * 1024);
    int32_t left = wrapMul(r.topLeftX, 1024), right = wrapMul(r.topRightX, 1024);
    for (int32_t y = r.top; y < r.bottom; ++y, left = wrapAdd(left, dL), right = wrapAdd(right, dR)) {
        if (y < 0 || y >= c.height) continue;
        const int32_t end = std::min(shiftRightArithmetic(right, 10), widthPx);
        for (int32_t x = std::max(shiftRightArithmetic(left, 10), 0); x < end; ++x) {
            const PixelWord s = loadWord(at(source, x, y)), d = loadWord(at(destination, x, y));
            PixelWord result;
            switch (mode) {
                case 0: case 1: result = s; break;
                case 2: result = channelAddSat(s, d); break;
                case 3: result = channelAddSat(channelModulate(s, d), channelModulate(s, d)); break;
                case 4: result = channelAddSat(channelMultiply(s, d), channelMultiply(s, d)); break;
                case 6:
                    result = loadWord(at(destination, (x + ((s & 0xFF) >> 2)) % widthPx, (y + (((s >> 8) & 0xFF) >> 2)) % c.height));
                    break;
                default: return;
            }
            storeWord(at(destination, x, y), result);
        }
    }
}

}  // namespace velkano::testing
