// call_listing.cpp: formatting calls and image records as text.
#include "call_listing.h"

#include <bit>
#include <charconv>

namespace velkano::replay {
namespace {

using trace::ArgKind;
using trace::Read;
using trace::Ref;
using trace::RefState;

// "#hash 65536 B" (the size only for blobs), "unreadable" or "absent".
std::string formatRef(const Ref& ref, const BlobSizes& blobBytes) {
    switch (ref.state) {
        case RefState::Absent: return "absent";
        case RefState::Unreadable: return "unreadable";
        case RefState::Content: break;
    }
    std::string text = "#";
    text += trace::hexText(ref.hash, 16);
    if (const auto found = blobBytes.find(ref.hash); found != blobBytes.end()) {
        text += ' ';
        text += std::to_string(found->second);
        text += " B";
    }
    return text;
}

}  // namespace

std::string formatFloat(uint32_t bits) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, std::bit_cast<float>(bits));
    return std::string(text, result.ptr);
}

std::string formatCall(const trace::Call& call, const BlobSizes& blobBytes) {
    const trace::Signature& s = trace::signature(call.entry);
    bool readShown[trace::kMaxReads] = {};
    std::string text(s.name);
    text += '(';
    const auto separate = [&] {
        if (text.back() != '(') text += ", ";
    };
    for (size_t i = 0; i < s.argCount; ++i) {
        separate();
        text += s.argNames[i];
        text += '=';
        const uint64_t value = call.args[i];
        switch (s.args[i]) {
            case ArgKind::Int: text += std::to_string(static_cast<int32_t>(static_cast<uint32_t>(value))); break;
            case ArgKind::Word:
                text += "0x";
                text += trace::hexText(static_cast<uint32_t>(value), 8);
                break;
            case ArgKind::Float: text += formatFloat(static_cast<uint32_t>(value)); break;
            case ArgKind::Pointer:
                if (value == 0) {
                    text += "null";
                    break;
                }
                text += "0x";
                text += trace::hexText(value, 0);
                for (size_t j = 0; j < s.readCount; ++j) {
                    if (trace::readArgument(call.entry, s.reads[j]) != static_cast<int>(i)) continue;
                    readShown[j] = true;
                    if (call.reads[j].state == RefState::Absent) continue;
                    text += ' ';
                    text += formatRef(call.reads[j], blobBytes);
                }
                break;
        }
    }
    for (size_t j = 0; j < s.readCount; ++j) {
        if (readShown[j]) continue;
        separate();
        text += trace::readName(s.reads[j]);
        text += '=';
        text += formatRef(call.reads[j], blobBytes);
    }
    return text + ')';
}

int listCalls(trace::TraceReader& reader, const FrameRange& range, std::FILE* out, Reporter& report) {
    BlobSizes blobBytes;
    trace::Record record;
    uint64_t frame = 0, calls = 0;
    bool sawEnd = false;
    while (reader.next(record)) {
        report.progress(reader.offset(), calls, frame);
        const bool shown = range.contains(frame);
        switch (record.type) {
            case trace::RecordType::Blob: blobBytes[record.ref.hash] = record.blobBytes; break;
            case trace::RecordType::Call:
                if (shown)
                    std::fprintf(out, "frame %llu call %llu  %s\n", static_cast<unsigned long long>(frame),
                                 static_cast<unsigned long long>(calls), formatCall(record.call, blobBytes).c_str());
                ++calls;
                if (record.call.entry == trace::EntryPoint::EndUpdate && ++frame > range.last) return 0;
                break;
            case trace::RecordType::Image:
                if (shown)
                    std::fprintf(out, "frame %llu image %s\n", static_cast<unsigned long long>(frame),
                                 formatRef(record.ref, blobBytes).c_str());
                break;
            case trace::RecordType::ImageHash:
                if (shown)
                    std::fprintf(out, "frame %llu imageHash %s after call %lld\n",
                                 static_cast<unsigned long long>(frame), formatRef(record.ref, blobBytes).c_str(),
                                 static_cast<long long>(calls) - 1);
                break;
            case trace::RecordType::End:
                sawEnd = true;
                std::fprintf(out, "end  %llu calls, %u frames\n", static_cast<unsigned long long>(record.endCalls),
                             record.endFrames);
                break;
        }
    }
    report.clearProgress();
    return readingStatus(reader, sawEnd, calls, frame, report);
}

}  // namespace velkano::replay
