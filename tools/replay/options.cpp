// options.cpp: the replay tool's command line, on CLI11. Each mode option picks what the run
// does; the other options are checked against the mode they are given with.
#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <initializer_list>

#include "trace/trace_format.h"

namespace velkano::replay {
namespace {

bool parseNumber(std::string_view text, uint64_t& n) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, n);
    return ec == std::errc() && at == end;
}

bool parseCoordinate(std::string_view text, int32_t& n) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, n);
    return ec == std::errc() && at == end;
}

// The entry point named `name` ("DRAWTRI", "drawtri" or "DRAWTRI@12").
bool parseEntry(std::string name, unsigned& entry) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (unsigned i = 0; i < trace::kEntryPointCount; ++i) {
        const std::string_view decorated = trace::signature(static_cast<trace::EntryPoint>(i)).name;
        if (name == decorated || name == decorated.substr(0, decorated.find('@'))) {
            entry = i;
            return true;
        }
    }
    return false;
}

// Help lines show an option's value by its name alone ("--image-at N OUT.png").
class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter() { column_width(32); }
    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_type_name().empty() ? std::string() : " " + option->get_type_name();
    }
};

// The command line as CLI11 sees it, with the raw values the checks after parsing read.
struct CommandLine {
    CLI::App app{"Replays and inspects a .vktrace file recorded by Velkano's capture library.", "velkano-replay"};
    std::vector<std::string> traces, diffTraces, imageAt, textureAt, lightmapAt, extract, only;
    std::string frames, callRange, pixel, state, port, checkpointMiB;
    bool calls = false, info = false, serve = false, version = false;

