// recorder_test.cpp: the capture's behaviours a host run cannot show: reads that must not
// fault, what each ref holds when the host's memory changes or cannot be read, and when the
// recorder writes Image records. The recorder's bytes are decoded with the trace reader.
#include "capture/recorder.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <sys/mman.h>
#  include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../support/guarded_bytes.h"
#include "capture/call_scope.h"
#include "capture/capture_platform.h"
#include "context/texture_binding.h"
#include "effects/flash.h"
#include "tile/tile_blit.h"
#include "trace/trace_reader.h"

namespace velkano::capture {
namespace {

using testing::GuardedBytes;
using trace::EntryPoint;
using trace::Record;
using trace::RecordType;
using trace::Ref;
using trace::RefState;

constexpr Ref kAbsent{};
constexpr Ref kUnreadable{RefState::Unreadable, 0};
// Below 64 KiB: never mapped, on Linux (mmap_min_addr) as on Windows.
const auto* const kDangling = reinterpret_cast<uint8_t*>(uintptr_t{0x8000});

Ref contentOf(const void* data, size_t sizeBytes) { return {RefState::Content, trace::contentHash(data, sizeBytes)}; }

// A page that was mapped and is not any more.
class UnmappedPage {
public:
#ifdef _WIN32
    UnmappedPage() {
        at_ = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        VirtualFree(at_, 0, MEM_RELEASE);
    }
#else
    UnmappedPage() {
        const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        at_ = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        munmap(at_, page);
    }
#endif
    const void* at() const { return at_; }

private:
    void* at_;
};

class MemorySink final : public TraceSink {
public:
    bool write(std::span<const uint8_t> bytes) override {
        file.insert(file.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::vector<uint8_t> file;
};

// A recorder over a context of its own. Each helper makes a call as its entry point does:
// recorded, run on the context (only the binding calls, which read nothing, when `run` is
// off), then the after-call work.
class Capture {
public:
    explicit Capture(bool exact = false) : recorder(sink, context, header(exact)) {}
    ~Capture() { destroyContext(context); }

    template <typename... Args>
    void before(EntryPoint entry, Args... args) {
        const std::array<uint64_t, sizeof...(Args)> values{toArg(args)...};
        recorder.beforeCall(entry, values);
    }
    void init(void* target, int32_t width, int32_t height, int32_t pitch) {
        before(EntryPoint::Init, target, width, height, pitch);
        initContext(context, target, width, height, pitch);
        recorder.afterCall(EntryPoint::Init);
    }
    void simple(EntryPoint entry) {  // BEGINUPDATE, ENDUPDATE, UNLOAD
        before(entry);
        if (entry == EntryPoint::EndUpdate) endUpdate(context);
        recorder.afterCall(entry);
    }
    void flash(EntryPoint entry, uint32_t colour) {
        before(entry, colour);
        if (entry == EntryPoint::FlashAdd) flashAdd(context, colour);
        if (entry == EntryPoint::FlashSub) flashSub(context, colour);
        recorder.afterCall(entry);
    }
    void bindTexture(const uint8_t* indices, int32_t width, int32_t height, const uint32_t* palette) {
        before(EntryPoint::SetTexture, indices, width, height, palette, int32_t{0});
        setTexture(context, indices, width, height, palette, 0);
        recorder.afterCall(EntryPoint::SetTexture);
    }
    void bindLightmap(const uint32_t* lightmap, int32_t width, int32_t height) {
        before(EntryPoint::SetLightmap, lightmap, width, height);
        setLightmap(context, lightmap, width, height);
        recorder.afterCall(EntryPoint::SetLightmap);
    }
    void tile(bool run) {
        const float x = 1, y = 1, w = 8, h = 8, span = 4;
        before(EntryPoint::DrawTile, x, y, w, h, 0.0f, 0.0f, span, span, 7u, 9u, 0xFFFFFFFFu);
        if (run) drawTile(context, {x, y, w, h, 0, 0, span, span}, 0xFFFFFFFFu);
        recorder.afterCall(EntryPoint::DrawTile);
    }

    // Every record written, the End record last; blob contents stay available in `reader`.
    std::vector<Record> finish() {
        recorder.finish();
        reader = std::make_unique<trace::TraceReader>(sink.file);
        std::vector<Record> records;
        for (Record record; reader->next(record);) records.push_back(record);
        EXPECT_EQ(reader->error(), "");
        EXPECT_FALSE(records.empty() || records.back().type != RecordType::End) << "no End record";
        return records;
    }
    std::vector<uint8_t> blob(uint64_t hash) {
        const std::vector<uint8_t>* content = reader->content(hash);
        return content != nullptr ? *content : std::vector<uint8_t>{};
    }

    MemorySink sink;
    RenderContext context{};
    Recorder recorder;
    std::unique_ptr<trace::TraceReader> reader;

private:
    static trace::Header header(bool exact) {
        trace::Header header;
        header.pointerBytes = sizeof(void*);
        header.flags = exact ? trace::kFlagExact : 0;
        return header;
    }
};

std::vector<Record> callsOf(const std::vector<Record>& records, EntryPoint entry) {
    std::vector<Record> calls;
    for (const Record& record : records)
        if (record.type == RecordType::Call && record.call.entry == entry) calls.push_back(record);
    return calls;
}

// The records other than blobs, as the entry point's name or the record type.
std::vector<std::string> outline(const std::vector<Record>& records) {
    std::vector<std::string> names;
    for (const Record& record : records) {
        if (record.type == RecordType::Call) names.emplace_back(trace::signature(record.call.entry).name);
        if (record.type == RecordType::Image) names.emplace_back("Image");
        if (record.type == RecordType::ImageHash) names.emplace_back("ImageHash");
        if (record.type == RecordType::End) names.emplace_back("End");
    }
    return names;
}

TEST(copyReadable, copiesReadableMemoryAndRefusesTheRestWithoutFaulting) {
    GuardedBytes page(4096);  // a PROT_NONE (PAGE_NOACCESS) page right after it
    testing::Random(3).fill(page);
    const UnmappedPage unmapped;
    const bool refusesProtected = readMethod() != ReadMethod::ProcSelfMem;
    static const size_t kWrapBytes = 64;
    const struct {
        const void* from;
        size_t sizeBytes;
        bool copies;
        bool compare;  // the test itself may read it
        const char* what;
    } cases[] = {
        {page.data(), 4096, true, true, "a readable page"},
        {page.data() + 4000, 96, true, true, "its last bytes"},
        {nullptr, 0, true, false, "nothing"},
        {page.data() + 4096, 1, !refusesProtected, false, "the protected page"},
        {page.data() + 4000, 97, !refusesProtected, false, "running into the protected page"},
        {unmapped.at(), 16, false, false, "an unmapped page"},
        {kDangling, 4, false, false, "a low address"},
        {reinterpret_cast<const void*>(UINTPTR_MAX - kWrapBytes / 2), kWrapBytes, false, false,
         "wrapping the address space"},
    };
    std::vector<uint8_t> copy(4096);
    for (const auto& c : cases) {
        std::memset(copy.data(), 0xA5, copy.size());
        EXPECT_EQ(copyReadable(copy.data(), c.from, c.sizeBytes), c.copies) << c.what;
        if (c.compare) {
            EXPECT_EQ(std::memcmp(copy.data(), c.from, c.sizeBytes), 0) << c.what;
        }
    }
#ifndef _WIN32
    // The fallback where process_vm_readv is forbidden copies and refuses the same way.
    std::memset(copy.data(), 0, copy.size());
    EXPECT_TRUE(copyReadableFromProcMem(copy.data(), page.data(), 4096));
    EXPECT_EQ(std::memcmp(copy.data(), page.data(), 4096), 0);
    EXPECT_FALSE(copyReadableFromProcMem(copy.data(), unmapped.at(), 16));
    EXPECT_FALSE(copyReadableFromProcMem(copy.data(), kDangling, 4));
#endif
}

// The library reads the palette (and texture, lightmap) afresh at every draw, so the trace
// must hold it as each draw saw it; unchanged content is stored once.
TEST(Recorder, recordsMemoryAsEachDrawReadsIt) {
    Capture capture;
    std::vector<uint32_t> image(16 * 16);
    std::array<uint8_t, 16> texture{};
    std::array<uint32_t, 256> palette{};
    for (size_t i = 0; i < texture.size(); ++i) texture[i] = static_cast<uint8_t>(i);
    palette[5] = 0x00FF8040;
    capture.init(image.data(), 16, 16, 64);
    capture.bindTexture(texture.data(), 4, 4, palette.data());
    capture.tile(true);
    const std::array<uint32_t, 256> firstPalette = palette;
    palette[5] = 0x00102030;  // in place, with no SETTEXTURE between the draws
    capture.tile(true);

    const std::vector<Record> records = capture.finish();
    const std::vector<Record> tiles = callsOf(records, EntryPoint::DrawTile);
    ASSERT_EQ(tiles.size(), 2u);
    const Ref firstRef = tiles[0].call.reads[1], secondRef = tiles[1].call.reads[1];  // texture, palette
    EXPECT_EQ(firstRef, contentOf(firstPalette.data(), 1024));
    EXPECT_EQ(secondRef, contentOf(palette.data(), 1024));
    EXPECT_NE(firstRef, secondRef);
    const std::vector<uint8_t> secondBlob = capture.blob(secondRef.hash);
    ASSERT_EQ(secondBlob.size(), 1024u);
    EXPECT_EQ(std::memcmp(secondBlob.data(), palette.data(), 1024), 0);
    EXPECT_EQ(tiles[0].call.reads[0], contentOf(texture.data(), 16));
    EXPECT_EQ(tiles[1].call.reads[0], tiles[0].call.reads[0]);
    EXPECT_EQ(tiles[1].call.args[8], 7u) << "the ignored words are arguments too";
    EXPECT_EQ(tiles[1].call.args[2], 0x41000000u) << "w = 8.0f, as its bits";
}

TEST(Recorder, defaultModeRecordsTheImageOnlyWhenTheHostChangedIt) {
    Capture capture;
    std::vector<uint32_t> image(8 * 4, 0x00101010);
    capture.init(image.data(), 8, 4, 32);
    capture.simple(EntryPoint::BeginUpdate);
    capture.flash(EntryPoint::FlashAdd, 0x01010101);  // the host left the image alone
    capture.simple(EntryPoint::EndUpdate);

    capture.simple(EntryPoint::BeginUpdate);
    image[3] = 0x00FFFFFF;  // the host draws between frames
    const std::vector<uint32_t> changed = image;
    capture.flash(EntryPoint::FlashAdd, 0x01010101);
    const uint64_t frameHash = trace::contentHash(image.data(), image.size() * 4);
    capture.simple(EntryPoint::EndUpdate);

    // A call outside a frame changes the image, then the host clears it back to what the trace
    // last knew: the hash matches, but the replay holds the flashed image, so it must be told.
    const std::vector<uint32_t> known = image;
    capture.flash(EntryPoint::FlashSub, 0x02020202);
    capture.simple(EntryPoint::BeginUpdate);
    std::copy(known.begin(), known.end(), image.begin());
    capture.flash(EntryPoint::FlashSub, 0x02020202);
    capture.simple(EntryPoint::EndUpdate);

    capture.simple(EntryPoint::BeginUpdate);
    image[0] = 0;  // seen at ENDUPDATE, the frame's first call that uses the image
    capture.simple(EntryPoint::EndUpdate);

    const std::vector<Record> records = capture.finish();
    const std::vector<std::string> want = {"INIT@16",
                                           "BEGINUPDATE@0",
                                           "FLASHADD@4",
                                           "ENDUPDATE@0",
                                           "BEGINUPDATE@0",
                                           "Image",
                                           "FLASHADD@4",
                                           "ENDUPDATE@0",
                                           "FLASHSUB@4",
                                           "BEGINUPDATE@0",
                                           "Image",
                                           "FLASHSUB@4",
                                           "ENDUPDATE@0",
                                           "BEGINUPDATE@0",
                                           "Image",
                                           "ENDUPDATE@0",
                                           "End"};
    EXPECT_EQ(outline(records), want);

    const Record* firstImage = nullptr;
    for (const Record& record : records)
        if (record.type == RecordType::Image && firstImage == nullptr) firstImage = &record;
    ASSERT_NE(firstImage, nullptr);
    const std::vector<uint8_t> content = capture.blob(firstImage->ref.hash);
    ASSERT_EQ(content.size(), changed.size() * 4);
    EXPECT_EQ(std::memcmp(content.data(), changed.data(), content.size()), 0);
    const std::vector<Record> ends = callsOf(records, EntryPoint::EndUpdate);
    ASSERT_EQ(ends.size(), 4u);
    EXPECT_EQ(ends[1].call.reads[0], (Ref{RefState::Content, frameHash}));
    EXPECT_EQ(records.back().endCalls, 13u);
    EXPECT_EQ(records.back().endFrames, 4u);
}

// Exact mode checks before every call and hashes the image after every drawing call.
TEST(Recorder, exactModeChecksAroundEveryCall) {
    Capture capture(true);
    std::vector<uint32_t> image(8 * 4, 0x00404040);
    capture.init(image.data(), 8, 4, 32);
    capture.flash(EntryPoint::FlashAdd, 0x01010101);
    const Ref afterAdd = contentOf(image.data(), image.size() * 4);
    image[7] = 0x00FFFFFF;  // mid-frame, between two calls
    capture.flash(EntryPoint::FlashSub, 0x01010101);
    capture.simple(EntryPoint::EndUpdate);

    const std::vector<Record> records = capture.finish();
    const std::vector<std::string> want = {"INIT@16",    "FLASHADD@4", "ImageHash",   "Image",
                                           "FLASHSUB@4", "ImageHash",  "ENDUPDATE@0", "End"};
    EXPECT_EQ(outline(records), want);
    std::vector<Ref> hashes;
    for (const Record& record : records)
        if (record.type == RecordType::ImageHash) hashes.push_back(record.ref);
    ASSERT_EQ(hashes.size(), 2u);
    EXPECT_EQ(hashes[0], afterAdd);
    EXPECT_EQ(hashes[1], contentOf(image.data(), image.size() * 4));
    EXPECT_EQ(callsOf(records, EntryPoint::EndUpdate)[0].call.reads[0], hashes[1]);
}

// Whatever the host passes, the recorder reads nothing it cannot and says so in the ref.
// Only the recorder and the binding calls run here: the drawing calls would fault on these.
TEST(Recorder, hostileArgumentsRecordAbsentOrUnreadable) {
    GuardedBytes edge(1000);  // 1000 bytes, then a protected page
    std::vector<uint8_t> buffer(4096);
    std::array<uint32_t, 256> palette{};
    const UnmappedPage unmapped;
    const auto* gone = static_cast<const uint8_t*>(unmapped.at());
    const auto* goneWords = static_cast<const uint32_t*>(unmapped.at());
    const bool refusesProtected = readMethod() != ReadMethod::ProcSelfMem;
    // Content only where the system reads protected pages: its hash is then not compared.
    const Ref edgePalette = refusesProtected ? kUnreadable : Ref{RefState::Content, 0};

    Capture capture;
    const struct {
        void* target;
        int32_t width, height, pitch;
        Ref want;
    } inits[] = {
        {nullptr, INT32_MAX, INT32_MAX, INT32_MAX, kAbsent},
        {buffer.data(), 16, INT32_MIN, 64, kAbsent},
        {buffer.data(), 16, 16, INT32_MIN, kAbsent},
        {buffer.data(), 16, 0, 64, kAbsent},  // a target of 0 rows
        {const_cast<uint8_t*>(kDangling), 16, 16, 64, kUnreadable},
        {buffer.data(), 1, INT32_MAX, INT32_MAX, kUnreadable},  // beyond any blob
        {buffer.data(), 1, 1, 4096, contentOf(buffer.data(), 4096)},
    };
    for (const auto& c : inits) {
        capture.before(EntryPoint::Init, c.target, c.width, c.height, c.pitch);
        capture.recorder.afterCall(EntryPoint::Init);  // INIT itself would try to allocate
    }
    capture.context.target = nullptr;  // so the frame check below has no image to read

    const struct {
        const uint8_t* indices;
        int32_t width, height;
        const uint32_t* palette;
        Ref textureRef, paletteRef;
    } textures[] = {
        {kDangling, 4, 4, palette.data(), kUnreadable, contentOf(palette.data(), 1024)},
        {gone, 64, 64, palette.data(), kUnreadable, contentOf(palette.data(), 1024)},
        {buffer.data(), INT32_MAX, INT32_MAX, palette.data(), kUnreadable, contentOf(palette.data(), 1024)},
        {buffer.data(), INT32_MIN, 4, palette.data(), kAbsent, kAbsent},  // not usable: not drawn
        {buffer.data(), 4, 4, nullptr, kAbsent, kAbsent},
        {buffer.data(), 4, 4, reinterpret_cast<const uint32_t*>(edge.data()), contentOf(buffer.data(), 16),
         edgePalette},
    };
    for (const auto& c : textures) {
        capture.bindTexture(c.indices, c.width, c.height, c.palette);
        capture.simple(EntryPoint::BeginUpdate);
        capture.tile(false);
        capture.simple(EntryPoint::EndUpdate);
    }

    const float* noFloats = nullptr;
    const auto* goneFloats = static_cast<const float*>(unmapped.at());
    const auto* edgeFloats = reinterpret_cast<const float*>(edge.data() + 1000 - 12);  // half of 24 bytes
    capture.bindLightmap(goneWords, 65536, 65536);                                     // 16 GiB claimed
    capture.before(EntryPoint::DrawPerspTri, noFloats, goneFloats, edgeFloats, goneFloats);
    capture.recorder.afterCall(EntryPoint::DrawPerspTri);
    capture.bindLightmap(goneWords, INT32_MIN, 4);
    capture.before(EntryPoint::DrawPerspTri, noFloats, noFloats, noFloats, noFloats);
    capture.recorder.afterCall(EntryPoint::DrawPerspTri);

    EXPECT_TRUE(capture.recorder.recording());
    const std::vector<Record> records = capture.finish();
    EXPECT_EQ(records.back().endCalls, std::size(inits) + 4 * std::size(textures) + 4);
    const std::vector<Record> initCalls = callsOf(records, EntryPoint::Init);
    ASSERT_EQ(initCalls.size(), std::size(inits));
    for (size_t i = 0; i < initCalls.size(); ++i) EXPECT_EQ(initCalls[i].call.reads[0], inits[i].want) << "INIT " << i;
    EXPECT_EQ(initCalls[1].call.args[2], 0x80000000u) << "INT32_MIN as its 32 bits";

    const std::vector<Record> tiles = callsOf(records, EntryPoint::DrawTile);
    ASSERT_EQ(tiles.size(), std::size(textures));
    for (size_t i = 0; i < tiles.size(); ++i) {
        EXPECT_EQ(tiles[i].call.reads[0], textures[i].textureRef) << "texture " << i;
        EXPECT_EQ(tiles[i].call.reads[1].state, textures[i].paletteRef.state) << "palette " << i;
        if (textures[i].paletteRef.hash != 0) {
            EXPECT_EQ(tiles[i].call.reads[1].hash, textures[i].paletteRef.hash) << "palette " << i;
        }
    }
    EXPECT_EQ(callsOf(records, EntryPoint::EndUpdate)[0].call.reads[0], kAbsent) << "no image to hash";

    const std::vector<Record> triangles = callsOf(records, EntryPoint::DrawPerspTri);
    ASSERT_EQ(triangles.size(), 2u);
    const std::array<RefState, 7> firstWant = {
        RefState::Absent,     RefState::Unreadable, refusesProtected ? RefState::Unreadable : RefState::Content,
        RefState::Unreadable, RefState::Content,    edgePalette.state,
        RefState::Unreadable};
    for (size_t i = 0; i < firstWant.size(); ++i) EXPECT_EQ(triangles[0].call.reads[i].state, firstWant[i]) << i;
    EXPECT_EQ(triangles[1].call.reads[6], kAbsent) << "a lightmap that cannot be drawn from";
}

}  // namespace
}  // namespace velkano::capture
