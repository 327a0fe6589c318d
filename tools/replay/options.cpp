// options.cpp: parsing the replay tool's command line. Options take their value as the next
// argument or after '='; exactly one trace path; --calls runs no library, so it takes none of
// the options that need one.
#include "options.h"

#include <charconv>

namespace velkano::replay {
namespace {

bool parseFrame(const std::string& text, uint64_t& frame) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, frame);
    return ec == std::errc() && at == end;
}

}  // namespace

bool parseFrameRange(const std::string& text, FrameRange& range) {
    const size_t dash = text.find('-');
    FrameRange parsed;
    if (dash == std::string::npos) {
        if (!parseFrame(text, parsed.first)) return false;
        parsed.last = parsed.first;
    } else {
        if (!parseFrame(text.substr(0, dash), parsed.first)) return false;
        const std::string last = text.substr(dash + 1);
        if (!last.empty() && !parseFrame(last, parsed.last)) return false;
    }
    if (parsed.first > parsed.last) return false;
    range = parsed;
    return true;
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options{};
    bool haveTrace = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            if (const size_t eq = arg.find('='); eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
                hasValue = true;
            }
        }
        // Takes the option's value from "=value" or the next argument.
        const auto needValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        const auto noValue = [&]() {
            if (hasValue) error = arg + " takes no value";
            return !hasValue;
        };
        if (arg == "--help" || arg == "-h") {
            if (!noValue()) return false;
            options.help = true;
        } else if (arg == "--calls") {
            if (!noValue()) return false;
            options.listCalls = true;
        } else if (arg == "--profile") {
            if (!noValue()) return false;
            options.profile = true;
        } else if (arg == "--png" || arg == "--library" || arg == "--compare") {
            if (!needValue()) return false;
            if (value.empty()) {
                error = arg + " needs a non-empty path";
                return false;
            }
            (arg == "--png" ? options.pngDir : arg == "--library" ? options.libraryPath : options.comparePath) = value;
        } else if (arg == "--frames") {
            if (!needValue()) return false;
            if (!parseFrameRange(value, options.frames)) {
                error = "--frames takes A-B, A- or A (frame numbers from 0, A <= B), not \"" + value + "\"";
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (haveTrace) {
            error = "one trace at a time (got \"" + options.tracePath + "\" and \"" + arg + "\")";
            return false;
        } else {
            options.tracePath = arg;
            haveTrace = true;
        }
    }
    if (options.help) return true;
    if (!haveTrace) {
        error = "no trace given";
        return false;
    }
    if (options.listCalls &&
        (!options.pngDir.empty() || options.profile || !options.libraryPath.empty() || !options.comparePath.empty())) {
        error = "--calls runs no library: it takes no --png, --profile, --library or --compare";
        return false;
    }
    return true;
}

std::string usageText() {
    return "usage: velkano-replay [options] TRACE\n"
           "\n"
           "Replays a .vktrace file recorded by Velkano's capture library: runs every recorded call\n"
           "against a Velkano library and checks the image after each frame (and, in traces recorded\n"
           "with VELKANO_TRACE_EXACT=1, after every call) against the recording. PAUSE calls are not\n"
           "slept.\n"
           "\n"
           "  --png DIR        write the image at every frame's end as DIR/frame_NNNNN.png and the\n"
           "                   last image as DIR/final.png\n"
           "  --calls          list the calls and image records as text; runs no library\n"
           "  --frames A-B     only frames A to B (also A- or A; frames count from 0): earlier calls\n"
           "                   still run but are not checked, listed, profiled or written; stops\n"
           "                   after frame B\n"
           "  --profile        time every library call; print totals per entry point and the ten\n"
           "                   slowest calls\n"
           "  --library PATH   replay with this library instead of the default one\n"
           "  --compare PATH   replay with a second library side by side and report the first call\n"
           "                   after which the two images differ\n"
           "  --help           print this text\n"
           "\n"
           "Exit status: 0 everything matched, 1 an image differed, 2 unusable trace, usage error,\n"
           "a library that cannot be loaded, or a trace that ends without its end record (the\n"
           "recorded host stopped early; what is there is still replayed).\n";
}

}  // namespace velkano::replay
