// mode_diff_traces.cpp: --diff-traces A B. Walks two traces call by call, without a library,
// and names the first call whose entry point, arguments or read memory (by content hash)
// differ, both calls decoded; then the first differing recorded image (the frame hashes at
// ENDUPDATE, the images the host wrote, the image hashes of exact mode, in file order); and
// the call counts. Pointers are compared only for being null or not: the addresses of two
// runs differ, so other differences of address are counted in a note. ENDUPDATE's frame hash
// is what the library drew, not what the call read: it counts among the recorded images.
// Exit status 0 when the traces agree, 1 when they differ, 2 when either cannot be read.
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "call_listing.h"
#include "modes.h"
#include "trace_facts.h"

namespace velkano::replay {
namespace {

using trace::ArgKind;
using trace::EntryPoint;

// A recorded image, in file order: a frame's hash at its ENDUPDATE, or an Image or ImageHash
// record.
struct RecordedImage {
    enum class Kind { FrameHash, Image, ImageHash };
    Kind kind = Kind::FrameHash;
    trace::Ref ref;
    uint64_t frame = 0, offset = 0;
    std::optional<uint64_t> afterCall;  // the last call before it (the ENDUPDATE for a frame hash)
};

const char* kindName(RecordedImage::Kind kind) {
    switch (kind) {
        case RecordedImage::Kind::FrameHash: return "frame hash";
        case RecordedImage::Kind::Image: return "image the host wrote";
        case RecordedImage::Kind::ImageHash: return "image hash";
    }
    return "";
}

// One trace, read up to its next call at a time.
class Side {
public:
    Side(trace::TraceReader& reader, Reporter& report, std::string path)
        : reader_(reader), report_(report), path_(std::move(path)), decoder_(reader) {}

    // Reads on to the next call, queueing the recorded images on the way (while `queueImages`);
    // false at the end of the trace or at a fault.
    bool nextCall(bool queueImages) {
        if (pendingNote_) decoder_.note(record_);
        pendingNote_ = false;
        while (reader_.next(record_)) {
            report_.progress(reader_.offset(), counts_.calls, counts_.frames);
            const uint64_t index = counts_.calls, frame = counts_.frames;
            counts_.add(record_);
            switch (record_.type) {
                case trace::RecordType::Blob: decoder_.note(record_); break;
                case trace::RecordType::Image:
                case trace::RecordType::ImageHash:
                    if (queueImages)
                        images_.push_back({record_.type == trace::RecordType::Image ? RecordedImage::Kind::Image
                                                                                    : RecordedImage::Kind::ImageHash,
                                           record_.ref, frame, record_.offset,
                                           index > 0 ? std::optional<uint64_t>(index - 1) : std::nullopt});
                    ++recordedImages_;
                    break;
                case trace::RecordType::End: break;
                case trace::RecordType::Call:
                    callIndex_ = index;
                    callFrame_ = frame;
                    if (record_.call.entry == EntryPoint::EndUpdate) {
                        if (queueImages)
                            images_.push_back(
                                {RecordedImage::Kind::FrameHash, record_.call.reads[0], frame, record_.offset, index});
                        ++recordedImages_;
                    }
                    pendingNote_ = true;  // after the call has been decoded, if it is
                    return true;
            }
        }
        report_.clearProgress();
        return false;
    }

    int status() { return readingStatus(reader_, counts_.sawEnd, counts_.calls, counts_.frames, report_); }

