// main.cpp: velkano-replay: replays a Velkano trace (see options.cpp for the command line).
// Exit status: 0 everything matched, 1 an image differed, 2 unusable input, usage error or a
// library that cannot be loaded.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <system_error>

#include "call_listing.h"
#include "library_table.h"
#include "options.h"
#include "replay_session.h"
#include "reporter.h"

namespace {

using namespace velkano;
using namespace velkano::replay;

// The whole file, or false with `error` set.
bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff sizeBytes = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (sizeBytes < 0) {
        error = "cannot open " + path;
        return false;
    }
    try {
        if (static_cast<uint64_t>(sizeBytes) > SIZE_MAX) throw std::length_error("file size");
        bytes.resize(static_cast<size_t>(sizeBytes));
    } catch (const std::exception&) {
        error = path + " is too large to read (" + std::to_string(sizeBytes) + " bytes)";
        return false;
    }
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), sizeBytes)) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

int run(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "velkano-replay: %s (try --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (!options.pngDir.empty()) {
        if (!pngAvailable()) {
            std::fprintf(stderr, "velkano-replay: --png is not in this build (it has no PNG writer)\n");
            return 2;
        }
        std::error_code ec;
        std::filesystem::create_directories(options.pngDir, ec);
        if (ec) {
            std::fprintf(stderr, "velkano-replay: cannot create %s: %s\n", options.pngDir.c_str(),
                         ec.message().c_str());
            return 2;
        }
    }

    std::vector<uint8_t> bytes;
    if (!readFile(options.tracePath, bytes, error)) {
        std::fprintf(stderr, "velkano-replay: %s\n", error.c_str());
        return 2;
    }
    trace::TraceReader reader(std::move(bytes));
    Reporter report(reader.fileBytes());
    if (!reader.error().empty()) {
        report.error(options.tracePath + ": unusable trace: " + reader.error());
        return 2;
    }
    if (options.listCalls) return listCalls(reader, options.frames, stdout, report);

    // Two loads of one file would share the library's state: compared libraries are each
    // loaded from a private copy (the linked default is a load of its own).
    const bool comparing = !options.comparePath.empty();
    const auto library = Library::open(options.libraryPath, comparing, error);
    if (!library) {
        report.error(error);
        return 2;
    }
    std::unique_ptr<Library> second;
    if (comparing) {
        second = Library::open(options.comparePath, true, error);
        if (!second) {
            report.error(error);
            return 2;
        }
    }
    return replayTrace(reader, options, library->table(), second ? &second->table() : nullptr, report);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velkano-replay: out of memory\n");
        return 2;
    }
}
