// trace_seed_writer.cpp: writes the seed traces of the trace fuzzer's corpus with the format's
// own encoders: every record type and entry point, stored and deflated blobs, 4- and 8-byte
// pointers, both platforms, an exact-mode trace, references absent and unreadable, and a
// trace that stops without its End record.
//   velkano_fuzz_trace_seeds tests/fuzz/trace_corpus
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "trace/trace_format.h"

namespace {

using namespace velkano::trace;

class TraceWriter {
public:
    TraceWriter(uint16_t pointerBytes, Platform platform, uint16_t flags) {
        Header header;
        header.pointerBytes = pointerBytes;
        header.platform = platform;
        header.libraryMinor = 1;
        header.flags = flags;
        appendHeader(bytes_, header);
    }

    // The content as a ref, its blob written the first time it is seen.
    Ref blob(const std::vector<uint8_t>& content) {
        const uint64_t hash = contentHash(content.data(), content.size());
        if (written_.insert(hash).second) appendBlob(bytes_, hash, content);
        return Ref{RefState::Content, hash};
    }
    void call(EntryPoint entry, std::initializer_list<uint64_t> args, std::initializer_list<Ref> reads = {}) {
        Call c;
        c.entry = entry;
        std::copy(args.begin(), args.end(), c.args.begin());
        std::copy(reads.begin(), reads.end(), c.reads.begin());
        appendCall(bytes_, c);
        ++calls_;
        if (entry == EntryPoint::EndUpdate) ++frames_;
    }
    void image(Ref ref) { appendImage(bytes_, ref); }
    void imageHash(Ref ref) { appendImageHash(bytes_, ref); }
    void end() { appendEnd(bytes_, calls_, frames_); }

    bool save(const std::string& path) const {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        const bool written = std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
        return std::fclose(file) == 0 && written;
    }

private:
    Bytes bytes_;
    std::set<uint64_t> written_;
    uint64_t calls_ = 0;
    uint32_t frames_ = 0;
};

// Fixed pseudo-random values, so the seeds are the same on every run.
class Numbers {
public:
    uint32_t word() { return state_ = state_ * 1664525u + 1013904223u; }
    float between(float low, float high) { return low + (high - low) * static_cast<float>(word() >> 16) / 65536.0f; }

private:
    uint32_t state_ = 11;
};

uint64_t floatArg(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
uint64_t intArg(int32_t value) { return static_cast<uint32_t>(value); }

std::vector<uint8_t> floats(std::initializer_list<float> values) {
    std::vector<uint8_t> out(values.size() * 4);
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}
std::vector<uint8_t> words(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out(values.size() * 4);
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}
// Compressible: a checkerboard of index bytes, a smooth palette ramp, a lightmap of a few levels.
std::vector<uint8_t> texture(int32_t width, int32_t height) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) out[static_cast<size_t>(y) * width + x] = ((x / 4 + y / 4) & 1) ? 17 : 200;
    return out;
}
std::vector<uint8_t> palette() {
    std::vector<uint8_t> out(1024);
    for (size_t i = 0; i < 256; ++i) out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = static_cast<uint8_t>(i);
    return out;
}
std::vector<uint8_t> lightmap(int32_t width, int32_t height) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(64 * (i / 4 % 3));
    return out;
}

// Where the recording process kept things: 32- or 64-bit addresses.
struct Addresses {
    uint64_t target, texture, palette, lightmap, positions, texCoords, colours, lightmapCoords, depths;
};
constexpr Addresses kAddresses64 = {0x7f31a4c00000, 0x55d0e1a02000, 0x55d0e1a12000, 0x55d0e1a13000, 0x7ffd52b1e0a0,
                                    0x7ffd52b1e0c0, 0x7ffd52b1e0e0, 0x7ffd52b1e100, 0x7ffd52b1e120};
constexpr Addresses kAddresses32 = {0x02a40000, 0x00b52000, 0x00b62000, 0x00b63000, 0x0019fe10,
                                    0x0019fe28, 0x0019fe40, 0x0019fe4c, 0x0019fe64};

