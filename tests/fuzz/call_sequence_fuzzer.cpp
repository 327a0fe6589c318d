// call_sequence_fuzzer.cpp: decodes its input into a sequence of entry-point calls with
// arbitrary arguments, and makes them as a careless host would. Every input starts from a
// freshly loaded library (all state zero), so draws before INIT and after UNLOAD happen. The
// calls run twice, with packed kernels and with the scalar reference ones, and must leave
// the same bytes in every image.
//
// The host keeps its side of the contract and nothing more: every block it hands over is as
// large as the sizes it passes say (pitch x height target bytes, width x height index bytes,
// a 256-entry palette, width x height lightmap words, six or three array elements) and stays
// valid while bound. Each block lies against an inaccessible page, after it or before it, so
// the first byte read or written outside it faults. Sizes, coordinates, depths, colours and
// modes are anything at all: NaN, infinities, huge, zero, negative, odd.
//
// A call that takes longer than the limit (VELKANO_FUZZ_CALL_LIMIT_MS, 1000 by default, ten
// times the budget of a release build to allow for the sanitizers) aborts the run.
#include "call_sequence_fuzzer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "context/kernel_table.h"
#include "context/render_context.h"
#include "support/guarded_bytes.h"
#include "velkano.h"

namespace {

using velkano::testing::GuardedBytes;
using namespace fuzzformat;

constexpr size_t kMaxCalls = 64;
// Host images up to 640 x 480 pixels: the size the bounded-time promise is made for.
constexpr int64_t kTargetLimitBytes = 640 * 480 * 4;
// Textures and lightmaps a 32-bit host could hold (a 32-bit replay has less room beside its
// own code). They are mapped lazily and only read, so even the largest costs memory only
// where a draw samples it.
constexpr uint64_t kTextureLimitBytes = uint64_t{1} << (sizeof(void*) == 8 ? 31 : 28);
constexpr size_t kFilledBytes = 64 * 1024;  // content beyond this stays zero

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
// Value lists, packed by hand.
// clang-format off
constexpr float kAwkwardFloats[] = {
    kNaN, -kNaN, kInf, -kInf, 0.0f, -0.0f, std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
    std::numeric_limits<float>::min(), std::numeric_limits<float>::denorm_min(), 0.5f, -0.5f, 1.5f, 2.5f, 15.5f,
    16.0f, 639.5f, 640.0f, 479.5f, 480.0f, 1048575.5f, 1048576.0f, 1048576.5f, -1048576.0f, -1048576.5f,
    16777216.0f, 2147483648.0f, -2147483648.0f, 4294967296.0f, 1.0e9f, -1.0e9f, 1.0e-9f};
constexpr int32_t kAwkwardSizes[] = {0,   1,   2,   3,   4,    5,    7,         8,        15,      16,
                                     17,  31,  32,  33,  64,   100,  255,       256,      479,     480,
                                     481, 640, 641, -1,  -2,   -15,  -16,       -17,      1 << 20, 1 << 30,
                                     std::numeric_limits<int32_t>::min(),       std::numeric_limits<int32_t>::max(),
                                     std::numeric_limits<int32_t>::max() - 15, (1 << 16) + 1};
// clang-format on
constexpr int32_t kAwkwardModes[] = {0, 1, 2, 3, 4, 5, 6, 7, -1, 8, 255, std::numeric_limits<int32_t>::min()};

// Reads the input front to back; once it runs out every read gives zero.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= uint32_t{byte()} << (8 * i);
        return value;
    }
    // Mostly on or near a small image, often on a half (a rounding tie); now and then a
    // value from the awkward list or any bit pattern at all.
    float coordinate() {
        const uint8_t pick = byte();
        if (pick < kCoordinateListedBelow) return kAwkwardFloats[pick % std::size(kAwkwardFloats)];
        if (pick < kCoordinateFixedBelow) {
            const auto fixed = static_cast<int16_t>(byte() | (byte() << 8));
            return static_cast<float>(fixed) / 32.0f;  // -1024 to 1024 in 1/32 steps
        }
        const uint32_t bits = word();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    int32_t size() {
        const uint8_t pick = byte();
        if (pick < kSizeListedBelow) return kAwkwardSizes[pick % std::size(kAwkwardSizes)];
        if (pick < kSizeSmallBelow) return 1 + (byte() | ((byte() & 3) << 8));  // 1 to 1024
        return static_cast<int32_t>(word());
    }
    int32_t mode() {
        const uint8_t pick = byte();
        return pick < kModeListedBelow ? kAwkwardModes[pick % std::size(kAwkwardModes)] : static_cast<int32_t>(word());
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Host memory against a guard page, or none (a null address).
using Block = std::unique_ptr<GuardedBytes>;
using Image = std::vector<uint8_t>;

Block guardedBlock(Input& input, size_t sizeBytes) {
    const auto against = (input.byte() & 1) ? GuardedBytes::Against::Start : GuardedBytes::Against::End;
    Block block = std::make_unique<GuardedBytes>(sizeBytes, against);
    uint32_t state = input.word() | 1u;  // content from a seed, so inputs stay short
    uint8_t* bytes = block->data();
    const size_t filled = sizeBytes < kFilledBytes ? sizeBytes : kFilledBytes;
    for (size_t i = 0; i < filled; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<uint8_t>(state >> 24);
    }
    return block;
}

template <typename T>
T* address(const Block& block) {
    return block ? reinterpret_cast<T*>(block->data()) : nullptr;
}

// width x height elements of `elementBytes`. Sizes below 1 get a zero-byte block, which the
// library must not touch; a host could not hold more than the limit, so it passes no address.
Block imageBlock(Input& input, int32_t width, int32_t height, uint64_t elementBytes) {
    if (input.byte() % 16 == 0) return nullptr;
    if (width < 1 || height < 1) return guardedBlock(input, 0);
    const uint64_t sizeBytes = uint64_t(width) * uint64_t(height) * elementBytes;  // below 2^64
    return sizeBytes <= kTextureLimitBytes ? guardedBlock(input, static_cast<size_t>(sizeBytes)) : nullptr;
}

// The vertex arrays: each call's elements copied into blocks that end at a guard page.
struct Arrays {
    GuardedBytes positions{6 * sizeof(float)};
    GuardedBytes texCoords{6 * sizeof(float)};
    GuardedBytes lightmapCoords{6 * sizeof(float)};
    GuardedBytes depths{3 * sizeof(float)};
    GuardedBytes colours{3 * sizeof(uint32_t)};
};

// Six coordinates, often arranged as a degenerate triangle.
void readTriangle(Input& input, float* xy) {
    for (int i = 0; i < 6; ++i) xy[i] = input.coordinate();
    switch (input.byte() % kShapeCount) {
        case kCollinear: xy[4] = xy[0] + (xy[2] - xy[0]) * 0.5f, xy[5] = xy[1] + (xy[3] - xy[1]) * 0.5f; break;
        case kTwoEqual: xy[2] = xy[0], xy[3] = xy[1]; break;
        case kFlatTop: xy[3] = xy[1]; break;
        case kFlatBottom: xy[5] = xy[3]; break;
        case kOneRow: xy[1] = xy[3] = xy[5]; break;
        default: break;
    }
}

float* floats(GuardedBytes& block) { return reinterpret_cast<float*>(block.data()); }

// A pointer to the array, or null now and then.
template <typename T>
const T* maybe(Input& input, GuardedBytes& block) {
    return input.byte() % 32 == 0 ? nullptr : reinterpret_cast<const T*>(block.data());
}

class Host {
public:
    explicit Host(Arrays& arrays) : arrays_(arrays) {}

    // Every image drawn into, the last one included.
    std::vector<Image> finish() {
        release(target_);
        return std::move(images_);
    }

    void call(Input& input) {
        switch (input.byte() % kCallCount) {
            case kInit: init(input); break;
            case kUnload: timed("UNLOAD", [] { UNLOAD(); }); break;
            case kBeginUpdate: timed("BEGINUPDATE", [] { BEGINUPDATE(); }); break;
            case kEndUpdate: timed("ENDUPDATE", [] { ENDUPDATE(); }); break;
            case kPause: pause(input); break;
            case kFlashAdd: flash(input, "FLASHADD", FLASHADD); break;
            case kFlashSub: flash(input, "FLASHSUB", FLASHSUB); break;
            case kFlashMod: flash(input, "FLASHMOD", FLASHMOD); break;
            case kSetTexture: setTexture(input); break;
            case kSetLightmap: setLightmap(input); break;
            case kDrawTile: drawTile(input); break;
            case kDrawTri:
            case kDrawTriAgain: drawTri(input); break;
            case kDrawPerspTri:
            case kDrawPerspTriAgain: drawPerspTri(input); break;
            default: changePalette(input); break;
        }
    }

private:
    template <typename Call>
    static void timed(const char* name, Call call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        FuzzCallTimes& times = fuzzCallTimes();
        ++times.calls;
        if (ms > times.slowestMs) times.slowestMs = ms, times.slowestName = name;
        if (ms > callLimitMs()) {
            std::fprintf(stderr, "fuzz: %s took %.1f ms\n", name, ms);
            std::abort();
        }
    }

    static double callLimitMs() {
        static const double limit = [] {
            const char* text = std::getenv("VELKANO_FUZZ_CALL_LIMIT_MS");
            return text ? std::atof(text) : 1000.0;
        }();
        return limit;
    }

    void init(Input& input) {
        const int32_t width = input.size();
        const int32_t height = input.size();
        const uint32_t rowBytes = 4u * static_cast<uint32_t>(width);
        int32_t pitch;
        switch (input.byte() % kPitchKinds) {
            case kPitchPadded: pitch = static_cast<int32_t>(rowBytes + input.byte() % 9); break;  // maybe odd
            case kPitchShort: pitch = static_cast<int32_t>(rowBytes - input.byte() % 9); break;   // rows overlap
            case kPitchAny: pitch = input.size(); break;
            default: pitch = static_cast<int32_t>(rowBytes); break;
        }
        // The block the sizes describe, when a 640 x 480 host could hold it; a host with a
        // larger or impossible image passes no address.
        const int64_t sizeBytes = pitch > 0 && height > 0 ? int64_t{pitch} * height : 0;
        Block target;
        if (input.byte() % 16 != 0 && sizeBytes <= kTargetLimitBytes)
            target = guardedBlock(input, static_cast<size_t>(sizeBytes));
        timed("INIT", [&] { INIT(address<void>(target), width, height, pitch); });
        release(target_);  // no longer bound
        target_ = std::move(target);
    }

    void pause(Input& input) {
        const uint8_t pick = input.byte();
        // Negative counts return at once; a real sleep is kept to a millisecond, and is not
        // timed: it takes as long as the host asked.
        const int32_t milliseconds = pick < 8 ? pick % 2 : -static_cast<int32_t>(input.word() & 0x7FFFFFFFu) - 1;
        PAUSE(milliseconds);
    }

    template <typename Flash>
    static void flash(Input& input, const char* name, Flash flashCall) {
        const uint32_t colour = input.word();
        timed(name, [&] { flashCall(colour); });
    }

    void setTexture(Input& input) {
        const int32_t width = input.size();
        const int32_t height = input.size();
        Block indices = imageBlock(input, width, height, 1);
        Block palette = input.byte() % 16 == 0 ? nullptr : guardedBlock(input, 256 * sizeof(uint32_t));
        const int32_t mode = input.mode();
        timed("SETTEXTURE", [&] {
            SETTEXTURE(address<const uint8_t>(indices), width, height, address<const uint32_t>(palette), mode);
        });
        indices_ = std::move(indices);
        palette_ = std::move(palette);
    }

    void setLightmap(Input& input) {
        const int32_t width = input.size();
        const int32_t height = input.size();
        Block lightmap = imageBlock(input, width, height, 4);
        timed("SETLIGHTMAP", [&] { SETLIGHTMAP(address<const uint32_t>(lightmap), width, height); });
        lightmap_ = std::move(lightmap);
    }

    // The host may change its palette while it is bound; the next draw must use it.
    void changePalette(Input& input) {
        const uint8_t index = input.byte();
        const uint32_t colour = input.word();
        if (palette_) std::memcpy(palette_->data() + 4 * size_t{index}, &colour, sizeof colour);
    }

    static void drawTile(Input& input) {
        float a[8];
        for (float& value : a) value = input.coordinate();
        const uint32_t ignored1 = input.word(), ignored2 = input.word(), tint = input.word();
        timed("DRAWTILE", [&] { DRAWTILE(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], ignored1, ignored2, tint); });
    }

    void drawTri(Input& input) {
        readTriangle(input, floats(arrays_.positions));
        for (int i = 0; i < 6; ++i) floats(arrays_.texCoords)[i] = input.coordinate();
        auto* colours = reinterpret_cast<uint32_t*>(arrays_.colours.data());
        for (int i = 0; i < 3; ++i) colours[i] = input.word();
        const float* positions = maybe<float>(input, arrays_.positions);
        const float* texCoords = maybe<float>(input, arrays_.texCoords);
        const uint32_t* colourArray = maybe<uint32_t>(input, arrays_.colours);
        timed("DRAWTRI", [&] { DRAWTRI(positions, texCoords, colourArray); });
    }

    void drawPerspTri(Input& input) {
        readTriangle(input, floats(arrays_.positions));
        for (int i = 0; i < 6; ++i) floats(arrays_.texCoords)[i] = input.coordinate();
        for (int i = 0; i < 6; ++i) floats(arrays_.lightmapCoords)[i] = input.coordinate();
        for (int i = 0; i < 3; ++i) floats(arrays_.depths)[i] = input.coordinate();
        const float* positions = maybe<float>(input, arrays_.positions);
        const float* texCoords = maybe<float>(input, arrays_.texCoords);
        const float* lightmapCoords = maybe<float>(input, arrays_.lightmapCoords);
        const float* depths = maybe<float>(input, arrays_.depths);
        timed("DRAWPERSPTRI", [&] { DRAWPERSPTRI(positions, texCoords, lightmapCoords, depths); });
    }

    // The image's bytes are kept when the host lets go of it.
    void release(Block& image) {
        if (image) images_.emplace_back(image->data(), image->data() + image->size());
        image.reset();
    }

    Arrays& arrays_;
    Block target_, indices_, palette_, lightmap_;
    std::vector<Image> images_;
};

// The state of a library just loaded into the process. The host's blocks go only after the
// context has let go of them.
void reloadLibrary() {
    velkano::RenderContext& context = velkano::processContext();
    velkano::destroyContext(context);
    context = velkano::RenderContext{};
}

}  // namespace

