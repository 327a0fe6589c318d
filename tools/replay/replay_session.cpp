// replay_session.cpp: the checking replay, on a ReplayRun.
#include "replay_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "png_writer.h"
#include "profile_report.h"
#include "replay_run.h"

namespace velkano::replay {
namespace {

using trace::EntryPoint;
using trace::RefState;

// The first pixel at which two images of the same shape differ; false when they are equal.
bool firstDifference(const TargetImage& a, const TargetImage& b, std::string& where) {
    if (a.sizeBytes == 0 || std::memcmp(a.data, b.data, a.sizeBytes) == 0) return false;
    const size_t at = static_cast<size_t>(std::mismatch(a.data, a.data + a.sizeBytes, b.data).first - a.data);
    const size_t pitch = static_cast<size_t>(a.pitch);  // at least 1: the size is not 0
    const size_t word = at / pitch * pitch + (at % pitch) / 4 * 4;
    const auto wordAt = [&](const uint8_t* data) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4 && word + i < a.sizeBytes; ++i) value |= uint32_t{data[word + i]} << (8 * i);
        return value;
    };
    where = "x=" + std::to_string(at % pitch / 4) + ", y=" + std::to_string(at / pitch) + ": 0x" +
            trace::hexText(wordAt(a.data), 8) + " vs 0x" + trace::hexText(wordAt(b.data), 8);
    return true;
}

class Session {
public:
    Session(trace::TraceReader& reader, const Options& options, const LibraryTable& library, const LibraryTable* second,
            Reporter& report)
        : options_(options), report_(report), run_(reader, report, settings(options, library, second)) {}

    int run();

private:
    static RunSettings settings(const Options& options, const LibraryTable& library, const LibraryTable* second) {
        RunSettings s;
        s.libraries.push_back(&library);
        if (second) s.libraries.push_back(second);
        s.time = options.profile;
        s.frames = options.frames;
        return s;
    }
    bool call(const RunEvent& event);
    void checkHash(uint64_t recorded, const CallPlace& place, bool frameEnd);
    bool writePng(const std::string& name);

    const Options& options_;
    Reporter& report_;
    ReplayRun run_;
    ProfileReport profile_;
    uint64_t checks_ = 0, mismatches_ = 0;
    bool librariesDiffer_ = false, warnedEmptyPng_ = false, pngFailed_ = false;
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
    report_.clearProgress();  // the writer reports its own failures on stderr
    if (tools::writePng(path, target.data, widthPx, target.height, target.pitch)) return true;
    report_.error("cannot write " + path);
    return false;
}

bool Session::call(const RunEvent& event) {
    const trace::Call& c = event.record->call;
    const CallPlace& place = event.place;
    const bool inRange = options_.frames.contains(place.frame);
    if (options_.profile && inRange && c.entry != EntryPoint::Pause)
        profile_.add(c.entry, event.seconds, place.frame, place.index);
    std::string where;
    if (run_.laneCount() == 2 && (c.entry == EntryPoint::Init || trace::mayWriteTarget(c.entry)) &&
        firstDifference(run_.lane(0).target(), run_.lane(1).target(), where)) {
        const std::string first = options_.libraryPath.empty() ? "the default library" : options_.libraryPath;
        report_.traceError(place.offset, place.text() +
                                             ": the two libraries' images differ after this call, first at " + where +
                                             " (" + first + " vs " + options_.comparePath + ")");
        librariesDiffer_ = true;
        return false;
    }
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
    RunEvent event;
    while (run_.next(event)) {
        if (event.kind == RunEvent::Kind::Call) {
            if (!call(event)) break;
        } else if (event.kind == RunEvent::Kind::ImageHash) {
            if (run_.laneCount() == 1 && event.hasCall && options_.frames.contains(event.place.frame) &&
                event.record->ref.state == RefState::Content)
                checkHash(event.record->ref.hash, event.place, false);
        }
    }
    if (librariesDiffer_ || pngFailed_) run_.stop();
    int status = run_.finish();
    if (pngFailed_) status = 2;
    if (!options_.pngDir.empty() && status == 0 && !writePng("final.png")) status = 2;
    if (status == 2) return status;

    std::printf("velkano-replay: %s, %s", plural(run_.calls(), "call", "calls").c_str(),
                plural(run_.frame(), "frame", "frames").c_str());
    bool unverified = false;
    if (run_.laneCount() == 2) {
        std::printf(librariesDiffer_ ? "; the two libraries differ\n" : "; the two libraries agree after every call\n");
    } else if (checks_ == 0) {
        unverified = true;
        std::printf("; nothing was verified: the trace holds no recorded image for these frames\n");
    } else if (mismatches_ == 0) {
        std::printf("; %s, all match\n", plural(checks_, "check", "checks").c_str());
    } else {
        std::printf("; %s, %llu differ\n", plural(checks_, "check", "checks").c_str(),
                    static_cast<unsigned long long>(mismatches_));
    }
    if (options_.profile) {
        std::printf("\n");
        profile_.print(stdout);
    }
    std::fflush(stdout);
    if (unverified && options_.strict) {
        report_.error("--strict: nothing was verified");
        return 1;
    }
    return mismatches_ > 0 || librariesDiffer_ ? 1 : 0;
}

}  // namespace

int replayTrace(trace::TraceReader& reader, const Options& options, const LibraryTable& library,
                const LibraryTable* second, Reporter& report) {
    return Session(reader, options, library, second, report).run();
}

}  // namespace velkano::replay