    const trace::Record& record() const { return record_; }
    uint64_t callIndex() const { return callIndex_; }
    uint64_t callFrame() const { return callFrame_; }
    CallDecoder& decoder() { return decoder_; }
    std::deque<RecordedImage>& images() { return images_; }
    const TraceCounts& counts() const { return counts_; }
    uint64_t recordedImages() const { return recordedImages_; }
    const std::string& path() const { return path_; }
    const trace::Header& header() const { return reader_.header(); }

private:
    trace::TraceReader& reader_;
    Reporter& report_;
    std::string path_;
    CallDecoder decoder_;
    trace::Record record_;
    TraceCounts counts_;
    std::deque<RecordedImage> images_;
    uint64_t callIndex_ = 0, callFrame_ = 0, recordedImages_ = 0;
    bool pendingNote_ = false;
};

struct FieldDifference {
    std::string field, a, b;
};

// The first call that differs: both calls decoded (one absent when its trace ended first).
struct CallDifference {
    uint64_t index = 0;
    struct Call {
        uint64_t frame = 0, offset = 0;
        std::string entry, text;
        Json decoded;
    };
    std::optional<Call> a, b;
    std::vector<FieldDifference> fields;
};

struct ImageDifference {
    uint64_t index = 0;  // among the recorded images, from 0
    std::optional<RecordedImage> a, b;
};

struct PointerNote {
    uint64_t calls = 0;  // calls before the first difference that pass other addresses
    uint64_t firstCall = 0;
    std::string firstArgument;
};

CallDifference::Call describe(Side& side) {
    const trace::Call& call = side.record().call;
    return {side.callFrame(), side.record().offset, std::string(trace::signature(call.entry).name),
            side.decoder().text(call), side.decoder().json(call)};
}

// Compares the calls both sides stand at; fills `difference` when they differ, and counts
// pointers that differ in address alone.
bool compareCalls(Side& a, Side& b, CallDifference& difference, PointerNote& pointers) {
    const trace::Call& ca = a.record().call;
    const trace::Call& cb = b.record().call;
    std::vector<FieldDifference> fields;
    if (ca.entry != cb.entry) {
        fields.push_back({"entry point", std::string(trace::signature(ca.entry).name),
                          std::string(trace::signature(cb.entry).name)});
    } else {
        const trace::Signature& s = trace::signature(ca.entry);
        std::string_view addressDiffers;  // the first pointer argument whose address alone differs
        for (size_t i = 0; i < s.argCount; ++i) {
            if (ca.args[i] == cb.args[i]) continue;
            if (s.args[i] == ArgKind::Pointer && ca.args[i] != 0 && cb.args[i] != 0) {
                if (addressDiffers.empty()) addressDiffers = s.argNames[i];
                continue;
            }
            fields.push_back({std::string(s.argNames[i]), a.decoder().argText(ca, i), b.decoder().argText(cb, i)});
        }
        for (size_t j = 0; j < s.readCount; ++j) {
            if (s.reads[j] == trace::Read::TargetHash || ca.reads[j] == cb.reads[j]) continue;
            fields.push_back(
                {std::string(trace::readName(s.reads[j])), a.decoder().readText(ca, j), b.decoder().readText(cb, j)});
        }
        if (fields.empty() && !addressDiffers.empty() && pointers.calls++ == 0) {
            pointers.firstCall = a.callIndex();
            pointers.firstArgument = std::string(addressDiffers);
        }
    }
    if (fields.empty()) return false;
    difference.index = a.callIndex();
    difference.a = describe(a);
    difference.b = describe(b);
    difference.fields = std::move(fields);
    return true;
}

bool sameImage(const RecordedImage& a, const RecordedImage& b) { return a.kind == b.kind && a.ref == b.ref; }

std::string imageText(const RecordedImage& image, const CallDecoder& decoder) {
    std::string text = std::string(kindName(image.kind)) + " " + decoder.refText(image.ref) + " in frame " +
                       std::to_string(image.frame);
    text += image.afterCall ? (image.kind == RecordedImage::Kind::FrameHash ? " at call " : " after call ") +
                                  std::to_string(*image.afterCall)
                            : std::string(" before any call");
    return text;
}

Json imageJson(const RecordedImage& image, const CallDecoder& decoder) {
    return {{"kind", kindName(image.kind)},
            {"frame", image.frame},
            {"offset", image.offset},
            {"afterCall", image.afterCall ? Json(*image.afterCall) : Json(nullptr)},
            {"content", decoder.refJson(image.ref)}};
}

class Comparison {
public:
    Comparison(Side& a, Side& b) : a_(a), b_(b) {}

