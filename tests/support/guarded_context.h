// guarded_context.h: a render context whose images and band storage each end against a
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

// The target and both layers, and optionally the band storage sized as INIT sizes it (grid
// columns 0 to ceil(width / 16)).
class GuardedContext {
public:
    GuardedContext(int32_t width, int32_t height, int32_t pitch, bool withBands = false)
        : size_(static_cast<size_t>(pitch) * height), target_(size_), textureLayer_(size_), lightLayer_(size_) {
        context.target = target_.data();
        context.textureLayer = textureLayer_.data();
        context.lightLayer = lightLayer_.data();
        context.width = width;
        context.height = height;
        context.pitch = pitch;
        if (withBands) {
            const int32_t columns = alignUp(drawableWidth(context), kBlockWidth) / kBlockWidth + 1;
            bandColumnBytes_ = sizeof(int32_t) * kBandRowsPerSet * kBandSets;
            bands_ = std::make_unique<GuardedBytes>(bandColumnBytes_ * static_cast<size_t>(columns));
            context.bandStorage = {reinterpret_cast<int32_t*>(bands_->data()), columns};
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
        if (bands_ && other.bands_) bands_->copyFrom(*other.bands_);
    }
    // "" when the images and band storage (or the images only) are equal, otherwise the first
    // difference. The band storage's rows are its grid columns, so its (x, y) is (entry, grid
    // column).
    std::string differenceFrom(const GuardedContext& other, bool withBands = true) const {
        const size_t pitch = static_cast<size_t>(context.pitch);
        const struct {
            const char* name;
            const GuardedBytes *got, *want;
            size_t pitchBytes;
        } blocks[] = {{"target", &target_, &other.target_, pitch},
                      {"texture layer", &textureLayer_, &other.textureLayer_, pitch},
                      {"light layer", &lightLayer_, &other.lightLayer_, pitch},
                      {"band storage [entry, grid column]", bands_.get(), other.bands_.get(), bandColumnBytes_}};
        for (const auto& block : blocks)
            if (block.got != nullptr && block.want != nullptr && (withBands || block.got != bands_.get()))
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
        if (bands_) bytes.push_back(bands_.get());
        return bytes;
    }

    size_t size_;
    GuardedBytes target_, textureLayer_, lightLayer_;
    std::unique_ptr<GuardedBytes> bands_;
    size_t bandColumnBytes_ = 0;
};

}  // namespace velkano::testing
