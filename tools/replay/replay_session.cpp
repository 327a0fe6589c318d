// replay_session.cpp: the replay loop over the trace's records.
#include "replay_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "profile_report.h"
#include "replay_lane.h"

#if defined(VELKANO_REPLAY_PNG)
#  include "png_writer.h"
#endif

namespace velkano::replay {
namespace {

using trace::EntryPoint;
using trace::RefState;

// Where a message about a call points: "frame 3 call 1234 (DRAWTRI@12, offset 5678)".
struct CallPlace {
    uint64_t frame = 0, index = 0, offset = 0;
    EntryPoint entry = EntryPoint::Init;
    std::string text() const {
        return "frame " + std::to_string(frame) + " call " + std::to_string(index) + " (" +
               std::string(trace::signature(entry).name) + ", offset " + std::to_string(offset) + ")";
    }
};

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
        : reader_(reader), options_(options), report_(report),
          exact_((reader.header().flags & trace::kFlagExact) != 0) {
        const uint64_t limit = regionLimitBytes(reader.fileBytes());
        lanes_.emplace_back(std::make_unique<ReplayLane>(library, limit));
        if (second) lanes_.emplace_back(std::make_unique<ReplayLane>(*second, limit));
    }

    int run();

private:
    bool call(const trace::Record& record);
    void checkHash(uint64_t recorded, const CallPlace& place, bool frameEnd);
    bool writePng(const std::string& name);
    void warnUnreadable();