// Under AddressSanitizer a block larger than 64 MiB is refused as if the heap were exhausted
// (INIT must then go on without it) rather than given shadow memory at great cost: sizes up to
// 2^31 bytes would otherwise make each such INIT take seconds.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=64"; }

FuzzCallTimes& fuzzCallTimes() {
    static FuzzCallTimes times;
    return times;
}

namespace {

// The calls of one input at one kernel level, and every image they drew into.
std::vector<Image> runCalls(const uint8_t* data, size_t size, velkano::SimdLevel level) {
    static Arrays arrays;
    velkano::forceSimdLevelForTests(level);
    Input input(data, size);
    Host host(arrays);
    for (size_t calls = 0; calls < kMaxCalls && !input.empty(); ++calls) host.call(input);
    reloadLibrary();
    return host.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the kernels: a level of this build (as far as the machine has it).
    // The same calls then run again with the scalar reference kernels (or, after a scalar run,
    // the best ones), and every image must come out the same.
    using velkano::SimdLevel;
    const SimdLevel level =
        std::min(velkano::kSimdLevels[data[0] % velkano::kSimdLevels.size()], velkano::detectedSimdLevel());
    const SimdLevel other = level == SimdLevel::Scalar ? velkano::detectedSimdLevel() : SimdLevel::Scalar;
    const std::vector<Image> images = runCalls(data + 1, size - 1, level);
    if (other == level) return 0;
    const std::vector<Image> again = runCalls(data + 1, size - 1, other);
    for (size_t i = 0; i < images.size(); ++i) {
        const auto [at, _] = std::mismatch(images[i].begin(), images[i].end(), again[i].begin());
        if (at != images[i].end()) {
            std::fprintf(stderr, "fuzz: kernel levels %d and %d differ in image %zu at byte %zu\n",
                         static_cast<int>(level), static_cast<int>(other), i,
                         static_cast<size_t>(at - images[i].begin()));
            std::abort();
        }
    }
    return 0;
}
