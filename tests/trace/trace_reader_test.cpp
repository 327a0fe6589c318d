// The trace format: what the encoders write, the reader gives back, and a damaged file is
// refused with the offset of the damage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/guarded_bytes.h"
#include "trace/trace_reader.h"

namespace velkano::trace {
namespace {

using velkano::testing::Random;

// A trace of random calls to every entry point, with blobs of random and of compressible
// content, image records and an End record; `calls` receives what was written.
Bytes randomTrace(Random& rng, std::vector<Call>& calls, std::vector<std::vector<uint8_t>>& blobs) {
    Bytes out;
    Header header;
    header.pointerBytes = (rng.next() & 1) ? 4 : 8;
    header.platform = (rng.next() & 1) ? Platform::Windows : Platform::Posix;
    header.flags = rng.next() & kFlagExact;
    appendHeader(out, header);
    for (int i = 0; i < 40; ++i) {
        Call call;
        call.entry = static_cast<EntryPoint>(rng.next() % kEntryPointCount);
        const Signature& s = signature(call.entry);
        for (size_t a = 0; a < s.argCount; ++a) call.args[a] = uint64_t{rng.next()} << (rng.next() % 33);
        for (size_t r = 0; r < s.readCount; ++r) {
            const uint32_t pick = rng.next() % 4;
            if (pick == 0) continue;  // Absent
            if (pick == 1) {
                call.reads[r].state = RefState::Unreadable;
                continue;
            }
            std::vector<uint8_t> content(rng.next() % 3000);
            if (pick == 2) {
                rng.fill(content.data(), content.size());
            } else {
                for (size_t b = 0; b < content.size(); ++b) content[b] = static_cast<uint8_t>(b / 100);
            }
            const uint64_t hash = contentHash(content.data(), content.size());
            call.reads[r] = {RefState::Content, hash};
            if (s.reads[r] == Read::TargetHash) continue;  // a bare hash
            bool known = false;
            for (const auto& blob : blobs) known = known || blob == content;
            if (!known) {
                appendBlob(out, hash, content);
                blobs.push_back(content);
            }
        }
        if (rng.next() % 8 == 0) appendImage(out, Ref{RefState::Unreadable, 0});
        if (rng.next() % 8 == 0) appendImageHash(out, Ref{RefState::Content, rng.next()});
        appendCall(out, call);
        calls.push_back(call);
    }
    appendEnd(out, calls.size(), 3);
    return out;
}

// Reads every record and decodes every blob; the reader's error, empty for a clean trace.
std::string readAll(std::vector<uint8_t> file) {
    TraceReader reader(std::move(file));
    Record record;
    while (reader.next(record))
        if (record.type == RecordType::Blob && reader.content(record.ref.hash) == nullptr) break;
    return reader.error();
}

TEST(traceReader, givesBackWhatWasWritten) {
    Random rng(15);
    for (int round = 0; round < 20; ++round) {
        std::vector<Call> calls;
        std::vector<std::vector<uint8_t>> blobs;
        const Bytes file = randomTrace(rng, calls, blobs);
        TraceReader reader(file);
        ASSERT_EQ(reader.error(), "");
        Record record;
        size_t call = 0, blob = 0;
        bool ended = false;
        while (reader.next(record)) {
            if (record.type == RecordType::Blob) {
                const std::vector<uint8_t>* content = reader.content(record.ref.hash);
                ASSERT_NE(content, nullptr) << reader.error();
                EXPECT_EQ(*content, blobs[blob++]) << "round " << round;
            } else if (record.type == RecordType::Call) {
                const Call& want = calls[call++];
                EXPECT_EQ(record.call.entry, want.entry);
                EXPECT_EQ(record.call.args, want.args) << "round " << round << " call " << call;
                EXPECT_EQ(record.call.reads, want.reads) << "round " << round << " call " << call;
            } else if (record.type == RecordType::End) {
                EXPECT_EQ(record.endCalls, calls.size());
                ended = true;
            }
        }
        EXPECT_EQ(reader.error(), "");
        EXPECT_TRUE(ended);
        EXPECT_EQ(call, calls.size());
        EXPECT_EQ(blob, blobs.size());
    }
}

// Every cut of the file and every flipped bit is refused with a message naming an offset.
TEST(traceReader, refusesEveryTruncationAndFlippedBit) {
    Random rng(16);
    std::vector<Call> calls;
    std::vector<std::vector<uint8_t>> blobs;
    const Bytes file = randomTrace(rng, calls, blobs);
    for (size_t length = 0; length < file.size(); length += 1 + length / 64) {
        const std::string error = readAll(std::vector<uint8_t>(file.begin(), file.begin() + length));
        EXPECT_EQ(error.rfind("offset ", 0), 0u) << "cut at " << length << ": '" << error << "'";
    }
    for (size_t at = 0; at < file.size(); at += 1 + at / 256) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> damaged = file;
            damaged[at] ^= static_cast<uint8_t>(1u << bit);
            EXPECT_NE(readAll(damaged), "") << "bit " << bit << " of byte " << at;
        }
    }
}

