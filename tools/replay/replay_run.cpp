// replay_run.cpp: the pass over a trace's records that every replaying mode drives.
#include "replay_run.h"

#include <algorithm>

#include "footprint.h"

namespace velkano::replay {

using trace::EntryPoint;
using trace::RecordType;

std::string CallPlace::text() const {
    return "frame " + std::to_string(frame) + " call " + std::to_string(index) + " (" +
           std::string(trace::signature(entry).name) + ")";
}

void PixelBox::add(int32_t x, int32_t y) {
    if (empty()) {
        x0 = x1 = x;
        y0 = y1 = y;
        return;
    }
    x0 = std::min(x0, x);
    x1 = std::max(x1, x);
    y0 = std::min(y0, y);
    y1 = std::max(y1, y);
}

std::string PixelBox::text() const {
    if (empty()) return "none";
    return "x " + std::to_string(x0) + "-" + std::to_string(x1) + ", y " + std::to_string(y0) + "-" +
           std::to_string(y1);
}

int32_t drawableWidth(const TargetImage& image) {
    if (!image.data || image.width <= 0 || image.height <= 0 || image.pitch <= 0) return 0;
    return std::min(image.width, image.pitch / 4);
}

uint32_t pixelAt(const TargetImage& image, const uint8_t* data, int32_t x, int32_t y) {
    uint32_t word = 0;
    std::memcpy(&word, data + static_cast<size_t>(y) * static_cast<size_t>(image.pitch) + 4 * static_cast<size_t>(x),
                4);
    return word;
}

ImageChange compareImages(const TargetImage& geometry, const uint8_t* a, const uint8_t* b) {
    return compareImages(geometry, a, b, [](int32_t, int32_t) {});
}

ReplayRun::ReplayRun(trace::TraceReader& reader, Reporter& report, RunSettings settings)
    : reader_(reader), report_(report), settings_(std::move(settings)) {
    const uint64_t limit = regionLimitBytes(reader.fileBytes());
    for (const LibraryTable* library : settings_.libraries)
        lanes_.emplace_back(std::make_unique<ReplayLane>(*library, limit));
}

void ReplayRun::warnUnreadable() {
    if (lanes_.empty()) return;
    if (!warnedUnreadable_ && lanes_[0]->replayedUnreadable()) {
        warnedUnreadable_ = true;
        report_.warning("the recording could not read some memory a call read; it is replayed as zeros");
    }
    if (const std::string note = lanes_[0]->takeNote(); !note.empty()) report_.warning(lastCall_.text() + ": " + note);
}

void ReplayRun::keepBefore() {
    const TargetImage& target = lanes_[0]->target();
    before_.assign(target.data, target.data + target.sizeBytes);
}

void ReplayRun::keepFootprint(const trace::Call& call) {
    const TargetImage& target = lanes_[0]->target();
    const Footprint footprint = callFootprint(call, target, reader_);
    kept_ = footprint.kind == Footprint::Kind::None ? PixelBox{} : footprint.box;
    before_.clear();
    if (kept_.empty()) return;
    const size_t rowBytes = 4 * static_cast<size_t>(kept_.x1 - kept_.x0 + 1);
    before_.resize(rowBytes * static_cast<size_t>(kept_.y1 - kept_.y0 + 1));
    for (int32_t y = kept_.y0; y <= kept_.y1; ++y)
        std::memcpy(before_.data() + rowBytes * static_cast<size_t>(y - kept_.y0),
                    target.data + static_cast<size_t>(y) * static_cast<size_t>(target.pitch) + 4 * size_t(kept_.x0),
                    rowBytes);
}

RunPosition ReplayRun::position() const {
    return RunPosition{reader_.offset(), frame_, calls_, callsInFrame_, lastCall_, hasCall_};
}

bool ReplayRun::resume(const RunPosition& p) {
    if (!reader_.seek(p.offset)) return false;
    frame_ = p.frame;
    calls_ = p.calls;
    callsInFrame_ = p.callsInFrame;
    lastCall_ = p.lastCall;
    hasCall_ = p.hasCall;
    sawEnd_ = stopped_ = failed_ = rangeDone_ = false;
    return true;
}

bool ReplayRun::call(const trace::Record& record, RunEvent& event) {
    const trace::Call& c = record.call;
    event.kind = RunEvent::Kind::Call;
    event.place = CallPlace{frame_, calls_, record.offset, c.entry};
    event.hasCall = true;
    event.measured = settings_.measure && !lanes_.empty() && trace::mayWriteTarget(c.entry);
    const bool footprint = event.measured && settings_.measureFootprints;
    if (footprint) keepFootprint(c);
    else if (event.measured) keepBefore();
    std::string error;
    for (size_t i = 0; i < lanes_.size(); ++i) {
        if (!lanes_[i]->run(c, reader_, error, settings_.time && i == 0 ? &event.seconds : nullptr)) {
            report_.traceError(record.offset, event.place.text() + ": " + error);
            return false;
        }
    }
    lastCall_ = event.place;
    hasCall_ = true;
    warnUnreadable();
    if (footprint) {
        event.before = before_.data();
        event.kept = kept_;
        event.change = compareKept(lanes_[0]->target(), kept_, before_.data(), [](int32_t, int32_t) {});
    } else if (event.measured) {
        event.before = before_.data();
        event.change = compareImages(lanes_[0]->target(), before_.data(), lanes_[0]->target().data);
    }
    ++calls_;
    ++callsInFrame_;
    if (c.entry == EntryPoint::EndUpdate) {
        ++frame_;
        callsInFrame_ = 0;
    }
    return true;
}

bool ReplayRun::image(const trace::Record& record, RunEvent& event) {
    event.kind = RunEvent::Kind::Image;
    event.measured = settings_.measure && !lanes_.empty();
    if (event.measured) keepBefore();
    for (auto& lane : lanes_) {
        std::string error;
        if (!lane->applyImage(record.ref, reader_, error)) {
            report_.traceError(record.offset, "image record: " + error);
            return false;
        }
    }
    warnUnreadable();
    if (event.measured) {
        event.before = before_.data();
        event.change = compareImages(lanes_[0]->target(), before_.data(), lanes_[0]->target().data);
    }
    return true;
}

bool ReplayRun::next(RunEvent& event) {
    if (stopped_ || failed_ || rangeDone_) return false;
    while (reader_.next(record_)) {
        report_.progress(reader_.offset(), calls_, frame_);
        event = RunEvent{};
        event.record = &record_;
        event.place = lastCall_;
        event.place.frame = frame_;
        event.hasCall = hasCall_;
        switch (record_.type) {
            case RecordType::Blob: event.kind = RunEvent::Kind::Blob; return true;
            case RecordType::Call:
                if (frame_ > settings_.frames.last) {
                    rangeDone_ = true;
                    return false;
                }
                if (!call(record_, event)) {
                    failed_ = true;
                    return false;
                }
                return true;
            case RecordType::Image:
                if (!image(record_, event)) {
                    failed_ = true;
                    return false;
                }
                return true;
            case RecordType::ImageHash: event.kind = RunEvent::Kind::ImageHash; return true;
            case RecordType::End:
                sawEnd_ = true;
                event.kind = RunEvent::Kind::End;
                if (record_.endCalls != calls_ || record_.endFrames != static_cast<uint32_t>(frame_))
                    report_.warning("the end record counts " + plural(record_.endCalls, "call", "calls") + " and " +
                                    plural(record_.endFrames, "frame", "frames") + "; the trace holds " +
                                    std::to_string(calls_) + " and " + std::to_string(frame_));
                return true;
        }
    }
    return false;
}

int ReplayRun::finish() {
    report_.clearProgress();
    if (failed_) return 2;
    if (stopped_ || rangeDone_) return 0;
    if (const int status = readingStatus(reader_, sawEnd_, calls_, frame_, report_); status != 0) return status;
    // Calls after the last ENDUPDATE make one more, unfinished frame.
    const uint64_t frames = frame_ + (callsInFrame_ > 0 ? 1 : 0);
    if (!settings_.frames.all() && settings_.frames.first >= frames) {
        report_.error("--frames " + settings_.frames.text() + ": " + report_.tracePath() + " holds " +
                      plural(frames, "frame", "frames") +
                      (frames > 0 ? " (0 to " + std::to_string(frames - 1) + ")" : std::string()));
        return 2;
    }
    return 0;
}

}  // namespace velkano::replay