    explicit CommandLine(Options& o) {
        app.formatter(std::make_shared<HelpFormatter>());
        app.allow_windows_style_options(false);  // "/path/to/trace" is a path in both builds
        app.set_help_flag("-h,--help", "print this text");
        app.add_option("trace", traces, "the trace to replay")->type_name("TRACE");
        app.add_flag("--calls", calls,
                     "list the calls, their arguments decoded, with the box and number of pixels each draw "
                     "changed (measured by replaying)");
        app.add_option("--call-range", callRange, "only calls A to B (also A- or A; calls count from 0)")
            ->type_name("A-B");
        app.add_option("--only", only, "only these entry points, comma-separated (DRAWTRI,DRAWTILE)")
            ->delimiter(',')
            ->allow_extra_args(false)
            ->type_name("NAMES");
        app.add_option("--state", state, "what was in force before call N: target, bindings, frame counter")
            ->type_name("N");
        app.add_option("--image-at", imageAt, "write the target image after call N as a PNG file")
            ->expected(2)
            ->allow_extra_args(false)
            ->type_name("N OUT.png");
        app.add_option("--texture-at", textureAt, "write the texture bound at call N, through its palette")
            ->expected(2)
            ->allow_extra_args(false)
            ->type_name("N OUT.png");
        app.add_option("--lightmap-at", lightmapAt, "write the lightmap bound at call N")
            ->expected(2)
            ->allow_extra_args(false)
            ->type_name("N OUT.png");
        app.add_flag("--layers", o.layers,
                     "with --image-at: also write the library's two scratch layers (replays with the "
                     "library built into this tool)");
        // The ranges are in the help text; a validator's own description would show as "N:INT in [1 - 16]".
        app.add_option("--zoom", o.zoom, "with the images at a call: draw each pixel as an N x N square (1 to 16)")
            ->type_name("N")
            ->check(CLI::Range(1, 16).description(""));
        app.add_option("--pixel", pixel, "list every call that wrote pixel (X, Y), or covered it")->type_name("X,Y");
        app.add_option("--overdraw", o.overdrawDir, "write a heatmap per frame of how many calls changed each pixel")
            ->type_name("DIR");
        app.add_option("--diff-traces", diffTraces, "compare two traces call by call; name the first difference")
            ->expected(2)
            ->allow_extra_args(false)
            ->type_name("A B");
        app.add_flag("--info", info, "print the trace's header and counts");
        app.add_option("--extract", extract, "write frames A to B as a smaller trace that replays the same")
            ->expected(2)
            ->allow_extra_args(false)
            ->type_name("A-B OUT.vktrace");
        app.add_flag("--serve", serve,
                     "serve the frame debugger, a page and its JSON API, on http://127.0.0.1:PORT/ until "
                     "Ctrl-C (replays with the library built into this tool)");
        app.add_option("--port", port,
                       "with --serve: the port on 127.0.0.1 (0 to 65535, 0 for any free one; default " +
                           std::to_string(Options::kDefaultPort) + ")")
            ->type_name("N");
        app.add_option("--checkpoint-mib", checkpointMiB,
                       "with --serve: the most memory the replay's checkpoints take, in MiB (16 to 1048576; "
                       "default 512)")
            ->type_name("N");
        app.add_flag("--version", version, "print the tool's version");
        app.add_option("--png", o.pngDir,
                       "write every frame's end as DIR/frame_NNNNN.png and the last image as "
                       "DIR/final.png")
            ->type_name("DIR");
        app.add_option("--frames", frames, "only frames A to B (also A- or A; frames count from 0)")->type_name("A-B");
        app.add_flag("--profile", o.profile, "time every library call; totals per entry point and per frame");
        app.add_option("--repeat", o.repeat,
                       "with --profile: replay N times (1 to 1000) after a warm-up pass, report medians")
            ->type_name("N")
            ->check(CLI::Range(1u, 1000u).description(""));
        app.add_option("--library", o.libraryPath, "replay with this library instead of the default one")
            ->type_name("PATH");
        app.add_option("--compare", o.comparePath,
                       "replay with a second library side by side and report every call after which the "
                       "images differ")
            ->type_name("PATH");
        app.add_flag("--json", o.json,
                     "print --calls, --state, --info, --profile, --pixel, --compare or --diff-traces as JSON");
        app.add_flag("--strict", o.strict, "exit with 1 when the trace holds nothing to verify");
        app.footer("With no mode option, every call is replayed and the image checked after each frame (and, in\n"
                   "traces recorded in exact mode, after every call) against the recording. PAUSE is not slept.\n"
                   "\n"
                   "Exit status: 0 everything matched, 1 an image differed (or, with --strict, nothing was\n"
                   "verified), 2 unusable trace, usage error, a library that cannot be loaded, or a trace that\n"
                   "ends without its end record (the recorded host stopped early; what is there is still used).");
    }
};

// "--image-at N OUT.png" and the like: the call number and the path.
bool takeCallAndPath(const char* option, const std::vector<std::string>& values, Options::ImageRequest& request,
                     std::string& error) {
    if (values.empty()) return true;
    if (!parseNumber(values[0], request.call)) {
        error = std::string(option) + " takes a call number (from 0) and a path, not \"" + values[0] + "\"";
        return false;
    }
    if (values[1].empty()) {
        error = std::string(option) + " needs a non-empty path";
        return false;
    }
    request.wanted = true;
    request.path = values[1];
    return true;
}

// The options that go with each mode, besides the mode's own.
struct ModeOptions {
    Mode mode;
    std::initializer_list<const char*> allowed;
};
constexpr ModeOptions kModeOptions[] = {
    {Mode::Replay, {"--png", "--frames", "--profile", "--repeat", "--library", "--compare", "--json", "--strict"}},
    {Mode::Calls, {"--frames", "--call-range", "--only", "--library", "--json"}},
    {Mode::State, {"--json"}},
    {Mode::Images, {"--library", "--layers", "--zoom"}},
    {Mode::Pixel, {"--frames", "--library", "--json"}},
    {Mode::Overdraw, {"--frames", "--library"}},
    {Mode::DiffTraces, {"--json"}},
    {Mode::Info, {"--json"}},
    {Mode::Extract, {"--library"}},
    {Mode::Serve, {"--port", "--checkpoint-mib"}},
    {Mode::Version, {}},
    {Mode::Help, {}},
};
constexpr const char* kModifiers[] = {"--frames", "--call-range", "--only",   "--layers",        "--zoom",
                                      "--png",    "--profile",    "--repeat", "--library",       "--compare",
                                      "--json",   "--strict",     "--port",   "--checkpoint-mib"};

}  // namespace

