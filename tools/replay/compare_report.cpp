// compare_report.cpp: following the difference between two libraries' images through a replay.
#include "compare_report.h"

#include <utility>

#include "call_listing.h"  // wordText
#include "png_output.h"

namespace velkano::replay {

namespace {

nlohmann::ordered_json boxJson(const PixelBox& box) {
    if (box.empty()) return nullptr;
    return {{"x0", box.x0}, {"y0", box.y0}, {"x1", box.x1}, {"y1", box.y1}};
}

}  // namespace

CompareReport::CompareReport(std::string firstName, std::string secondName, std::string diffDir)
    : firstName_(std::move(firstName)), secondName_(std::move(secondName)), diffDir_(std::move(diffDir)) {}

bool CompareReport::check(const CallPlace& place, bool hostImage, const TargetImage& geometry, const uint8_t* first,
                          const uint8_t* second, Reporter& report) {
    Change step;
    step.place = place;
    step.hostImage = hostImage;
    bool found = false;
    step.change = compareImages(geometry, first, second, [&](int32_t x, int32_t y) {
        if (found) return;
        found = true;
        step.x = x;
        step.y = y;
    });
    if (found) {
        step.firstWord = pixelAt(geometry, first, step.x, step.y);
        step.secondWord = pixelAt(geometry, second, step.x, step.y);
    }
    const bool differs = step.change.pixels > 0;
    if (!hostImage) {
        ++checkedCalls_;
        if (differs) ++differingCalls_;
    }
    if (differs && place.frame != lastFrameAffected_) {
        lastFrameAffected_ = place.frame;
        ++framesAffected_;
    }
    const PixelBox& was = current_.box;
    const PixelBox& now = step.change.box;
    const bool sameBox = was.empty() == now.empty() && (now.empty() || (was.x0 == now.x0 && was.y0 == now.y0 &&
                                                                        was.x1 == now.x1 && was.y1 == now.y1));
    if (step.change.pixels == current_.pixels && sameBox) return true;
    current_ = step.change;
    changes_.push_back(step);
    if (!differs) return true;
    if (largest_ == kNone || step.change.pixels > changes_[largest_].change.pixels) largest_ = changes_.size() - 1;
    if (firstChange_ != kNone) return true;
    firstChange_ = changes_.size() - 1;
    return writeDiffImage(step, geometry, first, second, report);
}

// The first library's image in grey at a quarter of its brightness, every differing pixel in
// magenta, which no dimmed pixel can be.
bool CompareReport::writeDiffImage(const Change& at, const TargetImage& geometry, const uint8_t* first,
                                   const uint8_t* second, Reporter& report) {
    const int32_t width = drawableWidth(geometry);
    std::vector<uint8_t> rgb(3 * static_cast<size_t>(width) * static_cast<size_t>(geometry.height));
    for (int32_t y = 0; y < geometry.height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t word = pixelAt(geometry, first, x, y);
            const uint32_t sum = (word >> 16 & 0xFFu) + (word >> 8 & 0xFFu) + (word & 0xFFu);
            uint8_t* out = &rgb[3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x))];
            out[0] = out[1] = out[2] = static_cast<uint8_t>(sum / 12);
        }
    }
    compareImages(geometry, first, second, [&](int32_t x, int32_t y) {
        uint8_t* out = &rgb[3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x))];
        out[0] = 255;
        out[1] = 0;
        out[2] = 255;
    });
    char name[64];
    std::snprintf(name, sizeof name, at.hostImage ? "diff_image_after_call_%05llu.png" : "diff_call_%05llu.png",
                  static_cast<unsigned long long>(at.place.index));
    diffPath_ = diffDir_.empty() ? std::string(name) : diffDir_ + "/" + name;
    if (writeRgbPng(report, diffPath_, rgb.data(), width, geometry.height)) return true;
    diffPath_.clear();
    return false;
}

std::string CompareReport::stepText(const Change& c) {
    if (!c.hostImage) return c.place.text();
    return "frame " + std::to_string(c.place.frame) + " host image after call " + std::to_string(c.place.index) + " (" +
           std::string(trace::signature(c.place.entry).name) + ")";
}

void CompareReport::print(std::FILE* out) const {
    std::fprintf(out, "first library:  %s\nsecond library: %s\n", firstName_.c_str(), secondName_.c_str());
    if (!differ()) return;
    std::fprintf(out, "\nwhere the difference appears or changes:\n");
    for (const Change& c : changes_) {
        if (c.change.pixels == 0) {
            std::fprintf(out, "  %s: no pixel differs\n", stepText(c).c_str());
            continue;
        }
        std::fprintf(out, "  %s: %s differ, %s; first at x=%d, y=%d: %s vs %s\n", stepText(c).c_str(),
                     plural(c.change.pixels, "pixel", "pixels").c_str(), c.change.box.text().c_str(), c.x, c.y,
                     wordText(c.firstWord).c_str(), wordText(c.secondWord).c_str());
    }
    const Change& first = changes_[firstChange_];
    const Change& largest = changes_[largest_];
    std::fprintf(out, "\nfirst difference: %s\n", stepText(first).c_str());
    if (!diffPath_.empty()) std::fprintf(out, "diff image: %s\n", diffPath_.c_str());
    std::fprintf(out, "the images differ after %llu of %s that may write the target, in %s; at most %s (%s)\n",
                 static_cast<unsigned long long>(differingCalls_), plural(checkedCalls_, "call", "calls").c_str(),
                 plural(framesAffected_, "frame", "frames").c_str(),
                 plural(largest.change.pixels, "pixel", "pixels").c_str(), stepText(largest).c_str());
}

nlohmann::ordered_json CompareReport::json() const {
    const auto stepJson = [](const Change& c) {
        return nlohmann::ordered_json{{"frame", c.place.frame},
                                      {"call", c.place.index},
                                      {"entry", std::string(trace::signature(c.place.entry).name)},
                                      {"hostImage", c.hostImage}};
    };
    nlohmann::ordered_json changes = nlohmann::ordered_json::array();
    for (const Change& c : changes_) {
        nlohmann::ordered_json j = stepJson(c);
        j["pixels"] = c.change.pixels;
        j["box"] = boxJson(c.change.box);
        j["firstPixel"] =
            c.change.pixels == 0
                ? nlohmann::ordered_json(nullptr)
                : nlohmann::ordered_json{
                      {"x", c.x}, {"y", c.y}, {"first", wordText(c.firstWord)}, {"second", wordText(c.secondWord)}};
        changes.push_back(std::move(j));
    }
    nlohmann::ordered_json j{{"first", firstName_},
                             {"second", secondName_},
                             {"differ", differ()},
                             {"changes", std::move(changes)},
                             {"firstDifference", nullptr},
                             {"largest", nullptr},
                             {"checkedCalls", checkedCalls_},
                             {"differingCalls", differingCalls_},
                             {"framesAffected", framesAffected_},
                             {"diffImage", nullptr}};
    if (differ()) {
        j["firstDifference"] = stepJson(changes_[firstChange_]);
        j["largest"] = stepJson(changes_[largest_]);
        j["largest"]["pixels"] = changes_[largest_].change.pixels;
        if (!diffPath_.empty()) j["diffImage"] = diffPath_;
    }
    return j;
}

}  // namespace velkano::replay
