// mode_overdraw.cpp: --overdraw DIR: for each frame of --frames, how many calls changed each
// pixel (the run measures every flash and draw: a pixel counts once per call after which its
// word differs), written as a heatmap DIR/overdraw_NNNNN.png with a legend below the image, and
// summed up on stdout. Host image records are not draw calls: what the host wrote is not
// counted.
#include <algorithm>
#include <cstdio>

#include "modes.h"
#include "overdraw_map.h"
#include "png_output.h"
#include "replay_run.h"

namespace velkano::replay {
namespace {

using trace::EntryPoint;

struct Rgb {
    uint8_t r, g, b;
};
constexpr Rgb kBlack{0, 0, 0}, kLegendBackground{48, 48, 48}, kLegendText{230, 230, 230};

// 0 is black; 1 to `maximum` run from dark blue through cyan-blue, green, yellow and red to white.
Rgb heatColour(uint32_t count, uint32_t maximum) {
    static constexpr Rgb kStops[] = {{0, 0, 160},   {0, 128, 255}, {0, 200, 0},
                                     {255, 230, 0}, {255, 0, 0},   {255, 255, 255}};
    constexpr int kLast = static_cast<int>(std::size(kStops)) - 1;
    if (count == 0) return kBlack;
    const double t = maximum > 1 ? static_cast<double>(count - 1) / (maximum - 1) * kLast : kLast;
    const int i = std::min(static_cast<int>(t), kLast - 1);
    const double f = t - i;
    const auto mix = [&](uint8_t a, uint8_t b) { return static_cast<uint8_t>(a + (b - a) * f + 0.5); };
    return {mix(kStops[i].r, kStops[i + 1].r), mix(kStops[i].g, kStops[i + 1].g), mix(kStops[i].b, kStops[i + 1].b)};
}

// Digits 5 x 7, a row a byte, the leftmost column in bit 4.
constexpr uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};
constexpr int kDigitWidth = 5, kDigitHeight = 7, kDigitAdvance = 6;
// The legend below the image: a gap, the strip, a gap, the counts at the strip's ends, a gap.
constexpr int kStripTop = 3, kStripRows = 6, kTextTop = kStripTop + kStripRows + 2;
constexpr int kLegendRows = kTextTop + kDigitHeight + 2;  // 20
constexpr int kMargin = 2;

class Picture {
public:
    Picture(int width, int height) : width_(width), rgb_(static_cast<size_t>(width) * height * 3) {}
    void set(int x, int y, Rgb c) {
        uint8_t* p = &rgb_[(static_cast<size_t>(y) * width_ + x) * 3];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
    void text(int x, int y, const std::string& digits) {
        for (char d : digits) {
            for (int row = 0; row < kDigitHeight; ++row)
                for (int col = 0; col < kDigitWidth; ++col)
                    if (kDigits[d - '0'][row] >> (kDigitWidth - 1 - col) & 1) set(x + col, y + row, kLegendText);
            x += kDigitAdvance;
        }
    }
    std::vector<uint8_t> take() { return std::move(rgb_); }

private:
    int width_;
    std::vector<uint8_t> rgb_;
};

int textWidth(const std::string& digits) { return static_cast<int>(digits.size()) * kDigitAdvance - 1; }

// "0.217": n / d in thousandths, rounded half up, in integers (the same text in both builds).
std::string ratioText(uint64_t n, uint64_t d) {
    if (d == 0) return "0.000";
    const uint64_t milli = (n * 2000 + d) / (2 * d);
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%03llu", static_cast<unsigned long long>(milli / 1000),
                  static_cast<unsigned long long>(milli % 1000));
    return text;
}

class Overdraw {
public:
    explicit Overdraw(const ModeInput& input) : input_(input), options_(input.options) {}
    int run(const LibraryTable& library);

private:
    bool finishFrame(uint64_t frame, bool unfinished);
    bool writeHeatmap(const std::string& path, uint32_t maximum) const;

    const ModeInput& input_;
    const Options& options_;
    int32_t width_ = 0, height_ = 0;  // the counted image's drawable size
    std::vector<uint32_t> counts_;
    uint64_t changingCalls_ = 0, hostRecords_ = 0;
    bool drawsInFrame_ = false, rebound_ = false;
};

}  // namespace

OverdrawSummary summarizeOverdraw(const std::vector<uint32_t>& counts) {
    OverdrawSummary o;
    for (size_t i = 0; i < counts.size(); ++i) {
        const uint32_t n = counts[i];
        o.total += n;
        o.touched += n > 0;
        if (n > o.maximum) {
            o.maximum = n;
            o.first = i;
            o.atMaximum = 0;
        }
        o.atMaximum += n == o.maximum;
    }
    return o;
}

