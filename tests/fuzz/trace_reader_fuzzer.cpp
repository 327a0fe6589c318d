// trace_reader_fuzzer.cpp: the trace fuzz target. The input is a trace file: TraceReader reads
// every record, and every blob is decoded where the replay tool decodes it (once when its
// record is read, then at each call or Image record that refers to it). Besides not crashing,
// hanging or allocating beyond its limits, the reader must agree with the encoders: a header
// or record it accepts encodes back to the very bytes it came from, decoded content has the
// size and hash its blob record gave, a fault stops it for good, and a clean end is an End
// record followed by nothing.
//
// Random bytes rarely carry a right CRC-32, so an input the reader refuses is read a second
// time with the header's and every record's checksum recomputed: mutations then reach the
// fields behind the checksums too.
#include "trace_reader_fuzzer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "trace/trace_reader.h"

namespace {

using namespace velkano::trace;

void require(bool holds, const char* what, const TraceReader& reader) {
    if (holds) return;
    std::fprintf(stderr, "trace fuzzer: %s (reader at offset %llu, error \"%s\")\n", what,
                 static_cast<unsigned long long>(reader.offset()), reader.error().c_str());
    std::abort();
}

// Decodes a blob as the replay tool would; false when the reader found it corrupt.
bool decode(TraceReader& reader, uint64_t hash, const std::unordered_map<uint64_t, uint32_t>& sizes,
            TraceFuzzCounts& counts) {
    const std::vector<uint8_t>* content = reader.content(hash);
    if (content == nullptr) {
        require(!reader.error().empty(), "content() failed without an error", reader);
        return false;
    }
    const auto size = sizes.find(hash);
    require(size != sizes.end() && content->size() == size->second, "decoded content size differs from its record",
            reader);
    require(contentHash(content->data(), content->size()) == hash, "decoded content does not match its hash", reader);
    ++counts.decodes;
    counts.decodedBytes += content->size();
    return true;
}

// The record encoded again, for the types whose encoding has no choice in it.
Bytes encodeAgain(const Record& record) {
    Bytes out;
    switch (record.type) {
        case RecordType::Call: appendCall(out, record.call); break;
        case RecordType::Image: appendImage(out, record.ref); break;
        case RecordType::ImageHash: appendImageHash(out, record.ref); break;
        case RecordType::End: appendEnd(out, record.endCalls, record.endFrames); break;
        case RecordType::Blob: break;  // the encoder picks its own compression
    }
    return out;
}

void putCrc(uint8_t* at, uint32_t crc) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(crc >> (8 * i));
}

// The file with the checksums that the framing reaches recomputed.
std::vector<uint8_t> withCrcsRepaired(std::vector<uint8_t> file) {
    if (file.size() < kHeaderBytes) return file;
    putCrc(file.data() + kHeaderBytes - 4, checksum(file.data(), kHeaderBytes - 4));
    for (size_t at = kHeaderBytes; file.size() - at >= kRecordFrameBytes;) {
        const uint8_t* p = file.data() + at;
        const size_t length = uint32_t{p[1]} | uint32_t{p[2]} << 8 | uint32_t{p[3]} << 16 | uint32_t{p[4]} << 24;
        if (length > file.size() - at - kRecordFrameBytes) break;
        putCrc(file.data() + at + 5 + length, checksum(p, 5 + length));
        at += kRecordFrameBytes + length;
    }
    return file;
}

// Reads one whole trace as the replay tool would, checking the reader's answers.
void readTrace(const std::vector<uint8_t>& file, TraceFuzzCounts& counts) {
    const uint8_t* data = file.data();
    const size_t size = file.size();
    TraceReader reader(file);
    if (!reader.error().empty()) return;
    // Bytes 24..27 are reserved: written as zero, not checked.
    Bytes header;
    appendHeader(header, reader.header());
    require(std::memcmp(header.data(), data, 24) == 0, "accepted header does not encode back to its bytes", reader);

    std::unordered_map<uint64_t, uint32_t> sizes;  // content bytes by blob hash
    Record record;
    RecordType last = RecordType::Blob;
    bool sawAny = false;
    while (reader.next(record)) {
        ++counts.records;
        last = record.type, sawAny = true;
        const uint64_t end = reader.offset();
        require(record.offset < end && end <= size, "record outside the file", reader);
        if (record.type == RecordType::Blob) {
            require(end - record.offset == kRecordFrameBytes + 13 + uint64_t{record.storedBytes},
                    "blob record length does not match its stored bytes", reader);
            require(record.blobBytes <= kMaxBlobBytes, "blob larger than the limit", reader);
            sizes[record.ref.hash] = record.blobBytes;
            if (!decode(reader, record.ref.hash, sizes, counts)) break;
            continue;
        }
        const Bytes again = encodeAgain(record);
        require(
            again.size() == end - record.offset && std::memcmp(again.data(), data + record.offset, again.size()) == 0,
            "accepted record does not encode back to its bytes", reader);
        bool ok = true;
        if (record.type == RecordType::Call) {
            const Signature& s = signature(record.call.entry);
            for (size_t i = 0; i < s.readCount && ok; ++i)
                if (s.reads[i] != Read::TargetHash && record.call.reads[i].state == RefState::Content)
                    ok = decode(reader, record.call.reads[i].hash, sizes, counts);
        } else if (record.type == RecordType::Image && record.ref.state == RefState::Content) {
            ok = decode(reader, record.ref.hash, sizes, counts);
        }
        if (!ok) break;
    }
    require(!reader.next(record), "the reader went on after stopping", reader);
    const bool clean = reader.error().empty();
    if (clean) ++counts.cleanEnds;
    require(!clean || (sawAny && last == RecordType::End && reader.offset() == size),
            "a clean end without an End record closing the file", reader);
}

}  // namespace

TraceFuzzCounts& traceFuzzCounts() {
    static TraceFuzzCounts counts;
    return counts;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TraceFuzzCounts& counts = traceFuzzCounts();
    const std::vector<uint8_t> file(data, data + size);
    readTrace(file, counts);
    const std::vector<uint8_t> repaired = withCrcsRepaired(file);
    if (repaired != file) readTrace(repaired, counts);
    return 0;
}
