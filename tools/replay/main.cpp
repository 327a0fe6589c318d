// main.cpp: velkano-replay: replays and inspects a Velkano trace (options.cpp has the command
// line). Exit status: 0 everything matched, 1 an image differed, 2 unusable input, usage error
// or a library that cannot be loaded.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "library_table.h"
#include "modes.h"
#include "options.h"
#include "replay_session.h"
#include "reporter.h"
#include "velkano.h"  // VELKANO_VERSION_STRING

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#endif

namespace velkano::replay {

namespace {

int run(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        Reporter().error(error + " (try --help)");
        return 2;
    }
    switch (options.mode) {
        case Mode::Help: std::fputs(usageText().c_str(), stdout); return 0;
        case Mode::Version:
            std::printf("velkano-replay %s (reads trace format %u)\n", VELKANO_VERSION_STRING,
                        unsigned{trace::kFormatVersion});
            return 0;
        default: break;
    }
    Reporter opening(0, options.tracePath);
    const auto reader = openTrace(options.tracePath, opening);
    if (!reader) return 2;
    for (const std::string* dir : {&options.pngDir, &options.overdrawDir}) {
        if (dir->empty()) continue;
        std::error_code ec;
        std::filesystem::create_directories(*dir, ec);
        if (ec) {
            Reporter().error("cannot create " + *dir + ": " + ec.message());
            return 2;
        }
    }
    Reporter report(reader->fileBytes(), options.tracePath);
    const ModeInput input{options, *reader, report};
    switch (options.mode) {
        case Mode::Calls: return runCalls(input);
        case Mode::State: return runState(input);
        case Mode::Images: return runImages(input);
        case Mode::Pixel: return runPixel(input);
        case Mode::Overdraw: return runOverdraw(input);
        case Mode::DiffTraces: return runDiffTraces(input);
        case Mode::Info: return runInfo(input);
        case Mode::Extract: return runExtract(input);
        case Mode::Serve: return runServe(input);
        case Mode::Replay: break;
        case Mode::Help:
        case Mode::Version: return 0;
    }

    // Two loads of one file would share the library's state: compared libraries are each
    // loaded from a private copy (the linked default is a load of its own).
    const bool comparing = !options.comparePath.empty();
    const auto library = input.openLibrary(options.libraryPath, comparing);
    if (!library) return 2;
    std::unique_ptr<Library> second;
    if (comparing && !(second = input.openLibrary(options.comparePath, true))) return 2;
    return replayTrace(input, *library, second.get());
}

}  // namespace
}  // namespace velkano::replay

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The same bytes as the native tool: no "\r\n" for "\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    try {
        return velkano::replay::run(argc, argv);
    } catch (const std::bad_alloc&) {
        velkano::replay::Reporter().error("out of memory");
        return 2;
    }
}
