// frame_debugger_test.cpp: the frame debugger's answers against one plain replay of the same
// trace from its start, with the linked library and the whole image compared after each call.
// The debugger takes a checkpoint after every call under a memory limit that thins them again
// and again, and is asked about every call and frame in a random order, so that its answers
// come from checkpoints, from where the last answer left the replay, and from a reading of
// the records alone. The traces are those the replay tests record (VELKANO_DEBUGGER_TRACES).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>

#include "bound_pictures.h"
#include "frame_debugger.h"
#include "listing_json.h"
#include "pixel_history.h"
#include "png_writer.h"
#include "replay_run.h"

namespace velkano::replay {
namespace {

std::string imagePng(const TargetImage& image) {
    std::string png;
    const int32_t width = drawableWidth(image);
    if (width > 0) tools::encodePng(png, image.data, width, image.height, image.pitch);
    return png;
}

// The difference view of `image` against `before`, laid out alike.
std::string differencePng(const TargetImage& image, const uint8_t* before) {
    const int32_t width = drawableWidth(image);
    std::vector<uint8_t> rgb;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t now = pixelAt(image, image.data, x, y);
            const uint32_t grey = ((now >> 16 & 0xFF) + (now >> 8 & 0xFF) + (now & 0xFF)) / 12;
            const bool changed = now != pixelAt(image, before, x, y);
            for (const int shift : {16, 8, 0})
                rgb.push_back(static_cast<uint8_t>(changed ? now >> shift & 0xFF : grey));
        }
    }
    std::string png;
    tools::encodeRgbPng(png, rgb.data(), width, image.height);
    return png;
}

// What a replay from the start gives for each call and frame.
struct Expected {
    struct Call {
        std::string before, after;  // PNG files; empty for no image
        std::string difference;     // a flash's or draw's: changed pixels as they are, the rest dim grey
        Json entry, state;
        std::string texture, lightmap;  // PNG files, or the reason there is none
    };
    struct Frame {
        uint64_t firstCall = 0, calls = 0;
        int32_t x = 1, y = 1;  // a pixel the frame changed
        std::vector<uint32_t> counts;
        uint64_t changingCalls = 0;
    };
    std::vector<Call> calls;
    std::vector<Frame> frames;
    std::vector<std::unique_ptr<PixelHistory>> pixels;  // a frame's history of its pixel
    Json images = Json::array();                        // every image record, as --calls lists them
};

