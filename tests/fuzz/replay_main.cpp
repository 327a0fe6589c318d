// replay_main.cpp: runs the fuzz target over files and directories of inputs without
// libFuzzer, so any compiler's build (sanitized or not) replays the corpus and the crash
// regressions. Prints the number of calls and the slowest one. Built with
// VELKANO_REPLAY_TRACES it runs the trace reader's target instead, and prints what the reader did.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#ifdef VELKANO_REPLAY_TRACES
#include "trace_reader_fuzzer.h"
#else
#include "call_sequence_fuzzer.h"
#endif

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s input-file-or-directory...\n", argv[0]);
        return 2;
    }
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (!file.good() && !file.eof()) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
            return 2;
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
#ifdef VELKANO_REPLAY_TRACES
    const TraceFuzzCounts& counts = traceFuzzCounts();
    std::printf("replay: %zu inputs, %llu records, %llu blobs decoded (%llu bytes), %llu clean ends\n", inputs.size(),
                static_cast<unsigned long long>(counts.records), static_cast<unsigned long long>(counts.decodes),
                static_cast<unsigned long long>(counts.decodedBytes),
                static_cast<unsigned long long>(counts.cleanEnds));
#else
    const FuzzCallTimes& times = fuzzCallTimes();
    std::printf("replay: %zu inputs, %llu calls, slowest %s in %.2f ms\n", inputs.size(),
                static_cast<unsigned long long>(times.calls), times.slowestName, times.slowestMs);
#endif
    return 0;
}
