// bad_trace_check.cpp: damages a good trace in the ways files get damaged and checks that the
// replay tool refuses each one with exit status 2 and a message, and never crashes or hangs.
//
// usage: velkano_bad_trace_check GOOD_TRACE REPLAY_TOOL WORK_DIR
//   every truncation at a record boundary and inside the header and the first records,
//   a flipped bit in every record, another format version, and oversized lengths.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "trace/trace_format.h"

#ifndef _WIN32
#  include <sys/wait.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;
using velkano::trace::kHeaderBytes;
using velkano::trace::kRecordFrameBytes;

uint32_t lengthAt(const Bytes& file, size_t at) {
    return file[at + 1] | file[at + 2] << 8 | file[at + 3] << 16 | uint32_t{file[at + 4]} << 24;
}

void putLength(Bytes& file, size_t at, uint32_t length) {
    for (int i = 0; i < 4; ++i) file[at + 1 + i] = static_cast<uint8_t>(length >> (8 * i));
}

// Writes the checksum of the header (`at` 0) or of the record at `at` anew.
void reseal(Bytes& file, size_t at) {
    const size_t covered = at == 0 ? kHeaderBytes - 4 : 5 + size_t{lengthAt(file, at)};
    const uint32_t crc = velkano::trace::checksum(file.data() + at, covered);
    for (int i = 0; i < 4; ++i) file[at + covered + i] = static_cast<uint8_t>(crc >> (8 * i));
}

struct Damage {
    std::string what;
    Bytes file;
};

// Runs the tool on `file`; true when it exits with 2 and says something on stderr.
bool refused(const std::string& tool, const std::string& dir, const Damage& damage, int& status) {
    const std::string trace = dir + "/damaged.vktrace", errors = dir + "/damaged.err";
    std::ofstream(trace, std::ios::binary)
        .write(reinterpret_cast<const char*>(damage.file.data()), static_cast<std::streamsize>(damage.file.size()));
    const std::string command = "\"" + tool + "\" \"" + trace + "\" > /dev/null 2> \"" + errors + "\"";
    status = std::system(command.c_str());
#ifndef _WIN32
    status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    std::ifstream in(errors);
    const std::string message((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return status == 2 && !message.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s GOOD_TRACE REPLAY_TOOL WORK_DIR\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const Bytes good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<size_t> boundaries;
    for (size_t at = kHeaderBytes; at + kRecordFrameBytes <= good.size(); at += kRecordFrameBytes + lengthAt(good, at))
        boundaries.push_back(at);
    if (good.size() < kHeaderBytes || boundaries.size() < 3) {
        std::fprintf(stderr, "%s is not a trace of a few records\n", argv[1]);
        return 2;
    }

    std::vector<Damage> damages;
    for (size_t at : boundaries)
        damages.push_back({"cut at record boundary " + std::to_string(at), Bytes(good.begin(), good.begin() + at)});
    for (size_t cut : {size_t{0}, size_t{7}, kHeaderBytes - 1, boundaries[1] - 1, boundaries[2] + 3})
        damages.push_back({"cut at " + std::to_string(cut), Bytes(good.begin(), good.begin() + cut)});
    for (size_t i = 0; i < boundaries.size(); ++i) {  // one bit in every record, at a different place each
        const size_t end = i + 1 < boundaries.size() ? boundaries[i + 1] : good.size();
        const size_t at = boundaries[i] + (i * 7919) % (end - boundaries[i]);
        Damage damage{"bit flipped at " + std::to_string(at), good};
        damage.file[at] ^= static_cast<uint8_t>(1u << (i % 8));
        damages.push_back(damage);
    }
    Damage version{"format version 2", good};
    version.file[8] = 2;
    reseal(version.file, 0);
    damages.push_back(version);
    Damage pointer{"pointer size 16", good};
    pointer.file[12] = 16;
    reseal(pointer.file, 0);
    damages.push_back(pointer);
    for (uint32_t length : {0x7FFFFFFFu, 0xFFFFFFFFu, uint32_t(good.size())}) {
        Damage oversized{"record length " + std::to_string(length), good};
        putLength(oversized.file, boundaries[1], length);
        damages.push_back(oversized);
    }
    // A blob whose content size is far beyond what its bytes can hold, checksum mended.
    for (size_t at : boundaries) {
        if (good[at] != static_cast<uint8_t>(velkano::trace::RecordType::Blob)) continue;
        Damage bomb{"blob claiming 1 GiB at " + std::to_string(at), good};
        for (int i = 0; i < 4; ++i) bomb.file[at + 5 + 8 + i] = static_cast<uint8_t>((1u << 30) >> (8 * i));
        reseal(bomb.file, at);
        damages.push_back(bomb);
        break;
    }

    int failures = 0;
    for (const Damage& damage : damages) {
        int status = 0;
        if (!refused(argv[2], argv[3], damage, status)) {
            std::fprintf(stderr, "%s: exit status %d, wanted 2 with a message\n", damage.what.c_str(), status);
            ++failures;
        }
    }
    std::printf("%zu damaged traces, %d not refused as they should be\n", damages.size(), failures);
    return failures == 0 ? 0 : 1;
}
