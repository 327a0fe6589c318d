// capture_bench: what recording costs. The demo's animation (examples/demo_animation.h, its
// 24 frames without the PNG writing and the frame pacing) is drawn by the plain library and by
// the capture variant, each loaded from the build tree with dlopen into a handle of its own
// (RTLD_LOCAL: each keeps its own render context) and called through a table filled by dlsym,
// as a host that loads the library at run time would.
//
// The capture reads VELKANO_TRACE and VELKANO_TRACE_EXACT once, at its first call. So the
// default-mode capture makes its first call with the variables set for it, and exact mode gets
// a third handle, from a copy of libvelkano_capture.so (a new path is a new instance), whose
// first call comes after the variables are set for exact mode. Both traces go to a temporary
// directory that is removed at the end.
//
// Every ratio is the capture's time over the plain library's (plain rate / capture rate): how
// many times longer a frame takes while recording. The traces grow as the benchmark runs; a
// trace's first pass through the animation also stores every distinct texture, lightmap,
// palette, vertex array and image (each once), later passes mostly call records. The notes give
// both sizes per frame, and each capture benchmark counts the bytes per frame it added.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "demo_animation.h"
#include "demo_api.h"
#include "demo_scene.h"
#include "support/side_by_side.h"
#include "trace/trace_reader.h"

#ifndef VELKANO_PLAIN_LIBRARY  // the build passes both libraries' paths in the build tree
#  error "VELKANO_PLAIN_LIBRARY and VELKANO_CAPTURE_LIBRARY must be defined"
#endif

namespace {

using namespace velkano::bench;
namespace fs = std::filesystem;

constexpr int64_t kFramePixels = int64_t{demo::kWidth} * demo::kHeight;

// A directory of our own under the system's temporary one, removed with everything in it.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "velkano_bench_capture.XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const fs::path& path() const { return path_; }  // empty: could not be made

private:
    fs::path path_;
};

// One loaded library, its image and the animation drawing into it through its own table.
class LoadedLibrary {
public:
    LoadedLibrary() = default;
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    ~LoadedLibrary() {
        if (handle_ == nullptr) return;
        if (animation_) api_.unload();
        dlclose(handle_);  // the capture writes its End record and closes its trace here
    }

    // Opens `path` and looks up the thirteen entry points; false with `error` set if any fails.
    bool open(const fs::path& path, std::string& error) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            error = dlerror();
            return false;
        }
#define VELKANO_ENTRY_FIND(NAME, BYTES, Name, name, parameters) find(api_.name, #NAME, error)&&
        return VELKANO_ENTRY_POINTS(VELKANO_ENTRY_FIND) true;
#undef VELKANO_ENTRY_FIND
    }

    // The library's first call: binds the image (a capture starts its trace here).
    void start() {
        animation_ = std::make_unique<demo::Animation>(api_);
        api_.init(image_.words.data(), demo::kWidth, demo::kHeight, demo::kPitch);
    }

    void drawFrame(int frame) { animation_->drawFrame(frame, image_); }
    void drawAnimation() {
        for (int frame = 0; frame < demo::Animation::frameCount(); ++frame) drawFrame(frame);
    }
    const demo::Image& image() const { return image_; }

private:
    template <typename Function>
    bool find(Function& slot, const char* name, std::string& error) {
        void* address = dlsym(handle_, name);
        if (address == nullptr) {
            error = std::string("no ") + name + " in the library";
            return false;
        }
        slot = reinterpret_cast<Function>(address);
        return true;
    }

    void* handle_ = nullptr;
    demo::DemoApi api_{};
    demo::Image image_;
    std::unique_ptr<demo::Animation> animation_;
};

// A capture library and the trace it writes.
struct Capture {
    const char* mode;  // "default" or "exact"
    bool exact;
    fs::path trace;
    LoadedLibrary library;

    uint64_t traceBytes() const {
        std::error_code ec;
        const uintmax_t size = fs::file_size(trace, ec);
        return ec ? 0 : size;
    }
};

// Sets the variables the capture reads at its first call, makes that call, and checks from the
// trace's header that the capture started in the mode asked for.
bool startCapture(Capture& capture, std::string& error) {
    setenv("VELKANO_TRACE", capture.trace.c_str(), 1);
    if (capture.exact) setenv("VELKANO_TRACE_EXACT", "1", 1);
    else unsetenv("VELKANO_TRACE_EXACT");
    capture.library.start();
    unsetenv("VELKANO_TRACE");
    unsetenv("VELKANO_TRACE_EXACT");

    std::vector<uint8_t> header(velkano::trace::kHeaderBytes);
    std::ifstream file(capture.trace, std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()))) {
        error = "the capture wrote no trace header to " + capture.trace.string();
        return false;
    }
    velkano::trace::TraceReader reader(std::move(header));
    if (!reader.error().empty()) {
        error = capture.trace.string() + ": " + reader.error();
        return false;
    }
    if (((reader.header().flags & velkano::trace::kFlagExact) != 0) != capture.exact) {
        error = std::string("the capture did not start in ") + capture.mode + " mode";
        return false;
    }
    return true;
}

