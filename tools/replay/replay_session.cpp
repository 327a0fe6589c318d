// replay_session.cpp: the checking replay, on a ReplayRun.
#include "replay_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "compare_report.h"
#include "png_output.h"
#include "profile_report.h"
#include "replay_run.h"

namespace velkano::replay {
namespace {

using trace::EntryPoint;
using trace::RefState;

// Calls the profile times: those in the frames asked for, but PAUSE, which is not slept.
bool profiled(const Options& options, const RunEvent& event) {
    return options.frames.contains(event.place.frame) && event.record->call.entry != EntryPoint::Pause;
}

class Session {
public:
    Session(const ModeInput& input, const Library& library, const Library* second)
        : options_(input.options), report_(input.report),
          run_(input.reader, input.report, settings(input.options, library, second)),
          compare_(library.name(), second ? second->name() : std::string(), input.options.pngDir) {}

    // The checking pass (with --repeat N, also the warm-up). The exit status so far.
    int run();
    // Whether the pass replayed the trace to its end (or that of --frames), so that its
    // findings can be printed: also for a trace cut short, which still gives exit status 2.
    bool summed() const { return summed_; }
    void timedPassFailed() { summed_ = false; }
    ProfileReport& profile() { return profile_; }
    // The summary, the comparison and the profile on stdout.
    void print() const;
    // The exit status once all is printed, from `status` of the passes.
    int finish(int status);

private:
    static RunSettings settings(const Options& options, const Library& library, const Library* second) {
        RunSettings s;
        s.libraries.push_back(&library.table());
        if (second) s.libraries.push_back(&second->table());
        // The slowest calls show the pixels they changed; with timed passes to follow, this
        // pass only lists the calls.
        s.measure = options.profile;
        s.time = options.profile && options.repeat == 1;
        s.frames = options.frames;
        return s;
    }
    bool call(const RunEvent& event);
    void checkHash(uint64_t recorded, const CallPlace& place, bool frameEnd);
    bool compareLanes(const CallPlace& place, bool hostImage);
    bool writePng(const std::string& name);