    trace::TraceReader& reader_;
    const Options& options_;
    Reporter& report_;
    const bool exact_;
    std::vector<std::unique_ptr<ReplayLane>> lanes_;
    ProfileReport profile_;
    uint64_t frame_ = 0, calls_ = 0, checks_ = 0, mismatches_ = 0;
    std::optional<CallPlace> lastCall_;
    bool librariesDiffer_ = false, warnedUnreadable_ = false, warnedEmptyPng_ = false;
    int status_ = 0;  // 2 once the replay had to stop on bad input
};

void Session::warnUnreadable() {
    if (warnedUnreadable_ || !lanes_[0]->replayedUnreadable()) return;
    warnedUnreadable_ = true;
    report_.warning("the recording could not read some memory a call read; it is replayed as zeros");
}

void Session::checkHash(uint64_t recorded, const CallPlace& place, bool frameEnd) {
    ++checks_;
    const uint64_t replayed = lanes_[0]->targetHash();
    if (replayed == recorded || ++mismatches_ > 1) return;
    std::string message = place.text() + ": the image " + (frameEnd ? "at the frame's end" : "after this call") +
                          " differs from the recording (#" + trace::hexText(replayed, 16) + ", recorded #" +
                          trace::hexText(recorded, 16) + ")";
    if (frameEnd && !exact_)
        message += "; if the host writes into the image during a frame, record with VELKANO_TRACE_EXACT=1 "
                   "to check every call and find the first that differs";
    report_.error(message);
}

bool Session::writePng(const std::string& name) {
#if defined(VELKANO_REPLAY_PNG)
    const TargetImage& target = lanes_[0]->target();
    const int32_t widthPx = target.pitch > 0 ? std::min(target.width, target.pitch / 4) : 0;
    if (!target.data || widthPx <= 0 || target.height <= 0) {
        if (!warnedEmptyPng_) report_.warning("no image to write as " + name + " (the target is empty)");
        warnedEmptyPng_ = true;
        return true;
    }
    const std::string path = options_.pngDir + "/" + name;
    report_.clearProgress();  // the writer reports its own failures on stderr
    if (tools::writePng(path, target.data, widthPx, target.height, target.pitch)) return true;
    report_.error("cannot write " + path);
    return false;
#else
    (void)name;
    return false;
#endif
}

bool Session::call(const trace::Record& record) {
    const trace::Call& c = record.call;
    const CallPlace place{frame_, calls_, record.offset, c.entry};
    const bool inRange = options_.frames.contains(frame_);
    const bool timed = options_.profile && inRange && c.entry != EntryPoint::Pause;
    std::string error;
    double seconds = 0;
    for (size_t i = 0; i < lanes_.size(); ++i) {
        if (!lanes_[i]->run(c, reader_, error, timed && i == 0 ? &seconds : nullptr)) {
            report_.error(place.text() + ": " + error);
            return false;
        }
    }
    warnUnreadable();
    if (timed) profile_.add(c.entry, seconds, frame_, calls_);
    lastCall_ = place;
    ++calls_;
    std::string where;
    if (lanes_.size() == 2 && (c.entry == EntryPoint::Init || trace::mayWriteTarget(c.entry)) &&
        firstDifference(lanes_[0]->target(), lanes_[1]->target(), where)) {
        const std::string first = options_.libraryPath.empty() ? "the default library" : options_.libraryPath;
        report_.error(place.text() + ": the two libraries' images differ after this call, first at " + where + " (" +
                      first + " vs " + options_.comparePath + ")");
        librariesDiffer_ = true;
        return false;
    }
    if (c.entry != EntryPoint::EndUpdate) return true;
    if (inRange) {
        if (lanes_.size() == 1 && c.reads[0].state == RefState::Content) checkHash(c.reads[0].hash, place, true);
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05llu.png", static_cast<unsigned long long>(frame_));
        if (!options_.pngDir.empty() && !writePng(name)) {
            status_ = 2;
            return false;
        }
    }
    ++frame_;
    return true;
}

int Session::run() {
    trace::Record record;
    bool sawEnd = false, stopped = false;
    while (!stopped && reader_.next(record)) {
        report_.progress(reader_.offset(), calls_, frame_);
        switch (record.type) {
            case trace::RecordType::Blob: break;
            case trace::RecordType::Call:
                if (!call(record)) {
                    if (!librariesDiffer_) return status_ = 2;
                    stopped = true;
                }
                stopped = stopped || frame_ > options_.frames.last;
                break;
            case trace::RecordType::Image:
                for (auto& lane : lanes_) {
                    std::string error;
                    if (!lane->applyImage(record.ref, reader_, error)) {
                        report_.error("offset " + std::to_string(record.offset) + ": image record: " + error);
                        return status_ = 2;
                    }
                }
                warnUnreadable();
                break;
            case trace::RecordType::ImageHash:
                if (lanes_.size() == 1 && lastCall_ && options_.frames.contains(lastCall_->frame) &&
                    record.ref.state == RefState::Content)
                    checkHash(record.ref.hash, *lastCall_, false);
                break;
            case trace::RecordType::End:
                sawEnd = true;
                if (record.endCalls != calls_ || record.endFrames != static_cast<uint32_t>(frame_))
                    report_.warning("the end record counts " + std::to_string(record.endCalls) + " calls and " +
                                    std::to_string(record.endFrames) + " frames; the trace holds " +
                                    std::to_string(calls_) + " and " + std::to_string(frame_));
                break;
        }
    }
    report_.clearProgress();
    if (!stopped) status_ = readingStatus(reader_, sawEnd, calls_, frame_, report_);
    if (!options_.pngDir.empty() && !writePng("final.png")) status_ = 2;

    std::printf("velkano-replay: %llu calls, %llu frames", static_cast<unsigned long long>(calls_),
                static_cast<unsigned long long>(frame_));
    if (lanes_.size() == 2)
        std::printf(librariesDiffer_ ? "; the two libraries differ\n" : "; the two libraries agree after every call\n");
    else if (mismatches_ == 0) std::printf("; %llu checks, all match\n", static_cast<unsigned long long>(checks_));
    else
        std::printf("; %llu checks, %llu differ\n", static_cast<unsigned long long>(checks_),
                    static_cast<unsigned long long>(mismatches_));
    if (options_.profile) {
        std::printf("\n");
        profile_.print(stdout);
    }
    if (status_ != 0) return status_;
    return mismatches_ > 0 || librariesDiffer_ ? 1 : 0;
}

}  // namespace

bool pngAvailable() {
#if defined(VELKANO_REPLAY_PNG)
    return true;
#else
    return false;
#endif
}

int replayTrace(trace::TraceReader& reader, const Options& options, const LibraryTable& library,
                const LibraryTable* second, Reporter& report) {
    return Session(reader, options, library, second, report).run();
}

}  // namespace velkano::replay