    // Walks both traces to their ends.
    void run() {
        bool moreA = true, moreB = true;
        while (moreA || moreB) {
            if (moreA) moreA = a_.nextCall(!imageDiffers());
            if (moreB) moreB = b_.nextCall(!imageDiffers());
            matchImages();
            if (callDiffers() || (!moreA && !moreB)) continue;
            if (moreA && moreB) {
                CallDifference difference;
                if (compareCalls(a_, b_, difference, pointers_)) call_ = std::move(difference);
            } else {
                // One trace ended before the other: the first call only one of them has.
                CallDifference difference;
                difference.index = moreA ? a_.callIndex() : b_.callIndex();
                (moreA ? difference.a : difference.b) = describe(moreA ? a_ : b_);
                call_ = std::move(difference);
            }
        }
        // Images left on one side alone: the first of them is the difference.
        if (!imageDiffers() && (!a_.images().empty() || !b_.images().empty())) {
            ImageDifference difference;
            difference.index = matchedImages_;
            if (!a_.images().empty()) difference.a = a_.images().front();
            if (!b_.images().empty()) difference.b = b_.images().front();
            image_ = difference;
        }
    }

    bool differ() const {
        return callDiffers() || imageDiffers() || a_.counts().calls != b_.counts().calls ||
               a_.counts().perEntry != b_.counts().perEntry;
    }
    std::string text() const;
    Json json() const;

private:
    bool callDiffers() const { return call_.has_value(); }
    bool imageDiffers() const { return image_.has_value(); }

    void matchImages() {
        auto& ia = a_.images();
        auto& ib = b_.images();
        while (!imageDiffers() && !ia.empty() && !ib.empty()) {
            if (!sameImage(ia.front(), ib.front())) {
                image_ = ImageDifference{matchedImages_, ia.front(), ib.front()};
                break;
            }
            ia.pop_front();
            ib.pop_front();
            ++matchedImages_;
        }
        if (imageDiffers()) ia.clear(), ib.clear();
    }

    Json sideJson(const Side& side) const {
        return {{"trace", side.path()},
                {"header", headerJson(side.header())},
                {"calls", side.counts().calls},
                {"frames", side.counts().frames},
                {"recordedImages", side.recordedImages()}};
    }