// seek() goes back to any record read before, and reading on from there gives the same records
// again (blobs included, which are no second blob); it refuses an offset beyond what was read.
TEST(traceReader, readsAgainFromWhereItSeeks) {
    Random rng(17);
    std::vector<Call> calls;
    std::vector<std::vector<uint8_t>> blobs;
    TraceReader reader(randomTrace(rng, calls, blobs));
    std::vector<Record> records;
    Record record;
    EXPECT_FALSE(reader.seek(kHeaderBytes + 1)) << "nothing read yet";
    for (uint64_t at = reader.offset(); reader.next(record); at = reader.offset()) {
        EXPECT_EQ(record.offset, at);
        records.push_back(record);
    }
    ASSERT_EQ(reader.error(), "");
    EXPECT_FALSE(reader.seek(reader.fileBytes() + 1));
    for (int round = 0; round < 10; ++round) {
        const size_t from = rng.next() % records.size();
        ASSERT_TRUE(reader.seek(records[from].offset));
        size_t i = from;
        for (; reader.next(record); ++i) {
            ASSERT_LT(i, records.size());
            EXPECT_EQ(record.type, records[i].type);
            EXPECT_EQ(record.offset, records[i].offset);
            EXPECT_EQ(record.ref, records[i].ref);
            EXPECT_EQ(record.call.args, records[i].call.args);
            EXPECT_EQ(record.call.reads, records[i].call.reads);
        }
        EXPECT_EQ(i, records.size()) << "from record " << from << ": records read again";
        EXPECT_EQ(reader.error(), "") << "from record " << from;
    }
}

// Writes the CRC of the record at `at` anew, after a test changed its fields.
void reseal(Bytes& file, size_t at) {
    const size_t length = file[at + 1] | file[at + 2] << 8 | file[at + 3] << 16 | size_t{file[at + 4]} << 24;
    const uint32_t crc = checksum(file.data() + at, 5 + length);
    for (int i = 0; i < 4; ++i) file[at + 5 + length + i] = static_cast<uint8_t>(crc >> (8 * i));
}

// Fields that pass the checksum but break the rules: each is refused, never acted on.
TEST(traceReader, refusesHostileFields) {
    const auto withHeader = [](uint16_t version) {
        Bytes out;
        Header header;
        header.pointerBytes = 8;
        header.formatVersion = version;
        appendHeader(out, header);
        return out;
    };
    const auto call = [](EntryPoint entry, Ref ref) {
        Call c;
        c.entry = entry;
        c.reads[0] = ref;
        return c;
    };
    struct Case {
        const char* what;
        Bytes file;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({"another format version", withHeader(2), "format version 2"});
    Bytes unknownRef = withHeader(kFormatVersion);
    appendCall(unknownRef, call(EntryPoint::Init, {RefState::Content, 42}));
    cases.push_back({"a ref to content not in the file", unknownRef, "not in the trace before it"});
    // A blob that claims far more content than its compressed bytes can give.
    Bytes bomb = withHeader(kFormatVersion);
    const std::vector<uint8_t> zeros(100000, 0);
    appendBlob(bomb, contentHash(zeros.data(), zeros.size()), zeros);
    const size_t sizeAt = kHeaderBytes + 5 + 8;
    bomb[sizeAt + 3] = 0x30;  // 800 MiB
    reseal(bomb, kHeaderBytes);
    cases.push_back({"an oversized blob", bomb, "more than deflate can give"});
    // The same blob twice, at two places: only a record read again after seek() may repeat one.
    Bytes twice = withHeader(kFormatVersion);
    appendBlob(twice, contentHash(zeros.data(), 100), std::vector<uint8_t>(zeros.begin(), zeros.begin() + 100));
    const Bytes blobRecord(twice.begin() + kHeaderBytes, twice.end());
    twice.insert(twice.end(), blobRecord.begin(), blobRecord.end());
    cases.push_back({"a blob written twice", twice, "appears twice"});
    Bytes longRecord = withHeader(kFormatVersion);
    longRecord.insert(longRecord.end(), {2, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    cases.push_back({"an oversized record length", longRecord, "too long"});
    for (const Case& c : cases) {
        const std::string error = readAll(c.file);
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": '" << error << "'";
    }
}

}  // namespace
}  // namespace velkano::trace