std::vector<uint8_t> heatmapPicture(const std::vector<uint32_t>& counts, int32_t width, int32_t height,
                                    uint32_t maximum, int& pictureWidth, int& pictureHeight) {
    const std::string low = "0", high = std::to_string(maximum);
    pictureWidth = std::max({width, 2 * kMargin + textWidth(low) + 8 + textWidth(high), 32});
    pictureHeight = height + kLegendRows;
    Picture picture(pictureWidth, pictureHeight);
    for (int y = 0; y < pictureHeight; ++y)
        for (int x = 0; x < pictureWidth; ++x)
            picture.set(x, y,
                        y < height && x < width ? heatColour(counts[static_cast<size_t>(y) * width + x], maximum)
                                                : kLegendBackground);
    // The strip: count 0 at its left end to the maximum at its right, in equal steps.
    const int stripWidth = pictureWidth - 2 * kMargin;
    for (int i = 0; i < stripWidth; ++i) {
        const uint64_t count =
            std::min<uint64_t>(uint64_t{maximum}, static_cast<uint64_t>(i) * (uint64_t{maximum} + 1) / stripWidth);
        const Rgb c = heatColour(static_cast<uint32_t>(count), maximum);
        for (int row = 0; row < kStripRows; ++row) picture.set(kMargin + i, height + kStripTop + row, c);
    }
    picture.text(kMargin, height + kTextTop, low);
    picture.text(pictureWidth - kMargin - textWidth(high), height + kTextTop, high);
    return picture.take();
}

namespace {

bool Overdraw::writeHeatmap(const std::string& path, uint32_t maximum) const {
    int width = 0, height = 0;
    const std::vector<uint8_t> rgb = heatmapPicture(counts_, width_, height_, maximum, width, height);
    return writeRgbPng(input_.report, path, rgb.data(), width, height);
}

bool Overdraw::finishFrame(uint64_t frame, bool unfinished) {
    std::string line = "frame " + std::to_string(frame) + (unfinished ? " (unfinished)" : "") + ": ";
    if (counts_.empty()) {
        std::printf("%sno image\n", line.c_str());
    } else {
        const auto [total, touched, atMaximum, maximum, first] = summarizeOverdraw(counts_);
        char name[40];
        std::snprintf(name, sizeof name, "overdraw_%05llu.png", static_cast<unsigned long long>(frame));
        const std::string path = options_.overdrawDir + "/" + name;
        if (!writeHeatmap(path, maximum)) return false;
        const uint64_t pixels = counts_.size();
        line += plural(total, "change", "changes") + " by " + plural(changingCalls_, "call", "calls") + "; mean " +
                ratioText(total, pixels) + " per pixel over the " + std::to_string(width_) + " x " +
                std::to_string(height_) + " image (" + std::to_string(pixels) + " pixels), " +
                ratioText(total, touched) + " over the " + plural(touched, "pixel", "pixels") +
                " changed at least once; maximum " + std::to_string(maximum);
        if (maximum > 0)
            line += " at (" + std::to_string(first % width_) + ", " + std::to_string(first / width_) + ")" +
                    (atMaximum > 1 ? " and " + plural(atMaximum - 1, "other pixel", "other pixels") : "");
        if (rebound_) line += "; counted from the frame's last INIT of a new size";
        std::printf("%s -> %s\n", line.c_str(), path.c_str());
    }
    std::fill(counts_.begin(), counts_.end(), 0u);
    changingCalls_ = 0;
    drawsInFrame_ = rebound_ = false;
    return true;
}

int Overdraw::run(const LibraryTable& library) {
    const FrameRange& frames = options_.frames;
    RunSettings settings;
    settings.libraries.push_back(&library);
    settings.measure = true;
    settings.frames = frames;
    ReplayRun run(input_.reader, input_.report, settings);

    RunEvent event;
    bool failed = false;
    while (!failed && run.next(event)) {
        const bool inRange = frames.contains(event.place.frame);
        if (event.kind == RunEvent::Kind::Image) {
            hostRecords_ += inRange && event.change.pixels > 0;
            continue;
        }
        if (event.kind != RunEvent::Kind::Call) continue;
        const TargetImage& image = run.lane(0).target();
        const EntryPoint entry = event.record->call.entry;
        if (entry == EntryPoint::Init) {
            const int32_t width = drawableWidth(image), height = width > 0 ? image.height : 0;
            if (width != width_ || height != height_) {
                width_ = width;
                height_ = height;
                counts_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
                rebound_ = drawsInFrame_;
            }
        }
        if (!inRange) continue;
        if (event.measured) {
            drawsInFrame_ = true;
            if (event.change.pixels > 0 && !counts_.empty()) {
                ++changingCalls_;
                const int32_t width = width_;
                compareImages(image, event.before, image.data,
                              [&](int32_t x, int32_t y) { ++counts_[static_cast<size_t>(y) * width + x]; });
            }
        }
        if (entry == EntryPoint::EndUpdate) failed = !finishFrame(event.place.frame, false);
    }
    if (failed) {
        run.stop();
        run.finish();
        return 2;
    }
    // A trace cut short still gets its unfinished last frame and the summing up.
    const int status = run.finish();
    if (status != 0 && !run.endedEarly()) return status;
    // Draws after the last ENDUPDATE make an unfinished last frame.
    if (drawsInFrame_ && frames.contains(run.frame()) && !finishFrame(run.frame(), true)) return 2;
    std::printf("host image records are not draw calls: what the host wrote is not counted (%s in these frames)\n",
                plural(hostRecords_, "record changed the image", "records changed the image").c_str());
    return status;
}

}  // namespace

int runOverdraw(const ModeInput& input) {
    const auto library = input.openLibrary(input.options.libraryPath);
    if (!library) return 2;
    return Overdraw(input).run(library->table());
}

}  // namespace velkano::replay
