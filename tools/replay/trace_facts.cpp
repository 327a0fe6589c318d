// trace_facts.cpp: a trace's header and record counts.
#include "trace_facts.h"

namespace velkano::replay {
namespace {

std::string libraryVersion(const trace::Header& h) {
    return std::to_string(h.libraryMajor) + "." + std::to_string(h.libraryMinor) + "." + std::to_string(h.libraryPatch);
}
const char* platformName(const trace::Header& h) {
    return h.platform == trace::Platform::Windows ? "windows" : "posix";
}
const char* modeName(const trace::Header& h) { return (h.flags & trace::kFlagExact) != 0 ? "exact" : "default"; }

}  // namespace

std::string headerText(const trace::Header& h) {
    return "format " + std::to_string(h.formatVersion) + ", written by Velkano " + libraryVersion(h) + " on " +
           platformName(h) + " with " + std::to_string(h.pointerBytes) + "-byte pointers, " + modeName(h) + " mode";
}

Json headerJson(const trace::Header& h) {
    return {{"formatVersion", h.formatVersion},
            {"library", libraryVersion(h)},
            {"platform", platformName(h)},
            {"pointerBytes", h.pointerBytes},
            {"mode", modeName(h)}};
}

void TraceCounts::add(const trace::Record& record) {
    switch (record.type) {
        case trace::RecordType::Blob:
            // The reader refuses a second blob of one hash: every blob is a distinct content.
            ++blobs;
            contentBytes += record.blobBytes;
            storedBytes += record.storedBytes;
            break;
        case trace::RecordType::Call:
            ++calls;
            ++perEntry[static_cast<size_t>(record.call.entry)];
            ++callsAfterLastEnd;
            if (record.call.entry == trace::EntryPoint::EndUpdate) {
                ++frames;
                callsAfterLastEnd = 0;
            }
            break;
        case trace::RecordType::Image: ++images; break;
        case trace::RecordType::ImageHash: ++imageHashes; break;
        case trace::RecordType::End:
            sawEnd = true;
            endCalls = record.endCalls;
            endFrames = record.endFrames;
            break;
    }
}

}  // namespace velkano::replay
