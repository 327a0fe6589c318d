// mode_images.cpp: --image-at N OUT.png (the target after call N, replayed), --texture-at and
// --lightmap-at (the bound images at call N, from the content the trace recorded), and
// --layers (the library's scratch layers after call N, replayed with the library code built
// into this tool).
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "bound_pictures.h"
#include "builtin_library.h"
#include "modes.h"
#include "png_output.h"
#include "replay_run.h"
#include "trace_state.h"

namespace velkano::replay {
namespace {

using trace::RefState;

std::string size(int32_t width, int32_t height) { return std::to_string(width) + " x " + std::to_string(height); }

// "OUT-texture-layer.png" beside OUT.png: the path as given, its extension replaced (not
// rebuilt from its parts, which the Windows build would join with a backslash).
std::string besidePath(const std::string& path, const char* suffix) {
    const size_t extension = std::filesystem::path(path).extension().string().size();
    return path.substr(0, path.size() - extension) + suffix;
}

struct Binding {
    bool bound;
    const char* name;   // "texture"
    const char* entry;  // the call that binds it
    uint64_t call;
    int32_t width, height, bytesPerPixel;
    const char* units;
};

// The recorded content of `recorded`, checked to hold `sizeBytes`; null when there is none to
// draw, with `why` (empty for the trace's own fault: the reader's error() tells it).
const std::vector<uint8_t>* recordedContent(const RecordedContent& recorded, uint64_t sizeBytes,
                                            trace::TraceReader& reader, const std::string& what, std::string& why) {
    if (recorded.state == RefState::Absent) {
        why = what + ": nothing recorded yet (the trace holds a bound image's content from the first draw that "
                     "reads it)";
        return nullptr;
    }
    if (recorded.state == RefState::Unreadable) {
        why = what + ": the recording could not read it (call " + std::to_string(recorded.latestCall) + ")";
        return nullptr;
    }
    const std::vector<uint8_t>* bytes = reader.content(recorded.hash);
    if (!bytes) {
        why.clear();
        return nullptr;
    }
    if (bytes->size() != sizeBytes) {
        why = what + ": its recorded content holds " + std::to_string(bytes->size()) + " bytes, the binding " +
              std::to_string(sizeBytes);
        return nullptr;
    }
    return bytes;
}

// The content recorded for a bound texture or lightmap, width * height * bytesPerPixel bytes;
// null, with `why`, when nothing is bound or there is nothing to draw.
const std::vector<uint8_t>* boundContent(const Binding& b, const RecordedContent& recorded, trace::TraceReader& reader,
                                         std::string& why) {
    const std::string what = b.name;
    if (!b.bound) {
        why = "no " + what + " is bound (no " + b.entry + " yet)";
        return nullptr;
    }
    const std::string binding = "the " + what + " bound by " + b.entry + " call " + std::to_string(b.call);
    if (b.width < 1 || b.height < 1) {
        why = binding + " is " + size(b.width, b.height) + ": no " + b.units;
        return nullptr;
    }
    return recordedContent(recorded, uint64_t(b.width) * uint64_t(b.height) * uint64_t(b.bytesPerPixel), reader,
                           binding, why);
}

}  // namespace

bool texturePicture(const TraceState& state, trace::TraceReader& reader, std::vector<uint8_t>& rgb, std::string& why) {
    const TextureState& t = state.texture();
    const std::vector<uint8_t>* texels = boundContent(
        {t.bound, "texture", "SETTEXTURE", t.call, t.width, t.height, 1, "texels"}, t.texture, reader, why);
    if (!texels) return false;
    const std::vector<uint8_t> indices = *texels;  // the next content() may replace it
    const std::vector<uint8_t>* palette =
        recordedContent(t.palette, 256 * 4, reader,
                        "the texture bound by SETTEXTURE call " + std::to_string(t.call) + ": its palette", why);
    if (!palette) return false;
    // Each index through its palette entry 0xXXBBGGRR: red is the lowest byte.
    rgb.resize(indices.size() * 3);
    for (size_t i = 0; i < indices.size(); ++i) {
        const uint8_t* entry = palette->data() + 4 * size_t{indices[i]};
        rgb[3 * i + 0] = entry[0];
        rgb[3 * i + 1] = entry[1];
        rgb[3 * i + 2] = entry[2];
    }
    return true;
}

bool lightmapPicture(const TraceState& state, trace::TraceReader& reader, std::vector<uint8_t>& words,
                     std::string& why) {
    const LightmapState& l = state.lightmap();
    const std::vector<uint8_t>* content = boundContent(
        {l.bound, "lightmap", "SETLIGHTMAP", l.call, l.width, l.height, 4, "words"}, l.content, reader, why);
    if (!content) return false;
    words = *content;
    return true;
}

namespace {

class ImageWriter {
public:
    ImageWriter(const ModeInput& input) : input_(input) {}
    bool failed() const { return failed_; }

    void target(const TargetImage& image, const CallPlace& place, const char* by) {
        const int32_t widthPx = drawableWidth(image);
        if (widthPx == 0) return fail("--image-at", place.index, "the target is empty after this call");
        if (write(input_.options.image.path, image.data, widthPx, image.height, image.pitch))
            std::printf("%s: the target after %s, %s, %s\n", input_.options.image.path.c_str(), place.text().c_str(),
                        size(widthPx, image.height).c_str(), by);
    }

