// trace_reader.cpp: one pass over an untrusted trace.
#include "trace/trace_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace velkano::trace {
namespace {

// Reads little-endian fields from one record's payload; a read past its end sets `short_`.
class Fields {
public:
    Fields(const uint8_t* data, size_t sizeBytes) : data_(data), size_(sizeBytes) {}
    uint64_t get(int bytes) {
        if (size_ - at_ < static_cast<size_t>(bytes)) {
            short_ = true;
            return 0;
        }
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= uint64_t{data_[at_ + i]} << (8 * i);
        at_ += static_cast<size_t>(bytes);
        return value;
    }
    void skip(size_t bytes) { at_ += std::min(bytes, size_ - at_); }
    bool isShort() const { return short_; }
    size_t left() const { return size_ - at_; }
    size_t at() const { return at_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool short_ = false;
};

}  // namespace

TraceReader::TraceReader(std::vector<uint8_t> file) : file_(std::move(file)) {
    if (file_.size() < kHeaderBytes) {
        fail(0, std::to_string(file_.size()) + " bytes: shorter than a trace header");
        return;
    }
    if (!std::equal(kMagic.begin(), kMagic.end(), file_.begin())) {
        fail(0, "not a Velkano trace (wrong magic)");
        return;
    }
    Fields f(file_.data() + kMagic.size(), kHeaderBytes - kMagic.size());
    header_.formatVersion = static_cast<uint16_t>(f.get(2));
    const auto headerBytes = static_cast<uint16_t>(f.get(2));
    header_.pointerBytes = static_cast<uint16_t>(f.get(2));
    header_.platform = static_cast<Platform>(f.get(2));
    header_.libraryMajor = static_cast<uint16_t>(f.get(2));
    header_.libraryMinor = static_cast<uint16_t>(f.get(2));
    header_.libraryPatch = static_cast<uint16_t>(f.get(2));
    header_.flags = static_cast<uint16_t>(f.get(2));
    f.get(4);  // reserved
    const auto storedCrc = static_cast<uint32_t>(f.get(4));
    if (header_.formatVersion != kFormatVersion) {
        fail(8, "format version " + std::to_string(header_.formatVersion) + ", this reader knows version " +
                    std::to_string(kFormatVersion));
        return;
    }
    if (storedCrc != checksum(file_.data(), kHeaderBytes - 4)) {
        fail(0, "the header's checksum does not match (corrupt header)");
        return;
    }
    if (headerBytes != kHeaderBytes) {
        fail(10, "header size " + std::to_string(headerBytes) + ", expected " + std::to_string(kHeaderBytes));
        return;
    }
    if (header_.pointerBytes != 4 && header_.pointerBytes != 8) {
        fail(12, "pointer size " + std::to_string(header_.pointerBytes) + " (neither 4 nor 8)");
        return;
    }
    if (header_.platform != Platform::Posix && header_.platform != Platform::Windows) {
        fail(14, "unknown platform " + std::to_string(static_cast<unsigned>(header_.platform)));
        return;
    }
    if ((header_.flags & ~kFlagExact) != 0) {
        fail(22, "unknown flags 0x" + hexText(header_.flags, 4));
        return;
    }
    offset_ = kHeaderBytes;
    furthest_ = offset_;
}

bool TraceReader::fail(uint64_t at, const std::string& what) {
    error_ = "offset " + std::to_string(at) + ": " + what;
    done_ = true;
    return false;
}

bool TraceReader::next(Record& record) {
    if (done_) return false;
    const uint64_t at = offset_;
    const uint64_t left = file_.size() - at;
    if (left == 0) return fail(at, "the trace ends without its end record: the recording process stopped early");
    if (left < kRecordFrameBytes) return fail(at, "truncated record: " + std::to_string(left) + " bytes left");
    const uint8_t* bytes = file_.data() + at;
    const uint32_t length = uint32_t{bytes[1]} | uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]} << 16 |
                            uint32_t{bytes[4]} << 24;
    if (length > kMaxPayloadBytes) return fail(at, "record length " + std::to_string(length) + " is too long");
    if (left < kRecordFrameBytes + uint64_t{length})
        return fail(at, "truncated record: " + std::to_string(length) + " payload bytes announced, " +
                            std::to_string(left - kRecordFrameBytes) + " left");
    Fields crc(bytes + 5 + length, 4);
    if (static_cast<uint32_t>(crc.get(4)) != checksum(bytes, 5 + size_t{length}))
        return fail(at, "the record's checksum does not match (corrupt record)");

    record = Record{};
    record.offset = at;
    Fields f(bytes + 5, length);
    const auto readRef = [&](Ref& ref) -> bool {
        const auto state = static_cast<uint8_t>(f.get(1));
        if (state > static_cast<uint8_t>(RefState::Unreadable)) return false;
        ref.state = static_cast<RefState>(state);
        if (ref.state == RefState::Content) ref.hash = f.get(8);
        return !f.isShort();
    };
    // A Content ref must name a blob read earlier (TargetHash refs carry a bare hash).
    const auto known = [&](const Ref& ref) { return ref.state != RefState::Content || blobs_.count(ref.hash) != 0; };

    switch (static_cast<RecordType>(bytes[0])) {
        case RecordType::Blob: {
            record.type = RecordType::Blob;
            const uint64_t hash = f.get(8);
            const auto contentBytes = static_cast<uint32_t>(f.get(4));
            const auto encoding = static_cast<uint8_t>(f.get(1));
            if (f.isShort()) return fail(at, "blob record too short");
            const auto stored = static_cast<uint32_t>(f.left());
            if (contentBytes > kMaxBlobBytes)
                return fail(at, "blob of " + std::to_string(contentBytes) + " bytes, too big");
            if (encoding == static_cast<uint8_t>(BlobEncoding::Stored)) {
                if (stored != contentBytes) return fail(at, "stored blob: size does not match its record");
            } else if (encoding == static_cast<uint8_t>(BlobEncoding::Deflate)) {
                if (contentBytes > kMaxInflateRatio * stored + 64)
                    return fail(at, "compressed blob claims " + std::to_string(contentBytes) + " bytes from " +
                                        std::to_string(stored) + ": more than deflate can give");
            } else {
                return fail(at, "unknown blob encoding " + std::to_string(encoding));
            }
            const StoredBlob blob{at + 5 + f.at(), stored, contentBytes, static_cast<BlobEncoding>(encoding)};
            // The same record read again after seek() is the blob already known.
            if (const auto known = blobs_.find(hash); known != blobs_.end() && known->second.at != blob.at)
                return fail(at, "blob #" + hexText(hash) + " appears twice");
            blobs_[hash] = blob;
            f.skip(stored);
            record.ref = Ref{RefState::Content, hash};
            record.blobBytes = contentBytes;
            record.storedBytes = stored;
            break;
        }
        case RecordType::Call: {
            record.type = RecordType::Call;
            const auto entry = static_cast<uint8_t>(f.get(1));
            if (f.isShort() || entry >= kEntryPointCount)
                return fail(at, "unknown entry point " + std::to_string(entry));
            record.call.entry = static_cast<EntryPoint>(entry);
            const Signature& s = signature(record.call.entry);
            for (size_t i = 0; i < s.argCount; ++i) record.call.args[i] = f.get(8);
            for (size_t i = 0; i < s.readCount; ++i) {
                Ref& ref = record.call.reads[i];
                if (!readRef(ref))
                    return fail(at, std::string(s.name) + ": bad reference to " + std::string(readName(s.reads[i])));
                if (s.reads[i] != Read::TargetHash && !known(ref))
                    return fail(at, std::string(s.name) + ": " + std::string(readName(s.reads[i])) + " refers to #" +
                                        hexText(ref.hash) + ", not in the trace before it");
            }
            if (f.isShort()) return fail(at, std::string(s.name) + ": call record too short");
            break;
        }
        case RecordType::Image:
        case RecordType::ImageHash: {
            record.type = static_cast<RecordType>(bytes[0]);
            if (!readRef(record.ref)) return fail(at, "bad image reference");
            if (record.type == RecordType::Image && !known(record.ref))
                return fail(at, "image refers to #" + hexText(record.ref.hash) + ", not in the trace before it");
            break;
        }
        case RecordType::End:
            record.type = RecordType::End;
            record.endCalls = f.get(8);
            record.endFrames = static_cast<uint32_t>(f.get(4));
            if (f.isShort()) return fail(at, "end record too short");
            break;
        default: return fail(at, "unknown record type " + std::to_string(bytes[0]));
    }
    if (f.left() != 0) return fail(at, "record has " + std::to_string(f.left()) + " bytes more than its fields");

    offset_ = at + kRecordFrameBytes + length;
    furthest_ = std::max(furthest_, offset_);
    if (record.type == RecordType::End) {
        done_ = true;
        if (offset_ != file_.size())
            error_ = "offset " + std::to_string(offset_) + ": " + std::to_string(file_.size() - offset_) +
                     " bytes after the end record";
    }
    return true;
}