Expected replayFromStart(const std::string& path) {
    Expected e;
    Reporter report(0, path);
    const auto reader = openTrace(path, report);
    std::string error;
    const auto library = Library::open("", true, error);
    if (!reader || !library) {
        ADD_FAILURE() << path << ": " << error;
        return e;
    }
    RunSettings settings;
    settings.libraries.push_back(&library->table());
    settings.measure = true;
    ReplayRun run(*reader, report, settings);
    TraceState state(*reader);
    CallDecoder decoder(*reader);
    std::string last;  // the image after the latest step
    Expected::Frame frame;
    int32_t countsWidth = 0, countsHeight = 0;
    RunEvent event;
    while (run.next(event)) {
        const TargetImage& image = run.lane(0).target();
        if (event.kind == RunEvent::Kind::Call) {
            Expected::Call c;
            const trace::Call& call = event.record->call;
            c.before = last;
            c.after = last = imagePng(image);
            if (event.measured && drawableWidth(image) > 0) c.difference = differencePng(image, event.before);
            c.state = stateJson(state, event.place, decoder, call);
            c.entry = callEntryJson(event.place, call, decoder, event.measured ? &event.change : nullptr);
            c.entry["text"] = decoder.text(call);
            state.apply(*event.record);
            std::vector<uint8_t> picture;
            std::string why;
            c.texture =
                texturePicture(state, *reader, picture, why) &&
                        tools::encodeRgbPng(c.texture, picture.data(), state.texture().width, state.texture().height)
                    ? c.texture
                    : why;
            c.lightmap = lightmapPicture(state, *reader, picture, why) &&
                                 tools::encodePng(c.lightmap, picture.data(), state.lightmap().width,
                                                  state.lightmap().height, 4 * state.lightmap().width)
                             ? c.lightmap
                             : why;
            e.calls.push_back(std::move(c));
            // Overdraw, counted afresh when an INIT brings an image of another size.
            const int32_t width = drawableWidth(image), height = width > 0 ? image.height : 0;
            if (call.entry == trace::EntryPoint::Init && (width != countsWidth || height != countsHeight)) {
                frame.counts.assign(size_t(width) * size_t(height), 0u);
                countsWidth = width;
                countsHeight = height;
            }
            if (event.measured && event.change.pixels > 0 && !frame.counts.empty()) {
                ++frame.changingCalls;
                compareImages(image, event.before, image.data, [&](int32_t x, int32_t y) {
                    ++frame.counts[size_t(y) * size_t(countsWidth) + size_t(x)];
                });
                if (frame.x == 1 && frame.y == 1) {
                    frame.x = (event.change.box.x0 + event.change.box.x1) / 2;
                    frame.y = (event.change.box.y0 + event.change.box.y1) / 2;
                }
            }
            ++frame.calls;
            if (call.entry == trace::EntryPoint::EndUpdate) {
                e.frames.push_back(frame);
                frame = Expected::Frame{e.calls.size(), 0, 1, 1, std::vector<uint32_t>(frame.counts.size(), 0u), 0};
            }
        } else if (event.kind == RunEvent::Kind::Image || event.kind == RunEvent::Kind::ImageHash) {
            if (event.kind == RunEvent::Kind::Image) last = imagePng(image);
            e.images.push_back(imageEntryJson(*event.record, event.place, event.hasCall, decoder,
                                              event.measured ? &event.change : nullptr));
            state.apply(*event.record);
        }
        decoder.note(*event.record);
    }
    if (frame.calls > 0) e.frames.push_back(frame);
    run.finish();

    // Every frame's pixel, in a second pass (one history for each frame, side by side).
    const auto again = openTrace(path, report);
    const auto second = Library::open("", true, error);
    RunSettings plain;
    plain.libraries.push_back(&second->table());
    ReplayRun pass(*again, report, plain);
    for (size_t f = 0; f < e.frames.size(); ++f)
        e.pixels.push_back(
            std::make_unique<PixelHistory>(e.frames[f].x, e.frames[f].y, FrameRange{f, f}, true, *again));
    while (pass.next(event))
        for (auto& history : e.pixels) history->step(event, pass.lane(0).target());
    pass.finish();
    return e;
}

Json parse(const Reply& reply) { return Json::parse(reply.body); }

// The answer's status and body against what was expected: a picture's bytes, or the reason
// there is none (the body of a 404).
void expectPicture(const Reply& reply, const std::string& expected, const std::string& what) {
    const bool none = expected.compare(0, 4, "\x89PNG") != 0;
    if (none) {
        EXPECT_EQ(reply.status, 404) << what;
        if (!expected.empty() && reply.status == 404) {
            EXPECT_EQ(parse(reply)["error"], expected) << what;
        }
        return;
    }
    ASSERT_EQ(reply.status, 200) << what << ": " << reply.body;
    EXPECT_EQ(reply.contentType, "image/png") << what;
    EXPECT_TRUE(reply.body == expected) << what << ": the picture differs";
}

