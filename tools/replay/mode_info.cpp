// mode_info.cpp: --info. Reads the trace alone, without a library, and prints its header and
// counts: calls per entry point, frames, image records, blobs, the file's size and the end
// record. A trace that cannot be read to its end still gets what was read before the fault,
// then the fault (exit status 2).
#include <cstdio>
#include <string>

#include "modes.h"
#include "trace_facts.h"

namespace velkano::replay {
namespace {

std::string textReport(const std::string& path, const trace::Header& header, const TraceCounts& c, uint64_t fileBytes) {
    std::string out = "trace          " + path + "\n";
    out += "header         " + headerText(header) + "\n";
    out += "file           " + plural(fileBytes, "byte", "bytes") + "\n";
    out += "calls          " + std::to_string(c.calls);
    if (c.callsAfterLastEnd > 0)
        out += ": " + std::to_string(c.calls - c.callsAfterLastEnd) + " in " + plural(c.frames, "frame", "frames") +
               ", then " + std::to_string(c.callsAfterLastEnd) + " in an unfinished frame";
    else out += " in " + plural(c.frames, "frame", "frames");
    out += "\n";
    for (size_t i = 0; i < trace::kEntryPointCount; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "  %-16s %llu\n",
                      std::string(trace::signature(static_cast<trace::EntryPoint>(i)).name).c_str(),
                      static_cast<unsigned long long>(c.perEntry[i]));
        out += line;
    }
    out += "image records  " + plural(c.images, "image", "images") + " the host wrote, " +
           plural(c.imageHashes, "image hash", "image hashes") + "\n";
    out += "blobs          " + std::to_string(c.blobs) + " distinct, " + plural(c.contentBytes, "byte", "bytes") +
           " of content, " + plural(c.storedBytes, "byte", "bytes") + " in the file\n";
    out += "end record     ";
    out += c.sawEnd ? "present: " + plural(c.endCalls, "call", "calls") + ", " + plural(c.endFrames, "frame", "frames")
                    : std::string("missing");
    return out + "\n";
}

Json jsonReport(const std::string& path, const trace::Header& header, const TraceCounts& c, uint64_t fileBytes) {
    Json perEntry = Json::object();
    for (size_t i = 0; i < trace::kEntryPointCount; ++i)
        perEntry[std::string(trace::signature(static_cast<trace::EntryPoint>(i)).name)] = c.perEntry[i];
    return {{"trace", path},
            {"header", headerJson(header)},
            {"fileBytes", fileBytes},
            {"calls", c.calls},
            {"frames", c.frames},
            {"callsAfterLastFrame", c.callsAfterLastEnd},
            {"perEntryPoint", std::move(perEntry)},
            {"images", c.images},
            {"imageHashes", c.imageHashes},
            {"blobs", {{"count", c.blobs}, {"contentBytes", c.contentBytes}, {"storedBytes", c.storedBytes}}},
            {"end", c.sawEnd ? Json{{"calls", c.endCalls}, {"frames", c.endFrames}} : Json(nullptr)}};
}

}  // namespace

int runInfo(const ModeInput& input) {
    trace::TraceReader& reader = input.reader;
    TraceCounts counts;
    trace::Record record;
    while (reader.next(record)) {
        input.report.progress(reader.offset(), counts.calls, counts.frames);
        counts.add(record);
    }
    input.report.clearProgress();
    const std::string& path = input.options.tracePath;
    const std::string out = input.options.json
                                ? jsonReport(path, reader.header(), counts, reader.fileBytes()).dump(2) + "\n"
                                : textReport(path, reader.header(), counts, reader.fileBytes());
    std::fwrite(out.data(), 1, out.size(), stdout);
    return readingStatus(reader, counts.sawEnd, counts.calls, counts.frames, input.report);
}

}  // namespace velkano::replay
