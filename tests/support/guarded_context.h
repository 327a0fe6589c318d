// guarded_context.h: a render context whose images and grid tables each end against a
// guard page, for the triangle tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "context/render_context.h"
#include "guarded_bytes.h"
#include "image_difference.h"
#include "pixel/channel_ops.h"
#include "pixel/numeric.h"

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
            gridColumnBytes_ = sizeof(int32_t) * static_cast<size_t>(stride);
            const size_t bytes = gridColumnBytes_ * static_cast<size_t>(lastColumn + 1);
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
    // "" when the images and grid tables (or the images only) are equal, otherwise the first
    // difference. A grid table's rows of storage are its block columns, so its (x, y) is
    // (row, block column).
    std::string differenceFrom(const GuardedContext& other, bool withGrid = true) const {
        const size_t pitch = static_cast<size_t>(context.pitch);
        const struct {
            const char* name;
            const GuardedBytes *got, *want;
            size_t pitchBytes;
        } blocks[] = {{"target", &target_, &other.target_, pitch},
                      {"texture layer", &textureLayer_, &other.textureLayer_, pitch},
                      {"light layer", &lightLayer_, &other.lightLayer_, pitch},
                      {"U grid [row, block column]", gridU_.get(), other.gridU_.get(), gridColumnBytes_},
                      {"V grid [row, block column]", gridV_.get(), other.gridV_.get(), gridColumnBytes_}};
        for (const auto& block : blocks)
            if (block.got != nullptr && block.want != nullptr && (withGrid || block.pitchBytes != gridColumnBytes_))
                if (std::string difference = imageDifference(block.name, *block.got, *block.want, block.pitchBytes);
                    !difference.empty())
                    return difference;
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
    size_t gridColumnBytes_ = 0;
};

}  // namespace velkano::testing