struct Scene {
    int32_t width, height;
    int32_t textureWidth, textureHeight, lightmapWidth, lightmapHeight;
    int32_t blendMode;
    int frames;
};

// INIT, then frames using all thirteen entry points (every draw reading all it can), each
// followed by the host clearing the image; UNLOAD at the end. In exact mode an ImageHash
// record follows every call that can change the target.
void scene(TraceWriter& t, const Scene& s, const Addresses& a, bool exact, Numbers& n) {
    const size_t imageBytes = static_cast<size_t>(s.width) * s.height * 4;
    std::vector<uint8_t> image(imageBytes, 0);
    const Ref blank = t.blob(image);
    t.call(EntryPoint::Init, {a.target, intArg(s.width), intArg(s.height), intArg(s.width * 4)}, {blank});
    const Ref tex = t.blob(texture(s.textureWidth, s.textureHeight));
    const Ref pal = t.blob(palette());
    const Ref light = t.blob(lightmap(s.lightmapWidth, s.lightmapHeight));
    const auto w = static_cast<float>(s.width), h = static_cast<float>(s.height);
    // Stands in for the target after each call: a new hash whenever a call may draw.
    uint64_t state = contentHash(image.data(), image.size());
    const auto drew = [&] {
        state = contentHash(&state, sizeof state);
        if (exact) t.imageHash(Ref{RefState::Content, state});
    };
    for (int frame = 0; frame < s.frames; ++frame) {
        t.call(EntryPoint::BeginUpdate, {});
        t.call(EntryPoint::SetTexture,
               {a.texture, intArg(s.textureWidth), intArg(s.textureHeight), a.palette, intArg(s.blendMode)});
        const Ref positions = t.blob(floats(
            {n.between(0, w), n.between(0, h), n.between(0, w), n.between(0, h), n.between(0, w), n.between(0, h)}));
        const Ref texCoords = t.blob(floats({0, 0, 15.5f, 0, 0, 15.5f}));
        t.call(EntryPoint::DrawTri, {a.positions, a.texCoords, a.colours},
               {positions, texCoords, t.blob(words({n.word(), n.word(), n.word()})), tex, pal});
        drew();
        t.call(EntryPoint::SetLightmap, {a.lightmap, intArg(s.lightmapWidth), intArg(s.lightmapHeight)});
        t.call(EntryPoint::DrawPerspTri, {a.positions, a.texCoords, a.lightmapCoords, a.depths},
               {positions, texCoords, t.blob(floats({0, 0, 3.5f, 0, 0, 3.5f})),
                t.blob(floats({n.between(0.5f, 4), n.between(0.5f, 4), n.between(0.5f, 4)})), tex, pal, light});
        drew();
        t.call(EntryPoint::DrawTile,
               {floatArg(n.between(-4, w)), floatArg(n.between(-4, h)), floatArg(24), floatArg(16), floatArg(0.5f),
                floatArg(0), floatArg(16), floatArg(16), 0, 0, 0xffffffffu},
               {tex, pal});
        drew();
        t.call(EntryPoint::FlashAdd, {0x00102030u});
        drew();
        t.call(EntryPoint::FlashSub, {0x01020304u});
        drew();
        t.call(EntryPoint::FlashMod, {0x80808080u});
        drew();
        t.call(EntryPoint::EndUpdate, {}, {Ref{RefState::Content, state}});
        t.call(EntryPoint::Pause, {intArg(16)});
        std::fill(image.begin(), image.end(), static_cast<uint8_t>(frame + 1));
        t.image(t.blob(image));  // the host cleared the image between frames
        state = contentHash(image.data(), image.size());
    }
    t.call(EntryPoint::Unload, {});
}

