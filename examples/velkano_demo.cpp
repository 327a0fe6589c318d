// velkano_demo: a host program driving every Velkano entry point. It owns a 320 x 240 image
// with padded rows; each frame the library draws a walk down a lit brick corridor in
// perspective (DRAWPERSPTRI with lightmaps, demo_room.cpp), a spinning crate with lit corners
// (DRAWTRI), the heat shimmer in front of a furnace (DRAWTRI, displacement), lamp glows, a
// shadow and a HUD (DRAWTILE), then whole-image effects (FLASHMOD, FLASHADD, FLASHSUB: fade
// in, a hit, a brownout, fade out); demo_animation.cpp draws the frames. Every frame is saved
// as a PNG, and at the end a contact sheet of all frames.
//
// Usage: velkano_demo [output-dir]   (default: demo-frames)
#include "demo_animation.h"
#include "demo_api.h"
#include "demo_scene.h"
#include "png_writer.h"
#include "velkano.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace demo;
using velkano::tools::writePng;

// All frames side by side, kSheetColumns to a row, each shrunk to half size (every 2 x 2
// pixels averaged) and separated by a dark gap.
constexpr int kSheetColumns = 6, kThumbWidth = kWidth / 2, kThumbHeight = kHeight / 2, kGap = 4;

class ContactSheet {
public:
    explicit ContactSheet(int frames)
        : rows_((frames + kSheetColumns - 1) / kSheetColumns), width_(kSheetColumns * (kThumbWidth + kGap) + kGap),
          height_(rows_ * (kThumbHeight + kGap) + kGap), pixels_(static_cast<size_t>(width_) * height_, 0x00202020) {}

    void add(const Image& image) {
        const int left = kGap + added_ % kSheetColumns * (kThumbWidth + kGap),
                  top = kGap + added_ / kSheetColumns * (kThumbHeight + kGap);
        for (int y = 0; y < kThumbHeight; ++y)
            for (int x = 0; x < kThumbWidth; ++x) {
                std::uint32_t sum = 0;
                for (int lane = 0; lane < 24; lane += 8) {
                    const auto channel = [&](int dx, int dy) {
                        return image.at(2 * x + dx, 2 * y + dy) >> lane & 0xFF;
                    };
                    sum |= (channel(0, 0) + channel(1, 0) + channel(0, 1) + channel(1, 1) + 2) / 4 << lane;
                }
                pixels_[static_cast<size_t>(top + y) * width_ + left + x] = sum;
            }
        ++added_;
    }
    bool write(const std::string& path) const { return writePng(path, pixels_.data(), width_, height_, width_ * 4); }

private:
    int rows_, width_, height_, added_ = 0;
    std::vector<std::uint32_t> pixels_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [output-dir]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path outDir = argc > 1 ? argv[1] : "demo-frames";
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", outDir.string().c_str(), ec.message().c_str());
        return 1;
    }

    // The linked library's entry points; a host loading the library at run time would look
    // each one up instead.
    const DemoApi api = {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_LINKED)};
    Image image;
    Animation animation(api);
    ContactSheet sheet(Animation::frameCount());
    api.init(image.words.data(), kWidth, kHeight, kPitch);
    for (int frame = 0; frame < Animation::frameCount(); ++frame) {
        animation.drawFrame(frame, image);
        api.pause(1);  // stands in for a real host's frame pacing

        char name[32];
        std::snprintf(name, sizeof name, "frame_%02d.png", frame);
        const std::string path = (outDir / name).string();
        if (!writePng(path, image.words.data(), kWidth, kHeight, kPitch)) {
            api.unload();
            return 1;
        }
        std::printf("%s\n", path.c_str());
        sheet.add(image);
    }
    api.unload();
    const std::string sheetPath = (outDir / "contact_sheet.png").string();
    if (!sheet.write(sheetPath)) return 1;
    std::printf("%s\n", sheetPath.c_str());
    return 0;
}
