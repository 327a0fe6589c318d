// mode_pixel.cpp: --pixel X,Y: the history of one pixel. Replays the trace (up to the last
// frame of --frames) and, for the frames of the range, lists every call that changed the word
// of pixel (X, Y) with its value before and after, every host image record that changed it,
// every INIT that bound an image (with the pixel's value then, or that it lies outside), and
// the calls whose footprint (footprint.h) holds the pixel but that left it as it was. Only the
// one word is read before and after each step: its value after the previous step is its value
// before this one.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "pixel_history.h"

#include "call_listing.h"  // wordText
#include "footprint.h"
#include "modes.h"

namespace velkano::replay {
namespace {

using trace::EntryPoint;

PixelValue readPixel(const TargetImage& image, int32_t x, int32_t y) {
    if (x >= drawableWidth(image) || y >= image.height) return {};
    return {true, pixelAt(image, image.data, x, y)};
}

// "0x00bf0f0f (191, 15, 15)", or "outside the image".
std::string valueText(const PixelValue& v) {
    if (!v.inside) return "outside the image";
    return wordText(v.word) + " (" + std::to_string(v.word >> 16 & 0xFF) + ", " + std::to_string(v.word >> 8 & 0xFF) +
           ", " + std::to_string(v.word & 0xFF) + ")";
}

nlohmann::ordered_json valueJson(const PixelValue& v) {
    return v.inside ? nlohmann::ordered_json(wordText(v.word)) : nlohmann::ordered_json();
}

}  // namespace

void PixelHistory::add(Kind kind, const CallPlace& place, bool hasCall, const PixelValue& before,
                       const PixelValue& after, const TargetImage* image) {
    if (after.inside) everInside_ = true;
    if (kind == Kind::Wrote || kind == Kind::Host) {
        ++(kind == Kind::Host ? hostChanges_ : callChanges_);
        hasLast_ = true;
        lastByHost_ = kind == Kind::Host;
        last_ = place;
    }
    if (!json_) {
        std::string line;
        if (kind == Kind::Host) {
            line = "frame " + std::to_string(place.frame) + " " +
                   (hasCall ? "after call " + std::to_string(place.index) + " (" +
                                  std::string(trace::signature(place.entry).name) + ")"
                            : std::string("before the first call"));
        } else {
            line = place.text();
        }
        line += " offset " + std::to_string(place.offset) + ": ";
        switch (kind) {
            case Kind::Init:
                line += "bound a " + std::to_string(image->width) + " x " + std::to_string(image->height) + " image; " +
                        (after.inside ? "the pixel holds " + valueText(after) : "the pixel lies outside it");
                break;
            case Kind::Wrote: line += "wrote " + valueText(before) + " -> " + valueText(after); break;
            case Kind::Covered: line += "covered it, unchanged: " + valueText(after); break;
            case Kind::InBox: line += "inside the triangle's box, unchanged: " + valueText(after); break;
            case Kind::Host: line += "the host wrote " + valueText(before) + " -> " + valueText(after); break;
        }
        std::printf("%s\n", line.c_str());
        return;
    }
    static constexpr const char* kKinds[] = {"init", "wrote", "covered", "inTriangleBox", "host"};
    nlohmann::ordered_json e = {{"frame", place.frame}};
    if (kind == Kind::Host) {
        e["afterCall"] = hasCall ? nlohmann::ordered_json(place.index) : nlohmann::ordered_json();
    } else {
        e["call"] = place.index;
        e["entry"] = std::string(trace::signature(place.entry).name);
    }
    e["offset"] = place.offset;
    e["kind"] = kKinds[static_cast<int>(kind)];
    if (kind == Kind::Init) {
        e["width"] = image->width;
        e["height"] = image->height;
        e["inside"] = after.inside;
        e["value"] = valueJson(after);
    } else if (kind == Kind::Wrote || kind == Kind::Host) {
        e["before"] = valueJson(before);
        e["after"] = valueJson(after);
    } else {
        e["value"] = valueJson(after);
    }
    events_.push_back(std::move(e));
}

PixelHistory::PixelHistory(int32_t x, int32_t y, const FrameRange& frames, bool json, trace::TraceReader& reader)
    : x_(x), y_(y), frames_(frames), json_(json), reader_(reader) {}

void PixelHistory::startFrom(const TargetImage& image) { value_ = readPixel(image, x_, y_); }

void PixelHistory::step(const RunEvent& event, const TargetImage& image) {
    if (event.kind != RunEvent::Kind::Call && event.kind != RunEvent::Kind::Image) return;
    // The range is over: a host image after its last ENDUPDATE belongs to the next frame.
    if (event.place.frame > frames_.last) return;
    const bool inRange = frames_.contains(event.place.frame);
    if (inRange && !started_) {
        started_ = true;
        start_ = value_;
        if (!json_)
            std::printf("before frame %llu: %s\n", static_cast<unsigned long long>(event.place.frame),
                        value_.inside ? valueText(value_).c_str() : "outside the image (or no image bound)");
    }
    const PixelValue now = readPixel(image, x_, y_);
    if (inRange) {
        if (event.kind == RunEvent::Kind::Image) {
            // The call before it, with the image record's own offset.
            CallPlace record = event.place;
            record.offset = event.record->offset;
            if (now != value_) add(Kind::Host, record, event.hasCall, value_, now);
        } else if (event.record->call.entry == EntryPoint::Init) {
            add(Kind::Init, event.place, true, value_, now, &image);
        } else if (now != value_) {
            add(Kind::Wrote, event.place, true, value_, now);
        } else if (now.inside) {
            const Footprint f = callFootprint(event.record->call, image, reader_);
            if (f.contains(x_, y_))
                add(f.kind == Footprint::Kind::Box ? Kind::InBox : Kind::Covered, event.place, true, value_, now);
        }
    }
    value_ = now;
}

void PixelHistory::summary() const {
    const std::string lastName =
        !hasLast_     ? std::string()
        : lastByHost_ ? "the host, frame " + std::to_string(last_.frame) + " offset " + std::to_string(last_.offset)
                      : last_.text() + " offset " + std::to_string(last_.offset);
    if (!json_) {
        std::string line = "summary: " + plural(callChanges_, "call", "calls") + " changed the pixel";
        if (hostChanges_ > 0) line += ", the host " + plural(hostChanges_, "time", "times");
        line += hasLast_ ? "; the last change: " + lastName : std::string("; nothing changed it");
        line += "; final value " + valueText(value_);
        std::printf("%s\n", line.c_str());
        if (!everInside_ && !start_.inside) std::printf("the pixel lies outside the image throughout these frames\n");
        return;
    }
    std::printf("%s\n", document().dump(2).c_str());
}

nlohmann::ordered_json PixelHistory::document() const {
    nlohmann::ordered_json last;
    if (hasLast_) {
        last = {{"frame", last_.frame}, {"offset", last_.offset}, {"byHost", lastByHost_}};
        if (!lastByHost_) {
            last["call"] = last_.index;
            last["entry"] = std::string(trace::signature(last_.entry).name);
        }
    }
    return nlohmann::ordered_json{{"pixel", {{"x", x_}, {"y", y_}}},
                                  {"frames", frames_.all() ? std::string("all") : frames_.text()},
                                  {"start", valueJson(start_)},
                                  {"events", events_},
                                  {"summary",
                                   {{"callsChanged", callChanges_},
                                    {"hostChanges", hostChanges_},
                                    {"lastChange", last},
                                    {"final", valueJson(value_)},
                                    {"everInside", everInside_ || start_.inside}}}};
}

int runPixel(const ModeInput& input) {
    const auto library = input.openLibrary(input.options.libraryPath);
    if (!library) return 2;
    const Options& o = input.options;
    RunSettings settings;
    settings.libraries.push_back(&library->table());
    settings.frames = o.frames;
    ReplayRun run(input.reader, input.report, settings);
    if (!o.json)
        std::printf("pixel (%d, %d), %s\n", o.pixelX, o.pixelY,
                    o.frames.all() ? "all frames" : ("frames " + o.frames.text()).c_str());
    PixelHistory history(o.pixelX, o.pixelY, o.frames, o.json, input.reader);
    RunEvent event;
    while (run.next(event)) history.step(event, run.lane(0).target());
    const int status = run.finish();
    if (status != 0 && !run.endedEarly()) return status;
    history.summary();
    return status;
}

}  // namespace velkano::replay