// Refs that are not content: a target the capture could not read, draws before any texture is
// bound and with null arrays, an unreadable texture, an ImageHash of an unreadable target.
void oddRefs(TraceWriter& t, const Addresses& a) {
    const Ref unreadable{RefState::Unreadable, 0}, absent{};
    t.call(EntryPoint::Init, {a.target, intArg(4096), intArg(4096), intArg(16384)}, {unreadable});
    t.imageHash(unreadable);
    t.call(EntryPoint::DrawTri, {0, a.texCoords, a.colours},
           {absent, t.blob(floats({0, 0, 1, 0, 0, 1})), t.blob(words({1, 2, 3})), absent, absent});
    t.call(EntryPoint::SetTexture, {a.texture, intArg(65536), intArg(65536), 0, intArg(3)});
    t.call(EntryPoint::DrawTile,
           {floatArg(0), floatArg(0), floatArg(8), floatArg(8), 0, 0, floatArg(16), floatArg(16), 0, 0, 0x808080u},
           {unreadable, absent});
    t.call(EntryPoint::EndUpdate, {}, {unreadable});
    t.call(EntryPoint::Init, {0, intArg(-1), intArg(0), intArg(-4)}, {absent});
    t.image(absent);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output-directory\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/seed-";
    Numbers n;
    bool ok = true;
    const auto save = [&](TraceWriter& t, const char* name, bool withEnd = true) {
        if (withEnd) t.end();
        ok &= t.save(dir + name);
    };
    {  // the smallest whole trace: one blob, INIT, ENDUPDATE, End (the format document's example)
        TraceWriter t(8, Platform::Posix, 0);
        const std::vector<uint8_t> image = words({0xff000000u, 0x00ffffffu});
        const Ref ref = t.blob(image);
        t.call(EntryPoint::Init, {kAddresses64.target, intArg(2), intArg(1), intArg(8)}, {ref});
        t.call(EntryPoint::EndUpdate, {}, {ref});
        save(t, "minimal");
    }
    {
        TraceWriter t(8, Platform::Posix, 0);
        scene(t, {32, 24, 16, 16, 8, 8, 0, 2}, kAddresses64, false, n);
        save(t, "posix64");
    }
    {
        TraceWriter t(4, Platform::Windows, 0);
        scene(t, {40, 30, 32, 8, 4, 4, 6, 2}, kAddresses32, false, n);
        save(t, "win32");
    }
    {
        TraceWriter t(4, Platform::Posix, 0);
        scene(t, {17, 9, 8, 8, 2, 3, 2, 1}, kAddresses32, false, n);
        save(t, "posix32");
    }
    {
        TraceWriter t(8, Platform::Windows, kFlagExact);
        scene(t, {16, 16, 16, 16, 8, 8, 4, 2}, kAddresses64, true, n);
        save(t, "exact");
    }
    {
        TraceWriter t(4, Platform::Windows, kFlagExact);
        scene(t, {8, 8, 4, 4, 2, 2, 7, 1}, kAddresses32, true, n);
        save(t, "exact-win32");
    }
    {  // a 640 x 480 image of zeros: the largest inflate ratio level 1 gives
        TraceWriter t(8, Platform::Posix, 0);
        scene(t, {640, 480, 64, 64, 16, 16, 1, 1}, kAddresses64, false, n);
        save(t, "640x480");
    }
    {
        TraceWriter t(8, Platform::Posix, 0);
        oddRefs(t, kAddresses64);
        save(t, "odd-refs");
    }
    {  // the host stopped during its second frame
        TraceWriter t(4, Platform::Windows, 0);
        scene(t, {24, 24, 16, 16, 4, 4, 5, 1}, kAddresses32, false, n);
        t.call(EntryPoint::Init, {kAddresses32.target, intArg(24), intArg(24), intArg(96)},
               {t.blob(std::vector<uint8_t>(24 * 24 * 4, 9))});
        t.call(EntryPoint::BeginUpdate, {});
        t.call(EntryPoint::FlashAdd, {0x00010101u});
        save(t, "no-end", false);
    }
    if (!ok) std::fprintf(stderr, "seeds: cannot write to %s\n", argv[1]);
    return ok ? 0 : 1;
}