std::string NumberRange::text() const {
    if (last == first) return std::to_string(first);
    if (last == std::numeric_limits<uint64_t>::max()) return std::to_string(first) + "-";
    return std::to_string(first) + "-" + std::to_string(last);
}

bool parseRange(const std::string& text, NumberRange& range) {
    const size_t dash = text.find('-');
    NumberRange parsed;
    if (dash == std::string::npos) {
        if (!parseNumber(text, parsed.first)) return false;
        parsed.last = parsed.first;
    } else {
        if (!parseNumber(std::string_view(text).substr(0, dash), parsed.first)) return false;
        const std::string_view last = std::string_view(text).substr(dash + 1);
        if (!last.empty() && !parseNumber(last, parsed.last)) return false;
    }
    if (parsed.first > parsed.last) return false;
    range = parsed;
    return true;
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options{};
    CommandLine line(options);
    try {
        line.app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.mode = Mode::Help;
        return true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    CLI::App& app = line.app;
    const auto given = [&](const char* name) { return app.get_option(name)->count() > 0; };

    // The mode: at most one mode option (the three image options count as one).
    std::vector<std::pair<Mode, const char*>> modes;
    const auto mode = [&](bool set, Mode m, const char* name) {
        if (set && (modes.empty() || modes.back().first != m)) modes.emplace_back(m, name);
    };
    mode(line.calls, Mode::Calls, "--calls");
    mode(!line.state.empty() || given("--state"), Mode::State, "--state");
    mode(!line.imageAt.empty(), Mode::Images, "--image-at");
    mode(!line.textureAt.empty(), Mode::Images, "--texture-at");
    mode(!line.lightmapAt.empty(), Mode::Images, "--lightmap-at");
    mode(given("--pixel"), Mode::Pixel, "--pixel");
    mode(given("--overdraw"), Mode::Overdraw, "--overdraw");
    mode(!line.diffTraces.empty(), Mode::DiffTraces, "--diff-traces");
    mode(line.info, Mode::Info, "--info");
    mode(!line.extract.empty(), Mode::Extract, "--extract");
    mode(line.serve, Mode::Serve, "--serve");
    mode(line.version, Mode::Version, "--version");
    if (modes.size() > 1) {
        error = std::string(modes[0].second) + " and " + modes[1].second + " cannot be combined";
        return false;
    }
    options.mode = modes.empty() ? Mode::Replay : modes[0].first;
    const char* modeName = modes.empty() ? "a replay" : modes[0].second;
    if (options.mode == Mode::Serve && given("--library")) {
        error = "--serve replays with the library code built into this tool, whose whole state it copies for "
                "its checkpoints: it takes no --library";
        return false;
    }
    for (const char* modifier : kModifiers) {
        if (!given(modifier)) continue;
        const auto& allowed = std::find_if(std::begin(kModeOptions), std::end(kModeOptions), [&](const ModeOptions& m) {
                                  return m.mode == options.mode;
                              })->allowed;
        if (std::none_of(allowed.begin(), allowed.end(),
                         [&](const char* a) { return std::string_view(a) == modifier; })) {
            error = std::string(modeName) + " takes no " + modifier;
            return false;
        }
    }

    // The values.
    for (const char* option : {"--png", "--library", "--compare", "--overdraw"}) {
        if (given(option) && app.get_option(option)->as<std::string>().empty()) {
            error = std::string(option) + " needs a non-empty path";
            return false;
        }
    }
    if (!line.frames.empty() || given("--frames")) {
        if (!parseRange(line.frames, options.frames)) {
            error = "--frames takes A-B, A- or A (frame numbers from 0, A <= B), not \"" + line.frames + "\"";
            return false;
        }
    }
    if (given("--call-range") && !parseRange(line.callRange, options.calls)) {
        error = "--call-range takes A-B, A- or A (call numbers from 0, A <= B), not \"" + line.callRange + "\"";
        return false;
    }
    for (const std::string& name : line.only) {
        unsigned entry = 0;
        if (!parseEntry(name, entry)) {
            error = "--only: no entry point is called \"" + name + "\"";
            return false;
        }
        options.onlyEntries |= 1u << entry;
    }
    if (given("--state") && !parseNumber(line.state, options.stateAt)) {
        error = "--state takes a call number (from 0), not \"" + line.state + "\"";
        return false;
    }
    if (!takeCallAndPath("--image-at", line.imageAt, options.image, error) ||
        !takeCallAndPath("--texture-at", line.textureAt, options.texture, error) ||
        !takeCallAndPath("--lightmap-at", line.lightmapAt, options.lightmap, error))
        return false;
    if (options.layers && !options.image.wanted) {
        error = "--layers goes with --image-at";
        return false;
    }
    if (options.layers && given("--library")) {
        error = "--layers replays with the library built into this tool: it takes no --library";
        return false;
    }
    if (given("--pixel")) {
        const size_t comma = line.pixel.find(',');
        if (comma == std::string::npos ||
            !parseCoordinate(std::string_view(line.pixel).substr(0, comma), options.pixelX) ||
            !parseCoordinate(std::string_view(line.pixel).substr(comma + 1), options.pixelY) || options.pixelX < 0 ||
            options.pixelY < 0) {
            error = "--pixel takes X,Y (two numbers from 0), not \"" + line.pixel + "\"";
            return false;
        }
    }
    if (!line.extract.empty()) {
        if (!parseRange(line.extract[0], options.extractFrames)) {
            error = "--extract takes frames A-B, A- or A and a path, not \"" + line.extract[0] + "\"";
            return false;
        }
        options.extractPath = line.extract[1];
        if (options.extractPath.empty()) {
            error = "--extract needs a non-empty path";
            return false;
        }
    }
    uint64_t number = 0;
    if (given("--port")) {
        if (!parseNumber(line.port, number) || number > 65535) {
            error = "--port takes a port number from 0 to 65535, not \"" + line.port + "\"";
            return false;
        }
        options.port = static_cast<uint16_t>(number);
    }
    if (given("--checkpoint-mib")) {
        if (!parseNumber(line.checkpointMiB, number) || number < 16 || number > 1048576) {
            error = "--checkpoint-mib takes a number of MiB from 16 to 1048576, not \"" + line.checkpointMiB + "\"";
            return false;
        }
        options.checkpointMiB = static_cast<uint32_t>(number);
    }
    if (given("--repeat") && !options.profile) {
        error = "--repeat goes with --profile";
        return false;
    }
    if (options.mode == Mode::Replay && options.json && !options.profile && options.comparePath.empty()) {
        error = "--json goes with --calls, --state, --info, --profile, --pixel, --compare or --diff-traces";
        return false;
    }

    // The traces.
    if (options.mode == Mode::Version) return true;
    if (options.mode == Mode::DiffTraces) {
        if (!line.traces.empty()) {
            error = "--diff-traces takes its two traces itself, not \"" + line.traces[0] + "\" besides";
            return false;
        }
        options.tracePath = line.diffTraces[0];
        options.secondTracePath = line.diffTraces[1];
        return true;
    }
    if (line.traces.empty()) {
        error = "no trace given";
        return false;
    }
    if (line.traces.size() > 1) {
        error = "one trace at a time (got \"" + line.traces[0] + "\" and \"" + line.traces[1] + "\")";
        return false;
    }
    options.tracePath = line.traces[0];
    return true;
}

std::string usageText() {
    Options unused;
    CommandLine line(unused);
    return line.app.help();
}

}  // namespace velkano::replay
