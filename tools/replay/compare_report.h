// compare_report.h: two libraries side by side (--compare): after every step that may write the
// target (INIT, the flashes and draws, and the host's own image records) the pixels whose words
// differ between the two images, and where. Lists the steps where the difference appears or
// changes (its count or its box), writes a picture of the first difference, and sums it up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "replay_run.h"

namespace velkano::replay {

class CompareReport {
public:
    // `diffDir`: where the picture of the first difference goes (empty: the current folder).
    CompareReport(std::string firstName, std::string secondName, std::string diffDir);

    // After a call (`hostImage` false) or a host image record (`place` is then the last call
    // before it): compares the two images, laid out like `geometry`. False when the picture of
    // the first difference cannot be written (reported).
    bool check(const CallPlace& place, bool hostImage, const TargetImage& geometry, const uint8_t* first,
               const uint8_t* second, Reporter& report);

    bool differ() const { return firstChange_ != kNone; }
    void print(std::FILE* out) const;
    nlohmann::ordered_json json() const;

private:
    // A step after which the difference appeared or changed.
    struct Change {
        CallPlace place;
        bool hostImage = false;
        ImageChange change;
        int32_t x = 0, y = 0;  // the first differing pixel, row by row, and its two words
        uint32_t firstWord = 0, secondWord = 0;
    };
    static constexpr size_t kNone = SIZE_MAX;

    bool writeDiffImage(const Change& at, const TargetImage& geometry, const uint8_t* first, const uint8_t* second,
                        Reporter& report);
    static std::string stepText(const Change& c);

    std::string firstName_, secondName_, diffDir_, diffPath_;
    std::vector<Change> changes_;
    ImageChange current_;         // the difference after the last step
    size_t firstChange_ = kNone;  // the first change with pixels that differ
    size_t largest_ = kNone;      // the change with the most
    uint64_t checkedCalls_ = 0, differingCalls_ = 0, framesAffected_ = 0;
    uint64_t lastFrameAffected_ = UINT64_MAX;
};

}  // namespace velkano::replay