void checkTrace(const std::string& path) {
    SCOPED_TRACE(path);
    const Expected e = replayFromStart(path);
    ASSERT_FALSE(e.calls.empty());
    Options options;
    options.tracePath = path;
    Reporter report(0, path);
    const auto reader = openTrace(path, report);
    ASSERT_TRUE(reader);
    const ModeInput input{options, *reader, report};
    // About three images' worth: the checkpoints are thinned many times over.
    FrameDebugger debugger(input, 3 * 320 * 240 * 4, 0.0);
    ASSERT_TRUE(debugger.load());
    ASSERT_EQ(debugger.calls(), e.calls.size());
    ASSERT_EQ(debugger.frames(), e.frames.size());
    const Json frames = parse(debugger.frameList());
    for (size_t f = 0; f < e.frames.size(); ++f) {
        EXPECT_EQ(frames[f]["firstCall"], e.frames[f].firstCall);
        EXPECT_EQ(frames[f]["calls"], e.frames[f].calls);
    }

    std::mt19937 random(27);
    std::vector<std::function<void()>> questions;
    for (uint64_t n = 0; n < e.calls.size(); ++n) {
        const Expected::Call& c = e.calls[n];
        const std::string call = "call " + std::to_string(n);
        questions.push_back(
            [&, n, call] { expectPicture(debugger.image(n, ImageView::After), c.after, call + " after"); });
        questions.push_back(
            [&, n, call] { expectPicture(debugger.image(n, ImageView::Before), c.before, call + " before"); });
        questions.push_back([&, n, call] { EXPECT_EQ(parse(debugger.state(n)), c.state) << call; });
        if (!c.difference.empty())
            questions.push_back([&, n, call] {
                expectPicture(debugger.image(n, ImageView::Difference), c.difference, call + " difference");
            });
        questions.push_back([&, n, call] { expectPicture(debugger.texture(n), c.texture, call + " texture"); });
        questions.push_back([&, n, call] { expectPicture(debugger.lightmap(n), c.lightmap, call + " lightmap"); });
    }
    for (uint64_t f = 0; f < e.frames.size(); ++f) {
        const Expected::Frame& frame = e.frames[f];
        const std::string name = "frame " + std::to_string(f);
        // A page of the listing, from a random call of the frame.
        questions.push_back([&, f, name] {
            const uint64_t first = frame.firstCall + random() % frame.calls;
            const uint64_t count = 1 + random() % frame.calls;
            const Json page = parse(debugger.frameCalls(f, first, count));
            const uint64_t last = std::min(first + count, frame.firstCall + frame.calls) - 1;
            ASSERT_EQ(page["entries"].size(), last - first + 1) << name;
            for (uint64_t n = first; n <= last; ++n) EXPECT_EQ(page["entries"][n - first], e.calls[n].entry) << name;
            Json images = Json::array();
            for (const Json& image : e.images) {
                const bool host = image["kind"] == "image";
                const uint64_t shownWith = image["afterCall"].is_null() ? 0
                                           : host                       ? image["afterCall"].get<uint64_t>() + 1
                                                                        : image["afterCall"].get<uint64_t>();
                if (shownWith >= first && shownWith <= last) images.push_back(image);
            }
            EXPECT_EQ(page["images"], images) << name << " from call " << first;
        });
        questions.push_back([&, f, name] {
            const Reply reply = debugger.pixel(f, frame.x, frame.y);
            if (!e.pixels[f]->everInside()) {
                EXPECT_EQ(reply.status, 404) << name;
                return;
            }
            EXPECT_EQ(parse(reply), e.pixels[f]->document()) << name;
        });
        questions.push_back([&, f, name] {
            const Reply reply = debugger.overdraw(f, false);
            if (frame.counts.empty()) {
                EXPECT_EQ(reply.status, 404) << name;
                return;
            }
            const Json summary = parse(reply);
            uint64_t changes = 0, touched = 0;
            for (const uint32_t n : frame.counts) {
                changes += n;
                touched += n > 0;
            }
            EXPECT_EQ(summary["changes"], changes) << name;
            EXPECT_EQ(summary["touched"], touched) << name;
            EXPECT_EQ(summary["calls"], frame.changingCalls) << name;
            EXPECT_EQ(summary["maximum"], *std::max_element(frame.counts.begin(), frame.counts.end())) << name;
        });
    }
    std::shuffle(questions.begin(), questions.end(), random);
    for (const auto& question : questions) question();
    EXPECT_EQ(debugger.image(e.calls.size(), ImageView::After).status, 404);
    EXPECT_EQ(debugger.frameCalls(e.frames.size(), 0, 1).status, 404);
}

TEST(FrameDebugger, AnswersAsAReplayFromTheStart) {
    const char* traces = std::getenv("VELKANO_DEBUGGER_TRACES");
    ASSERT_NE(traces, nullptr) << "VELKANO_DEBUGGER_TRACES names the traces, separated by ';'";
    std::stringstream list(traces);
    for (std::string path; std::getline(list, path, ';');) checkTrace(path);
}

}  // namespace
}  // namespace velkano::replay