// Draws the animation once with every library in step, frame by frame, so that all of them
// make the same calls from the same state; false if a capture's image ever differs from the
// plain library's. Adds the trace bytes each capture wrote per frame to `bytesPerFrame`.
bool comparedPass(LoadedLibrary& plain, std::span<Capture> captures, std::vector<double>& bytesPerFrame) {
    std::vector<uint64_t> before;
    for (const Capture& capture : captures) before.push_back(capture.traceBytes());
    for (int frame = 0; frame < demo::Animation::frameCount(); ++frame) {
        plain.drawFrame(frame);
        for (Capture& capture : captures) {
            capture.library.drawFrame(frame);
            if (capture.library.image().words != plain.image().words) return false;
        }
    }
    for (size_t i = 0; i < captures.size(); ++i)
        bytesPerFrame.push_back(double(captures[i].traceBytes() - before[i]) / demo::Animation::frameCount());
    return true;
}

std::string kilobytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1000);
    return text;
}

// One pass through the animation per iteration.
void drawAnimations(benchmark::State& state, LoadedLibrary& library, const Capture* capture) {
    const uint64_t before = capture ? capture->traceBytes() : 0;
    for (auto _ : state) {
        library.drawAnimation();
        benchmark::ClobberMemory();
    }
    const int64_t frames = state.iterations() * demo::Animation::frameCount();
    state.SetItemsProcessed(frames * kFramePixels);
    state.counters["frames"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    if (capture) state.counters["trace_bytes_per_frame"] = double(capture->traceBytes() - before) / double(frames);
}

}  // namespace

int main(int argc, char** argv) {
    SideBySide table("velkano_bench_capture", argc, argv);
    if (!table.initialised()) return 1;

    const TemporaryDirectory scratch;  // destroyed last: after the libraries have closed their traces
    if (scratch.path().empty()) return table.refuse("cannot make a temporary directory");
    // The exact-mode capture is a copy, so that dlopen gives it an instance of its own.
    const fs::path exactCopy = scratch.path() / "libvelkano_capture_exact.so";
    std::error_code ec;
    fs::copy_file(VELKANO_CAPTURE_LIBRARY, exactCopy, ec);
    if (ec) return table.refuse("cannot copy " + std::string(VELKANO_CAPTURE_LIBRARY) + ": " + ec.message());

    LoadedLibrary plain;
    Capture captures[] = {{"default", false, scratch.path() / "default.vktrace", {}},
                          {"exact", true, scratch.path() / "exact.vktrace", {}}};
    std::string error;
    if (!plain.open(VELKANO_PLAIN_LIBRARY, error)) return table.refuse(error);
    plain.start();
    for (Capture& capture : captures) {
        if (!capture.library.open(capture.exact ? exactCopy : fs::path(VELKANO_CAPTURE_LIBRARY), error) ||
            !startCapture(capture, error))
            return table.refuse(error);
    }

    table.note("each ratio: the capture's time per frame over the plain library's (how many times longer)");
    table.note("the demo's 24 frames of 320 x 240 per iteration, no PNG writing; rates count the frames' pixels");
    std::vector<double> first, later;  // trace bytes per frame of each capture
    if (!comparedPass(plain, captures, first) || !comparedPass(plain, captures, later))
        return table.refuse("a capture draws other pixels than the plain library");
    for (size_t i = 0; i < std::size(captures); ++i)
        table.note(std::string(captures[i].mode) + "-mode trace per frame: " + kilobytes(first[i]) +
                   " on the first pass through the animation, " + kilobytes(later[i]) + " on later passes");

    benchmark::RegisterBenchmark("demo_plain", [&plain](benchmark::State& state) {
        drawAnimations(state, plain, nullptr);
    })->Unit(benchmark::kMillisecond);
    for (Capture& capture : captures) {
        const std::string name = std::string("demo_capture_") + capture.mode;
        benchmark::RegisterBenchmark(name.c_str(), [&capture](benchmark::State& state) {
            drawAnimations(state, capture.library, &capture);
        })->Unit(benchmark::kMillisecond);
        table.compare(std::string("capture overhead, ") + capture.mode + " mode", "demo_plain", name);
    }
    return table.run();
}
