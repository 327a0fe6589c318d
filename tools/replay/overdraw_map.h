// overdraw_map.h: how many calls changed each pixel of a frame, summed up and drawn as a heatmap
// with its legend (--overdraw, and the frame debugger's overdraw view).
#pragma once

#include <cstdint>
#include <vector>

namespace velkano::replay {

struct OverdrawSummary {
    uint64_t total = 0;      // changes, over all pixels
    uint64_t touched = 0;    // pixels changed at least once
    uint64_t atMaximum = 0;  // pixels changed `maximum` times
    uint32_t maximum = 0;
    size_t first = 0;  // the first pixel (row after row) changed `maximum` times
};
OverdrawSummary summarizeOverdraw(const std::vector<uint32_t>& counts);

// `counts`, width x height row after row, as RGB (three bytes a pixel, red first): 0 black, 1 to
// `maximum` dark blue through green, yellow and red to white, and below it a legend strip with
// the counts at its ends. The picture's size goes into pictureWidth x pictureHeight.
std::vector<uint8_t> heatmapPicture(const std::vector<uint32_t>& counts, int32_t width, int32_t height,
                                    uint32_t maximum, int& pictureWidth, int& pictureHeight);

}  // namespace velkano::replay