    void layers(const RenderContext& context, const CallPlace& place) {
        const int32_t widthPx = velkano::drawableWidth(context);
        const struct {
            const uint8_t* data;
            const char* suffix;
            const char* name;
        } layers[] = {{context.textureLayer, "-texture-layer.png", "texture layer"},
                      {context.lightLayer, "-light-layer.png", "light layer"}};
        for (const auto& layer : layers) {
            if (!layer.data || widthPx == 0) {
                fail("--layers", place.index, std::string("the library holds no ") + layer.name + " after this call");
                continue;
            }
            const std::string path = besidePath(input_.options.image.path, layer.suffix);
            if (write(path, layer.data, widthPx, context.height, context.pitch))
                std::printf("%s: the library's %s after %s, %s\n", path.c_str(), layer.name, place.text().c_str(),
                            size(widthPx, context.height).c_str());
        }
    }

    void texture(const TraceState& state, const CallPlace& place) {
        const TextureState& t = state.texture();
        std::vector<uint8_t> rgb;
        std::string why;
        if (!texturePicture(state, input_.reader, rgb, why)) return failed("--texture-at", place.index, why);
        const std::string& path = input_.options.texture.path;
        if (!writeRgb(path, rgb.data(), t.width, t.height)) return;
        std::printf("%s: the texture at %s, bound by SETTEXTURE call %llu, %s through its palette; %s\n", path.c_str(),
                    place.text().c_str(), static_cast<unsigned long long>(t.call), size(t.width, t.height).c_str(),
                    recordedBy(t.texture, place).c_str());
    }

    void lightmap(const TraceState& state, const CallPlace& place) {
        const LightmapState& l = state.lightmap();
        std::vector<uint8_t> words;
        std::string why;
        if (!lightmapPicture(state, input_.reader, words, why)) return failed("--lightmap-at", place.index, why);
        const std::string& path = input_.options.lightmap.path;
        if (!write(path, words.data(), l.width, l.height, 4 * l.width)) return;
        std::printf("%s: the lightmap at %s, bound by SETLIGHTMAP call %llu, %s; %s\n", path.c_str(),
                    place.text().c_str(), static_cast<unsigned long long>(l.call), size(l.width, l.height).c_str(),
                    recordedBy(l.content, place).c_str());
    }

    void fail(const char* option, uint64_t call, const std::string& why) {
        input_.report.error(std::string(option) + " " + std::to_string(call) + ": " + why);
        failed_ = true;
    }

private:
    static std::string recordedBy(const RecordedContent& content, const CallPlace& place) {
        const std::string hash = contentHashText(content.hash);
        if (content.latestCall == place.index) return "the content this call read, " + hash;
        return "the content call " + std::to_string(content.latestCall) + " recorded last, " + hash;
    }

    // A picture that could not be had: `why`, or, when empty, the trace's own fault.
    void failed(const char* option, uint64_t call, const std::string& why) {
        if (!why.empty()) return fail(option, call, why);
        input_.report.readerError(input_.reader);
        failed_ = true;
    }

    bool write(const std::string& path, const void* pixels, int32_t width, int32_t height, int32_t pitch) {
        if (writePng(input_.report, path, pixels, width, height, pitch, input_.options.zoom)) return true;
        failed_ = true;
        return false;
    }
    bool writeRgb(const std::string& path, const uint8_t* rgb, int32_t width, int32_t height) {
        if (writeRgbPng(input_.report, path, rgb, width, height, input_.options.zoom)) return true;
        failed_ = true;
        return false;
    }

    const ModeInput& input_;
    bool failed_ = false;
};

}  // namespace

int runImages(const ModeInput& input) {
    const Options& o = input.options;
    // The target needs a replay: with the library built into this tool when the layers are
    // wanted (no export shows them), otherwise with --library or the default library.
    std::optional<BuiltinLibrary> builtin;
    std::unique_ptr<Library> library;
    RunSettings settings;
    std::string by;
    if (o.image.wanted && o.layers) {
        builtin.emplace();
        settings.libraries.push_back(&builtin->table());
        by = "replayed with the library code built into this tool (velkano " VELKANO_VERSION_STRING ")";
    } else if (o.image.wanted) {
        if (!(library = input.openLibrary(o.libraryPath))) return 2;
        settings.libraries.push_back(&library->table());
        by = "replayed with " + (o.libraryPath.empty() ? std::string("the default library") : o.libraryPath);
    }
    ReplayRun run(input.reader, input.report, std::move(settings));
    TraceState state(input.reader);
    ImageWriter writer(input);
    struct Request {
        const Options::ImageRequest& request;
        const char* option;
        bool done;
    } requests[] = {{o.image, "--image-at", !o.image.wanted},
                    {o.texture, "--texture-at", !o.texture.wanted},
                    {o.lightmap, "--lightmap-at", !o.lightmap.wanted}};
    size_t left = 0;
    for (const Request& r : requests) left += r.done ? 0 : 1;

    RunEvent event;
    while (left > 0 && run.next(event)) {
        if (event.record) state.apply(*event.record);
        if (event.kind != RunEvent::Kind::Call) continue;
        for (Request& r : requests) {
            if (r.done || r.request.call != event.place.index) continue;
            r.done = true;
            --left;
            if (&r.request == &o.image) {
                writer.target(run.lane(0).target(), event.place, by.c_str());
                if (builtin) writer.layers(builtin->context(), event.place);
            } else if (&r.request == &o.texture) {
                writer.texture(state, event.place);
            } else {
                writer.lightmap(state, event.place);
            }
        }
    }
    if (left == 0) run.stop();
    int status = run.finish();
    for (const Request& r : requests)
        if (!r.done)
            writer.fail(r.option, r.request.call,
                        "beyond the trace: " + input.report.tracePath() + " holds " + callCountText(run.calls()));
    return writer.failed() ? 2 : status;
}

}  // namespace velkano::replay