bool TraceReader::seek(uint64_t offset) {
    if (offset < kHeaderBytes || offset > furthest_) return false;
    offset_ = offset;
    done_ = false;
    error_.clear();
    return true;
}

bool TraceReader::blobBytes(uint64_t hash, uint32_t& bytes) const {
    const auto found = blobs_.find(hash);
    if (found == blobs_.end()) return false;
    bytes = found->second.contentBytes;
    return true;
}

const std::vector<uint8_t>* TraceReader::content(uint64_t hash) {
    if (const auto cached = decodedAt_.find(hash); cached != decodedAt_.end()) {
        decoded_.splice(decoded_.begin(), decoded_, cached->second);
        return &decoded_.front().content;
    }
    const auto found = blobs_.find(hash);
    if (found == blobs_.end()) {
        error_ = "no blob #" + hexText(hash) + " in the trace";
        return nullptr;
    }
    const StoredBlob& blob = found->second;
    const uint8_t* data = file_.data() + blob.at;
    // Make room first, keeping at least the entry asked for.
    while (!decoded_.empty() && decodedBytes_ + blob.contentBytes > kDecodedCacheBytes) {
        decodedBytes_ -= decoded_.back().content.size();
        decodedAt_.erase(decoded_.back().hash);
        decoded_.pop_back();
    }
    decoded_.push_front(Decoded{hash, std::vector<uint8_t>(blob.contentBytes)});
    decodedBytes_ += blob.contentBytes;
    std::vector<uint8_t>& out = decoded_.front().content;
    bool good = true;
    if (blob.encoding == BlobEncoding::Stored) {
        if (blob.contentBytes != 0) std::memcpy(out.data(), data, blob.contentBytes);
    } else {
        uLongf outBytes = blob.contentBytes;
        uLong inBytes = blob.storedBytes;
        const int status = uncompress2(out.data(), &outBytes, data, &inBytes);
        good = status == Z_OK && outBytes == blob.contentBytes && inBytes == blob.storedBytes;
        if (!good) error_ = "offset " + std::to_string(blob.at) + ": blob #" + hexText(hash) + " does not decompress";
    }
    if (good && contentHash(out.data(), out.size()) != hash) {
        good = false;
        error_ = "offset " + std::to_string(blob.at) + ": blob #" + hexText(hash) + " does not match its hash";
    }
    if (!good) {
        decodedBytes_ -= out.size();
        decoded_.pop_front();
        done_ = true;
        return nullptr;
    }
    decodedAt_[hash] = decoded_.begin();
    return &out;
}

}  // namespace velkano::trace
