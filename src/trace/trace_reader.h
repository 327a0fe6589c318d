// trace_reader.h: reads a trace in one pass, trusting nothing in it.
//
// Every fault (a short file, a bad CRC, an unknown type or entry point, a length out of
// range, a ref to content not yet in the file, a blob whose content does not match its hash)
// stops the reader with a message naming the byte offset of the record and what was wrong.
// Memory stays within a small multiple of the file's size: blobs are kept compressed and
// decoded on demand, each at most kMaxInflateRatio times its stored bytes; the most recently
// used decoded contents are kept, up to kDecodedCacheBytes, so a replay that draws from the same
// few textures again and again decodes each of them once.
#pragma once
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "trace/trace_format.h"

namespace velkano::trace {

// One record as the reader hands it out. Blob records are kept by the reader and reported
// too (for listings); the fields that apply to `type` are set.
struct Record {
    RecordType type = RecordType::End;
    uint64_t offset = 0;       // of the record's type byte in the file
    Call call;                 // Call
    Ref ref;                   // Image, ImageHash; Blob: its hash
    uint32_t blobBytes = 0;    // Blob: content bytes
    uint32_t storedBytes = 0;  // Blob: bytes in the file
    uint64_t endCalls = 0;     // End
    uint32_t endFrames = 0;    // End
};

class TraceReader {
public:
    // Takes the whole file. Checks the header at once: error() tells why when it is unusable.
    explicit TraceReader(std::vector<uint8_t> file);

    const Header& header() const { return header_; }
    // The next record in file order. False at the end of the file, after the End record, or
    // at the first fault; then error() is empty only for a clean end (an End record, followed
    // by nothing).
    bool next(Record& record);
    const std::string& error() const { return error_; }
    // Bytes of the file read so far, for progress; where the next record begins.
    uint64_t offset() const { return offset_; }
    // Goes back to `offset`, the start of a record read before (an offset() seen earlier), to
    // read from there again; false, changing nothing, beyond what was read. The blobs read
    // since stay known, and reading their records again is not a fault.
    bool seek(uint64_t offset);
    // The content bytes of a blob read so far; false when none of `hash` was read.
    bool blobBytes(uint64_t hash, uint32_t& bytes) const;
    uint64_t fileBytes() const { return file_.size(); }

    // The content of a blob already read, decoded and checked against its hash, or null with
    // error() set (the blob is then corrupt: the caller should stop). The pointer stays valid
    // until the next call of content().
    static constexpr uint64_t kDecodedCacheBytes = 64ull << 20;
    const std::vector<uint8_t>* content(uint64_t hash);

private:
    bool fail(uint64_t at, const std::string& what);

    struct StoredBlob {
        uint64_t at;  // offset of the data in file_
        uint32_t storedBytes;
        uint32_t contentBytes;
        BlobEncoding encoding;
    };
    std::vector<uint8_t> file_;
    Header header_;
    uint64_t offset_ = 0;
    uint64_t furthest_ = 0;  // the furthest offset_ reached, for seek()
    bool done_ = false;
    std::string error_;
    std::unordered_map<uint64_t, StoredBlob> blobs_;
    struct Decoded {
        uint64_t hash;
        std::vector<uint8_t> content;
    };
    std::list<Decoded> decoded_;  // most recently used first
    std::unordered_map<uint64_t, std::list<Decoded>::iterator> decodedAt_;
    uint64_t decodedBytes_ = 0;
};

}  // namespace velkano::trace
