// trace_format.cpp: the entry points' signatures and the record encoders.
#include "trace/trace_format.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

#define XXH_INLINE_ALL  // header-only, so the capture variant needs no xxHash library at run time
#include <xxhash.h>

namespace velkano::trace {
namespace {

using K = ArgKind;
using R = Read;

// The memory each entry point reads, recorded as refs in this order; the others read none.
struct EntryReads {
    EntryPoint entry;
    uint8_t count;
    std::array<Read, kMaxReads> reads;
};
constexpr EntryReads kReads[] = {
    {EntryPoint::Init, 1, {R::TargetImage}},
    {EntryPoint::EndUpdate, 1, {R::TargetHash}},
    {EntryPoint::DrawTri, 5, {R::Positions, R::TexCoords, R::Colours, R::Texture, R::Palette}},
    {EntryPoint::DrawPerspTri,
     7,
     {R::Positions, R::TexCoords, R::LightmapCoords, R::Depths, R::Texture, R::Palette, R::Lightmap}},
    {EntryPoint::DrawTile, 2, {R::Texture, R::Palette}},
};

template <class T>
constexpr ArgKind argKind() {
    if constexpr (std::is_pointer_v<T>) return K::Pointer;
    if constexpr (std::is_same_v<T, float>) return K::Float;
    if constexpr (std::is_same_v<T, int32_t>) return K::Int;
    static_assert(
        std::is_pointer_v<T> || std::is_same_v<T, float> || std::is_same_v<T, int32_t> || std::is_same_v<T, uint32_t>,
        "an argument type the trace has no kind for");
    return K::Word;
}

template <class Function>
struct Parameters;
template <class... Args>
struct Parameters<void(Args...)> {
    static constexpr uint8_t count = sizeof...(Args);
    static constexpr std::array<ArgKind, kMaxArgs> kinds = {argKind<Args>()...};
};

// The name of parameter `i` in a list as the entry-point list writes it: "(float x, float y)", 1: "y".
constexpr std::string_view parameterName(std::string_view list, size_t i) {
    list = list.substr(1, list.size() - 2);
    for (; i > 0; --i) list.remove_prefix(list.find(',') + 1);
    list = list.substr(0, list.find(','));
    const size_t end = list.find_last_not_of(' ') + 1;
    const size_t start = list.find_last_of(" *", end - 1) + 1;
    return list.substr(start, end - start);
}

template <class Function>
constexpr Signature makeSignature(EntryPoint entry, std::string_view name, std::string_view parameters) {
    Signature s{name, Parameters<Function>::count, Parameters<Function>::kinds, {}, 0, {}};
    for (size_t i = 0; i < s.argCount; ++i) s.argNames[i] = parameterName(parameters, i);
    for (const EntryReads& r : kReads)
        if (r.entry == entry) s.readCount = r.count, s.reads = r.reads;
    return s;
}

#define VELKANO_ENTRY_SIGNATURE(NAME, BYTES, Name, name, parameters) \
  makeSignature<void parameters>(EntryPoint::Name, VELKANO_ENTRY_DECORATED(NAME, BYTES), #parameters),
constexpr std::array<Signature, kEntryPointCount> kSignatures = {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_SIGNATURE)};
#undef VELKANO_ENTRY_SIGNATURE

void put8(Bytes& out, uint8_t v) { out.push_back(v); }
void put16(Bytes& out, uint16_t v) {
    for (int i = 0; i < 2; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put64(Bytes& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putRef(Bytes& out, Ref ref) {
    put8(out, static_cast<uint8_t>(ref.state));
    if (ref.state == RefState::Content) put64(out, ref.hash);
}

// Blobs smaller than this (the vertex arrays) are stored: deflate cannot shrink them.
constexpr size_t kSmallestDeflatedBytes = 128;

// One deflate stream, reset for each blob: setting one up allocates about 300 KB, which costs
// more than compressing a palette. Level 1: the capture runs inside the host's frame, so speed
// counts more than size. The stream makes appendBlob unfit for two threads at once.
class Deflater {
public:
    Deflater() { ready_ = deflateInit(&stream_, 1) == Z_OK; }
    ~Deflater() {
        if (ready_) deflateEnd(&stream_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Deflates `content` (a zlib stream, as compress2 writes it) into `to`, which has `room`
    // bytes; the bytes written, or 0 when it did not fit or failed.
    size_t deflate(const uint8_t* content, size_t sizeBytes, uint8_t* to, uLong room) {
        if (!ready_ || deflateReset(&stream_) != Z_OK) return 0;
        stream_.next_in = const_cast<Bytef*>(content);    // zlib's interface; it only reads
        stream_.avail_in = static_cast<uInt>(sizeBytes);  // at most kMaxBlobBytes
        stream_.next_out = to;
        stream_.avail_out = static_cast<uInt>(room);
        return ::deflate(&stream_, Z_FINISH) == Z_STREAM_END ? room - stream_.avail_out : 0;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

Deflater& deflater() {
    static Deflater one;
    return one;
}

// Starts a record; finishRecord fills in its length and appends the CRC.
size_t beginRecord(Bytes& out, RecordType type) {
    const size_t at = out.size();
    put8(out, static_cast<uint8_t>(type));
    put32(out, 0);
    return at;
}
void finishRecord(Bytes& out, size_t at) {
    const auto length = static_cast<uint32_t>(out.size() - at - 5);
    for (int i = 0; i < 4; ++i) out[at + 1 + i] = static_cast<uint8_t>(length >> (8 * i));
    put32(out, checksum(out.data() + at, out.size() - at));
}

}  // namespace

const Signature& signature(EntryPoint entry) { return kSignatures[static_cast<size_t>(entry)]; }

std::string_view readName(Read read) {
    static constexpr std::array<std::string_view, 10> kNames = {"image",   "frameHash",      "positions", "texCoords",
                                                                "colours", "lightmapCoords", "depths",    "texture",
                                                                "palette", "lightmap"};
    return kNames[static_cast<size_t>(read)];
}

int readArgument(EntryPoint entry, Read read) {
    const Signature& s = signature(entry);
    const std::string_view name = read == Read::TargetImage ? "target" : readName(read);
    for (size_t i = 0; i < s.argCount; ++i)
        if (s.args[i] == ArgKind::Pointer && s.argNames[i] == name) return static_cast<int>(i);
    return -1;
}

bool mayWriteTarget(EntryPoint entry) {
    switch (entry) {
        case EntryPoint::FlashAdd:
        case EntryPoint::FlashSub:
        case EntryPoint::FlashMod:
        case EntryPoint::DrawTile:
        case EntryPoint::DrawTri:
        case EntryPoint::DrawPerspTri: return true;
        default: return false;
    }
}

size_t fixedReadBytes(Read read) {
    switch (read) {
        case Read::Positions:
        case Read::TexCoords:
        case Read::LightmapCoords: return 6 * sizeof(float);
        case Read::Colours:
        case Read::Depths: return 3 * 4;
        case Read::Palette: return 256 * 4;
        default: return 0;
    }
}

uint32_t checksum(const uint8_t* data, size_t sizeBytes) {
    uLong value = crc32(0, Z_NULL, 0);
    while (sizeBytes > 0) {  // crc32 takes a 32-bit length
        const uInt chunk = sizeBytes > (1u << 30) ? (1u << 30) : static_cast<uInt>(sizeBytes);
        value = crc32(value, data, chunk);
        data += chunk;
        sizeBytes -= chunk;
    }
    return static_cast<uint32_t>(value);
}

uint64_t contentHash(const void* data, size_t sizeBytes) { return XXH3_64bits(data, sizeBytes); }

std::string hexText(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

void appendHeader(Bytes& out, const Header& header) {
    const size_t at = out.size();
    out.insert(out.end(), kMagic.begin(), kMagic.end());
    put16(out, header.formatVersion);
    put16(out, static_cast<uint16_t>(kHeaderBytes));
    put16(out, header.pointerBytes);
    put16(out, static_cast<uint16_t>(header.platform));
    put16(out, header.libraryMajor);
    put16(out, header.libraryMinor);
    put16(out, header.libraryPatch);
    put16(out, header.flags);
    put32(out, 0);  // reserved
    put32(out, checksum(out.data() + at, out.size() - at));
}

void appendBlob(Bytes& out, uint64_t hash, std::span<const uint8_t> content) {
    const size_t at = beginRecord(out, RecordType::Blob);
    put64(out, hash);
    put32(out, static_cast<uint32_t>(content.size()));
    const size_t encodingAt = out.size();
    put8(out, static_cast<uint8_t>(BlobEncoding::Deflate));
    const size_t dataAt = out.size();
    size_t packedBytes = 0;
    if (content.size() >= kSmallestDeflatedBytes) {
        const uLong room = compressBound(static_cast<uLong>(content.size()));
        out.resize(dataAt + room);
        packedBytes = deflater().deflate(content.data(), content.size(), out.data() + dataAt, room);
    }
    if (packedBytes != 0 && packedBytes < content.size()) {
        out.resize(dataAt + packedBytes);
    } else {
        out[encodingAt] = static_cast<uint8_t>(BlobEncoding::Stored);
        out.resize(dataAt);
        out.insert(out.end(), content.begin(), content.end());
    }
    finishRecord(out, at);
}

void appendCall(Bytes& out, const Call& call) {
    const Signature& s = signature(call.entry);
    const size_t at = beginRecord(out, RecordType::Call);
    put8(out, static_cast<uint8_t>(call.entry));
    for (size_t i = 0; i < s.argCount; ++i) put64(out, call.args[i]);
    for (size_t i = 0; i < s.readCount; ++i) putRef(out, call.reads[i]);
    finishRecord(out, at);
}

void appendImage(Bytes& out, Ref image) {
    const size_t at = beginRecord(out, RecordType::Image);
    putRef(out, image);
    finishRecord(out, at);
}

void appendImageHash(Bytes& out, Ref image) {
    const size_t at = beginRecord(out, RecordType::ImageHash);
    putRef(out, image);
    finishRecord(out, at);
}

void appendEnd(Bytes& out, uint64_t calls, uint32_t frames) {
    const size_t at = beginRecord(out, RecordType::End);
    put64(out, calls);
    put32(out, frames);
    finishRecord(out, at);
}

}  // namespace velkano::trace
