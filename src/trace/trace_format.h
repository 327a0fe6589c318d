// trace_format.h: the trace file, as the capture variant writes it and the replay tool reads
// it (docs/trace-format.md describes the same bytes for other readers).
//
// A trace is a 32-byte header, then records, each read once in file order:
//   u8 type | u32 payload length | payload | u32 CRC-32 of type, length and payload
// All numbers are little-endian. Memory a call reads (images, texture, palette, lightmap,
// vertex arrays) is stored once per distinct content in a Blob record, keyed by its 64-bit
// XXH3 hash, before the first call that refers to it; calls carry only the hashes.
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "trace/entry_point_list.h"

namespace velkano::trace {

inline constexpr std::array<uint8_t, 8> kMagic = {'V', 'K', 'T', 'R', 'A', 'C', 'E', 0};
inline constexpr uint16_t kFormatVersion = 1;
inline constexpr size_t kHeaderBytes = 32;
inline constexpr size_t kRecordFrameBytes = 1 + 4 + 4;  // type, length, CRC
// No record payload is longer: the biggest blob the capture stores plus its own fields.
inline constexpr uint32_t kMaxPayloadBytes = (1u << 30) + 64;
// No blob content is longer (a bigger region is recorded as unreadable).
inline constexpr uint32_t kMaxBlobBytes = 1u << 30;
// Deflate expands at most about 1032 times; a blob claiming more is corrupt, so decoding
// never allocates more than this multiple of the bytes the file holds.
inline constexpr uint64_t kMaxInflateRatio = 1032;

enum class Platform : uint16_t { Posix = 1, Windows = 2 };
inline constexpr uint16_t kFlagExact = 1;  // recorded with VELKANO_TRACE_EXACT=1

struct Header {
    uint16_t formatVersion = kFormatVersion;
    uint16_t pointerBytes = 0;  // 4 or 8: the recording process
    Platform platform = Platform::Posix;
    uint16_t libraryMajor = 0, libraryMinor = 0, libraryPatch = 0;  // the library that wrote it
    uint16_t flags = 0;
};

enum class RecordType : uint8_t {
    Blob = 1,       // u64 hash | u32 content bytes | u8 encoding | data
    Call = 2,       // one entry-point call, written before the library runs it
    Image = 3,      // the host changed the target: it now holds this content (a ref)
    ImageHash = 4,  // the target as the previous call left it (a ref, hash only); exact mode
    End = 5,        // u64 calls | u32 frames: the host's process ended cleanly
};

enum class BlobEncoding : uint8_t { Stored = 0, Deflate = 1 };

// The thirteen entry points, numbered in the order of their list (a call record holds the number).
#define VELKANO_ENTRY_ENUMERATOR(NAME, BYTES, Name, name, parameters) Name,
enum class EntryPoint : uint8_t { VELKANO_ENTRY_POINTS(VELKANO_ENTRY_ENUMERATOR) };
#undef VELKANO_ENTRY_ENUMERATOR
#define VELKANO_ENTRY_ONE(NAME, BYTES, Name, name, parameters) +1
inline constexpr size_t kEntryPointCount = 0 VELKANO_ENTRY_POINTS(VELKANO_ENTRY_ONE);
#undef VELKANO_ENTRY_ONE

// How an argument is shown; every argument is stored as a u64 (32-bit values zero-extended,
// floats as their bits, pointers as addresses of the recording process).
enum class ArgKind : uint8_t { Pointer, Int, Word, Float };

// The host memory a call reads, each recorded as a ref in this order.
enum class Read : uint8_t {
    TargetImage,     // INIT: the image's pitch * height bytes
    TargetHash,      // ENDUPDATE: hash only, of the image as the library left the frame
    Positions,       // 6 floats
    TexCoords,       // 6 floats
    Colours,         // 3 words
    LightmapCoords,  // 6 floats
    Depths,          // 3 floats
    Texture,         // width * height index bytes of the bound texture
    Palette,         // 256 words
    Lightmap,        // width * height words of the bound lightmap
};

inline constexpr size_t kMaxArgs = 11;
inline constexpr size_t kMaxReads = 7;

struct Signature {
    std::string_view name;  // the exported name, decorated: "INIT@16"
    uint8_t argCount;
    std::array<ArgKind, kMaxArgs> args;
    std::array<std::string_view, kMaxArgs> argNames;
    uint8_t readCount;
    std::array<Read, kMaxReads> reads;
};

const Signature& signature(EntryPoint entry);
std::string_view readName(Read read);
// The pointer argument read `read` of `entry` goes through (the vertex arrays, INIT's target),
// or -1 for the bound images and the frame hash.
int readArgument(EntryPoint entry, Read read);
// Whether the call may write the target image: the flashes and the three draws.
bool mayWriteTarget(EntryPoint entry);
// Bytes of a fixed-size read (the vertex arrays and the palette); 0 for the others, whose
// size comes from the call or the bindings.
size_t fixedReadBytes(Read read);

// A reference to memory a call read.
enum class RefState : uint8_t {
    Absent = 0,      // not read: a null pointer, or nothing bound
    Content = 1,     // read: `hash` names the blob (or, for TargetHash, is the hash itself)
    Unreadable = 2,  // the capture could not read it (not mapped, or too big)
};
struct Ref {
    RefState state = RefState::Absent;
    uint64_t hash = 0;
    bool operator==(const Ref&) const = default;
};

struct Call {
    EntryPoint entry = EntryPoint::Init;
    std::array<uint64_t, kMaxArgs> args{};  // signature(entry).argCount of them used
    std::array<Ref, kMaxReads> reads{};     // signature(entry).readCount of them used
};

// Argument i of a call as the entry point received it: a 32-bit integer, word or float.
inline uint32_t argWord(const Call& call, size_t i) { return static_cast<uint32_t>(call.args[i]); }
inline int32_t argInt(const Call& call, size_t i) { return static_cast<int32_t>(argWord(call, i)); }
inline float argFloat(const Call& call, size_t i) { return std::bit_cast<float>(argWord(call, i)); }

// The checksum of the header (its first 28 bytes) and of a record (type, length and payload):
// zlib's CRC-32.
uint32_t checksum(const uint8_t* data, size_t sizeBytes);
// The content hash of blobs and frames: XXH3, 64 bits, seed 0.
uint64_t contentHash(const void* data, size_t sizeBytes);
// `value` as lower-case hex, zero-padded to `digits`: how hashes and words are shown.
std::string hexText(uint64_t value, int digits = 16);

// ---- Writing: each function appends one whole record (or the header) to `out` --------------

using Bytes = std::vector<uint8_t>;
void appendHeader(Bytes& out, const Header& header);
// Deflates `content` when that makes it smaller, else stores it. content.size() <= kMaxBlobBytes.
// It keeps one deflate stream: one thread at a time.
void appendBlob(Bytes& out, uint64_t hash, std::span<const uint8_t> content);
void appendCall(Bytes& out, const Call& call);
void appendImage(Bytes& out, Ref image);
void appendImageHash(Bytes& out, Ref image);
void appendEnd(Bytes& out, uint64_t calls, uint32_t frames);

}  // namespace velkano::trace