    Side& a_;
    Side& b_;
    std::optional<CallDifference> call_;
    std::optional<ImageDifference> image_;
    uint64_t matchedImages_ = 0;
    PointerNote pointers_;
};

std::string Comparison::text() const {
    const TraceCounts& ca = a_.counts();
    const TraceCounts& cb = b_.counts();
    std::string out = "A  " + a_.path() + ": " + headerText(a_.header()) + "\n";
    out += "B  " + b_.path() + ": " + headerText(b_.header()) + "\n";
    out += "calls  A " + std::to_string(ca.calls) + ", " + plural(ca.frames, "frame", "frames") + "; B " +
           std::to_string(cb.calls) + ", " + plural(cb.frames, "frame", "frames") + "\n";
    for (size_t i = 0; i < trace::kEntryPointCount; ++i) {
        if (ca.perEntry[i] == cb.perEntry[i]) continue;
        char line[80];
        std::snprintf(line, sizeof line, "  %-16s A %llu, B %llu\n",
                      std::string(trace::signature(static_cast<EntryPoint>(i)).name).c_str(),
                      static_cast<unsigned long long>(ca.perEntry[i]), static_cast<unsigned long long>(cb.perEntry[i]));
        out += line;
    }
    if (call_) {
        out += "first differing call: call " + std::to_string(call_->index) + "\n";
        for (const auto& [name, side] : {std::pair{"A", &call_->a}, std::pair{"B", &call_->b}}) {
            out += std::string("  ") + name + "  ";
            out += *side ? "frame " + std::to_string((*side)->frame) + " call " + std::to_string(call_->index) + "  " +
                               (*side)->text
                         : std::string("(ends after ") + plural(call_->index, "call", "calls") + ")";
            out += "\n";
        }
        for (const FieldDifference& f : call_->fields) out += "  " + f.field + ": " + f.a + " | " + f.b + "\n";
    } else {
        out += "calls agree\n";
    }
    if (image_) {
        out += "first differing recorded image: number " + std::to_string(image_->index) + "\n";
        out += "  A  " + (image_->a ? imageText(*image_->a, a_.decoder()) : std::string("(no more)")) + "\n";
        out += "  B  " + (image_->b ? imageText(*image_->b, b_.decoder()) : std::string("(no more)")) + "\n";
    } else {
        out += "recorded images agree (" + std::to_string(a_.recordedImages()) + ")\n";
    }
    if ((a_.header().flags & trace::kFlagExact) != (b_.header().flags & trace::kFlagExact))
        out += "note: one trace was recorded in exact mode, the other in default mode: they record images at other "
               "points\n";
    if (pointers_.calls > 0)
        out += "note: pointers are compared only for being null (addresses differ between runs); " +
               plural(pointers_.calls, "call", "calls") + " otherwise equal pass other addresses, the first call " +
               std::to_string(pointers_.firstCall) + " (" + pointers_.firstArgument + ")\n";
    else out += "note: pointers are compared only for being null (addresses differ between runs)\n";
    out += differ() ? "the traces differ\n" : "the traces agree\n";
    return out;
}

Json Comparison::json() const {
    Json out = {{"a", sideJson(a_)}, {"b", sideJson(b_)}, {"equal", !differ()}};
    Json perEntry = Json::object();
    for (size_t i = 0; i < trace::kEntryPointCount; ++i) {
        if (a_.counts().perEntry[i] == b_.counts().perEntry[i]) continue;
        perEntry[std::string(trace::signature(static_cast<EntryPoint>(i)).name)] = {{"a", a_.counts().perEntry[i]},
                                                                                    {"b", b_.counts().perEntry[i]}};
    }
    out["perEntryPointDiffering"] = std::move(perEntry);
    Json call = nullptr;
    if (call_) {
        const auto sideCall = [](const std::optional<CallDifference::Call>& c) -> Json {
            if (!c) return nullptr;
            Json j = {{"frame", c->frame}, {"offset", c->offset}, {"entry", c->entry}, {"text", c->text}};
            j["args"] = c->decoded["args"];
            j["reads"] = c->decoded["reads"];
            return j;
        };
        Json fields = Json::array();
        for (const FieldDifference& f : call_->fields) fields.push_back({{"field", f.field}, {"a", f.a}, {"b", f.b}});
        call = {{"index", call_->index}, {"a", sideCall(call_->a)}, {"b", sideCall(call_->b)}, {"differences", fields}};
    }
    out["firstCall"] = std::move(call);
    Json image = nullptr;
    if (image_)
        image = {{"index", image_->index},
                 {"a", image_->a ? imageJson(*image_->a, a_.decoder()) : Json(nullptr)},
                 {"b", image_->b ? imageJson(*image_->b, b_.decoder()) : Json(nullptr)}};
    out["firstImage"] = std::move(image);
    out["pointers"] = {
        {"compared", "null or not"},
        {"callsDiffering", pointers_.calls},
        {"first", pointers_.calls > 0 ? Json{{"index", pointers_.firstCall}, {"argument", pointers_.firstArgument}}
                                      : Json(nullptr)}};
    return out;
}

}  // namespace

int runDiffTraces(const ModeInput& input) {
    const std::string& pathB = input.options.secondTracePath;
    Reporter opening(0, pathB);
    const auto readerB = openTrace(pathB, opening);
    if (!readerB) return 2;
    Reporter reportB(readerB->fileBytes(), pathB);
    Side a(input.reader, input.report, input.options.tracePath), b(*readerB, reportB, pathB);
    Comparison comparison(a, b);
    comparison.run();
    const std::string out = input.options.json ? comparison.json().dump(2) + "\n" : comparison.text();
    std::fwrite(out.data(), 1, out.size(), stdout);
    // A fault in either trace is reported after what could be compared before it.
    const int statusA = a.status(), statusB = b.status();
    if (statusA != 0 || statusB != 0) return 2;
    return comparison.differ() ? 1 : 0;
}

}  // namespace velkano::replay