    const Options& options_;
    Reporter& report_;
    ReplayRun run_;
    ProfileReport profile_;
    CompareReport compare_;
    uint64_t checks_ = 0, mismatches_ = 0;
    bool warnedEmptyPng_ = false, pngFailed_ = false, summed_ = false;
};

void Session::checkHash(uint64_t recorded, const CallPlace& place, bool frameEnd) {
    ++checks_;
    const uint64_t replayed = run_.lane(0).targetHash();
    if (replayed == recorded || ++mismatches_ > 1) return;
    std::string message = place.text() + ": the image " + (frameEnd ? "at the frame's end" : "after this call") +
                          " differs from the recording (#" + trace::hexText(replayed, 16) + ", recorded #" +
                          trace::hexText(recorded, 16) + ")";
    if (frameEnd && !run_.exact())
        message += "; if the host writes into the image during a frame, record with VELKANO_TRACE_EXACT=1 "
                   "to check every call and find the first that differs";
    report_.traceError(place.offset, message);
}

bool Session::writePng(const std::string& name) {
    const TargetImage& target = run_.lane(0).target();
    const int32_t widthPx = drawableWidth(target);
    if (widthPx == 0) {
        if (!warnedEmptyPng_) report_.warning("no image to write as " + name + " (the target is empty)");
        warnedEmptyPng_ = true;
        return true;
    }
    const std::string path = options_.pngDir + "/" + name;
    return replay::writePng(report_, path, target.data, widthPx, target.height, target.pitch);
}

bool Session::compareLanes(const CallPlace& place, bool hostImage) {
    const TargetImage& first = run_.lane(0).target();
    if (compare_.check(place, hostImage, first, first.data, run_.lane(1).target().data, report_)) return true;
    pngFailed_ = true;
    return false;
}

bool Session::call(const RunEvent& event) {
    const trace::Call& c = event.record->call;
    const CallPlace& place = event.place;
    const bool inRange = options_.frames.contains(place.frame);
    if (options_.profile && profiled(options_, event)) {
        profile_.addCall(c.entry, place.frame, place.index, event.measured, event.change.pixels);
        if (options_.repeat == 1) profile_.addTime(event.seconds);
    }
    if (run_.laneCount() == 2 && inRange && (c.entry == EntryPoint::Init || trace::mayWriteTarget(c.entry)) &&
        !compareLanes(place, false))
        return false;
    if (c.entry != EntryPoint::EndUpdate || !inRange) return true;
    if (run_.laneCount() == 1 && c.reads[0].state == RefState::Content) checkHash(c.reads[0].hash, place, true);
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05llu.png", static_cast<unsigned long long>(place.frame));
    if (!options_.pngDir.empty() && !writePng(name)) {
        pngFailed_ = true;
        return false;
    }
    return true;
}

int Session::run() {
    if (options_.profile && options_.repeat == 1) profile_.beginPass();
    RunEvent event;
    while (run_.next(event)) {
        const bool inRange = options_.frames.contains(event.place.frame);
        if (event.kind == RunEvent::Kind::Call) {
            if (!call(event)) break;
        } else if (event.kind == RunEvent::Kind::Image) {
            if (run_.laneCount() == 2 && inRange && !compareLanes(event.place, true)) break;
        } else if (event.kind == RunEvent::Kind::ImageHash) {
            if (run_.laneCount() == 1 && event.hasCall && inRange && event.record->ref.state == RefState::Content)
                checkHash(event.record->ref.hash, event.place, false);
        }
    }
    if (pngFailed_) run_.stop();
    int status = run_.finish();
    if (pngFailed_) status = 2;
    // A trace cut short was replayed as far as it goes: its last image and the findings count.
    summed_ = status == 0 || (status == 2 && !pngFailed_ && run_.endedEarly());
    if (!options_.pngDir.empty() && summed_ && !writePng("final.png")) {
        status = 2;
        summed_ = false;
    }
    return status;
}

void Session::print() const {
    const bool comparing = run_.laneCount() == 2;
    if (options_.json) {
        nlohmann::ordered_json j{{"calls", run_.calls()}, {"frames", run_.frame()}};
        if (comparing) {
            j["compare"] = compare_.json();
        } else {
            j["checks"] = checks_;
            j["mismatches"] = mismatches_;
        }
        if (options_.profile) j["profile"] = profile_.json(run_.frame());
        std::printf("%s\n", j.dump(2).c_str());
        std::fflush(stdout);
        return;
    }
    std::printf("velkano-replay: %s, %s", plural(run_.calls(), "call", "calls").c_str(),
                plural(run_.frame(), "frame", "frames").c_str());
    if (comparing) {
        std::printf(compare_.differ() ? "; the two libraries differ\n"
                                      : "; the two libraries agree after every call\n");
        compare_.print(stdout);
    } else if (checks_ == 0) {
        std::printf("; nothing was verified: the trace holds no recorded image for these frames\n");
    } else if (mismatches_ == 0) {
        std::printf("; %s, all match\n", plural(checks_, "check", "checks").c_str());
    } else {
        std::printf("; %s, %llu differ\n", plural(checks_, "check", "checks").c_str(),
                    static_cast<unsigned long long>(mismatches_));
    }
    if (options_.profile) {
        std::printf("\n");
        profile_.print(stdout, run_.frame());
    }
    std::fflush(stdout);
}

int Session::finish(int status) {
    if (!summed_) return status;
    print();
    if (status == 2) return status;
    if (run_.laneCount() == 1 && checks_ == 0 && options_.strict) {
        report_.error("--strict: nothing was verified");
        return 1;
    }
    return mismatches_ > 0 || compare_.differ() ? 1 : 0;
}

// One timed pass: the trace read again and replayed with a fresh private copy of the library,
// timing the calls the checking pass listed.
int timedPass(const ModeInput& input, ProfileReport& profile) {
    const auto reader = input.reopen();
    if (!reader) return 2;
    const auto library = input.openLibrary(input.options.libraryPath, true);
    if (!library) return 2;
    RunSettings settings;
    settings.libraries.push_back(&library->table());
    settings.time = true;
    settings.frames = input.options.frames;
    ReplayRun run(*reader, input.report, settings);
    profile.beginPass();
    RunEvent event;
    while (run.next(event))
        if (event.kind == RunEvent::Kind::Call && profiled(input.options, event)) profile.addTime(event.seconds);
    // A trace cut short times what it holds; the checking pass has said it was cut.
    if (run.endedEarly()) input.report.clearProgress();
    else if (const int status = run.finish(); status != 0) return status;
    if (profile.timesInPass() == profile.calls()) return 0;
    input.report.error(input.options.tracePath + " changed between the passes");
    return 2;
}

}  // namespace

int replayTrace(const ModeInput& input, const Library& library, const Library* second) {
    Session session(input, library, second);
    int status = session.run();
    // The timed passes replay what the first pass already warned of.
    input.report.muteWarnings(true);
    if (input.options.profile && input.options.repeat > 1 && session.summed()) {
        for (unsigned pass = 0; pass < input.options.repeat; ++pass) {
            if (timedPass(input, session.profile()) == 0) continue;
            session.timedPassFailed();
            status = 2;
            break;
        }
    }
    input.report.muteWarnings(false);
    return session.finish(status);
}

}  // namespace velkano::replay
