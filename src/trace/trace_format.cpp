// trace_format.cpp: the entry points' signatures and the record encoders.
#include "trace/trace_format.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

#define XXH_INLINE_ALL  // header-only, so the capture variant needs no xxHash library at run time
#include <xxhash.h>

namespace velkano::trace {
namespace {

using K = ArgKind;
using R = Read;

constexpr std::array<Signature, kEntryPointCount> kSignatures = {{
    {"INIT@16", 4, {K::Pointer, K::Int, K::Int, K::Int}, {"target", "width", "height", "pitch"}, 1, {R::TargetImage}},
    {"UNLOAD@0", 0, {}, {}, 0, {}},
    {"BEGINUPDATE@0", 0, {}, {}, 0, {}},
    {"ENDUPDATE@0", 0, {}, {}, 1, {R::TargetHash}},
    {"PAUSE@4", 1, {K::Int}, {"milliseconds"}, 0, {}},
    {"SETTEXTURE@20",
     5,
     {K::Pointer, K::Int, K::Int, K::Pointer, K::Int},
     {"indices", "width", "height", "palette", "blendMode"},
     0,
     {}},
    {"SETLIGHTMAP@12", 3, {K::Pointer, K::Int, K::Int}, {"lightmap", "width", "height"}, 0, {}},
    {"FLASHADD@4", 1, {K::Word}, {"colour"}, 0, {}},
    {"FLASHSUB@4", 1, {K::Word}, {"colour"}, 0, {}},
    {"FLASHMOD@4", 1, {K::Word}, {"colour"}, 0, {}},
    {"DRAWTRI@12",
     3,
     {K::Pointer, K::Pointer, K::Pointer},
     {"positions", "texCoords", "colours"},
     5,
     {R::Positions, R::TexCoords, R::Colours, R::Texture, R::Palette}},
    {"DRAWPERSPTRI@16",
     4,
     {K::Pointer, K::Pointer, K::Pointer, K::Pointer},
     {"positions", "texCoords", "lightmapCoords", "depths"},
     7,
     {R::Positions, R::TexCoords, R::LightmapCoords, R::Depths, R::Texture, R::Palette, R::Lightmap}},
    {"DRAWTILE@44",
     11,
     {K::Float, K::Float, K::Float, K::Float, K::Float, K::Float, K::Float, K::Float, K::Word, K::Word, K::Word},
     {"x", "y", "w", "h", "uOffset", "vOffset", "uSpan", "vSpan", "ignored1", "ignored2", "tint"},
     2,
     {R::Texture, R::Palette}},
}};

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
