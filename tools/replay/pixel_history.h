// pixel_history.h: the history of one pixel over the events of a replay (--pixel X,Y, and the
// frame debugger's pixel list): for the frames of a range, every call that changed its word,
// every host image record that changed it, every INIT that bound an image, and the calls whose
// footprint (footprint.h) holds it but left it as it was.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>

#include "options.h"
#include "replay_run.h"

namespace velkano::replay {

// The pixel's word in the current image, or nothing when it lies outside it.
struct PixelValue {
    bool inside = false;
    uint32_t word = 0;
    bool operator==(const PixelValue&) const = default;
};

class PixelHistory {
public:
    // `json` false: each finding is printed on stdout as it is made, and summary() prints the
    // last line; true: they are kept for document().
    PixelHistory(int32_t x, int32_t y, const FrameRange& frames, bool json, trace::TraceReader& reader);

    // A run that starts in the middle of a trace: the pixel's value in `image` there.
    void startFrom(const TargetImage& image);
    // Every event of the run, with lane 0's image after it. Only the one word is read after
    // each step: its value after the previous step is its value before this one.
    void step(const RunEvent& event, const TargetImage& image);
    // Once the run is over: the summary line(s) on stdout, or the JSON document.
    void summary() const;
    nlohmann::ordered_json document() const;
    // The pixel lay inside the image at some point of the range (or at its start).
    bool everInside() const { return everInside_ || start_.inside; }

private:
    enum class Kind { Init, Wrote, Covered, InBox, Host };
    void add(Kind kind, const CallPlace& place, bool hasCall, const PixelValue& before, const PixelValue& after,
             const TargetImage* image = nullptr);

    int32_t x_, y_;
    FrameRange frames_;
    bool json_;
    trace::TraceReader& reader_;
    nlohmann::ordered_json events_ = nlohmann::ordered_json::array();
    PixelValue value_, start_;
    bool started_ = false, everInside_ = false;
    uint64_t callChanges_ = 0, hostChanges_ = 0;
    bool hasLast_ = false, lastByHost_ = false;
    CallPlace last_;
};

}  // namespace velkano::replay
