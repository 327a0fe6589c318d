// recorder.cpp: the per-call recording logic.
#include "capture/recorder.h"

#include <algorithm>
#include <new>

#include "capture/capture_platform.h"
#include "context/texture_binding.h"

namespace velkano::capture {
namespace {

using trace::EntryPoint;
using trace::Read;
using trace::Ref;
using trace::RefState;

// Host memory is copied this much at a time, so a huge region that turns out unreadable
// costs one chunk of scratch, not its whole claimed size.
constexpr size_t kReadChunkBytes = size_t{1} << 20;
// Buffers grown past this by one huge region are let go afterwards.
constexpr size_t kKeepBufferBytes = size_t{64} << 20;

const void* pointerArg(uint64_t arg) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(arg)); }
int32_t intArg(uint64_t arg) { return static_cast<int32_t>(static_cast<uint32_t>(arg)); }

constexpr Ref kUnreadable{RefState::Unreadable, 0};

}  // namespace

bool touchesTarget(EntryPoint entry) { return trace::mayWriteTarget(entry) || entry == EntryPoint::EndUpdate; }

Recorder::Recorder(TraceSink& sink, const RenderContext& context, const trace::Header& header)
    : sink_(sink), context_(context), exact_((header.flags & trace::kFlagExact) != 0) {
    trace::appendHeader(batch_, header);  // goes out with the first call's batch
}

void Recorder::beforeCall(EntryPoint entry, std::span<const uint64_t> args) noexcept {
    if (!recording_) return;
    try {
        record(entry, args);
    } catch (const std::bad_alloc&) {
        stop("out of memory; recording stopped, drawing goes on");
    } catch (...) {
        stop("internal error; recording stopped, drawing goes on");
    }
}

void Recorder::afterCall(EntryPoint entry) noexcept {
    if (!recording_) return;
    try {
        recordAfter(entry);
    } catch (const std::bad_alloc&) {
        stop("out of memory; recording stopped, drawing goes on");
    } catch (...) {
        stop("internal error; recording stopped, drawing goes on");
    }
}

void Recorder::finish() noexcept {
    if (!recording_) return;
    try {
        trace::appendEnd(batch_, calls_, frames_);
        flush();
    } catch (...) {
        stop("internal error while ending the trace");
    }
    recording_ = false;
}

void Recorder::record(EntryPoint entry, std::span<const uint64_t> args) {
    const trace::Signature& signature = trace::signature(entry);
    if (args.size() != signature.argCount) {
        stop("internal error: wrong argument count; recording stopped, drawing goes on");
        return;
    }
    // The check of the host's changes comes before the call's own record: the replay must
    // hold the host's image when it runs the call.
    const bool check = exact_ ? entry != EntryPoint::Init : checkArmed_ && touchesTarget(entry);
    Ref imageBefore;
    if (check) {
        imageBefore = checkTarget();
        checkArmed_ = false;
    }
    readBeforeCall_ = imageBefore.state == RefState::Content;

    trace::Call call;
    call.entry = entry;
    std::copy(args.begin(), args.end(), call.args.begin());
    for (size_t i = 0; i < signature.readCount; ++i) {
        // ENDUPDATE's hash is of the image the library leaves the frame with; ENDUPDATE
        // itself does not touch it.
        call.reads[i] = signature.reads[i] == Read::TargetHash ? (check ? imageBefore : targetHash())
                                                               : readRef(entry, signature.reads[i], args);
    }
    trace::appendCall(batch_, call);
    ++calls_;

    switch (entry) {
        case EntryPoint::Init: setReference(call.reads[0]); break;
        case EntryPoint::BeginUpdate: checkArmed_ = !exact_; break;
        case EntryPoint::EndUpdate:
            ++frames_;
            setReference(call.reads[0]);
            break;
        default: break;
    }
    flush();
}

void Recorder::recordAfter(EntryPoint entry) {
    if (!trace::mayWriteTarget(entry)) return;
    if (!exact_) {
        dirty_ = true;
        return;
    }
    // The check before the call copied the whole image, and only the library ran since: it is
    // still mapped, so it is hashed where it is, without a second copy.
    const Ref image = readBeforeCall_
                          ? Ref{RefState::Content, trace::contentHash(context_.target, targetSizeBytes(context_))}
                          : targetHash();
    setReference(image);
    trace::appendImageHash(batch_, image);
    flush();
}

Ref Recorder::readRef(EntryPoint entry, Read read, std::span<const uint64_t> args) {
    switch (read) {
        case Read::TargetImage: {  // INIT's new image, from its arguments
            const void* target = pointerArg(args[0]);
            const size_t sizeBytes = targetSizeBytes(target, intArg(args[3]), intArg(args[2]));
            return sizeBytes == 0 ? Ref{} : contentRef(target, sizeBytes);
        }
        case Read::Texture:
            if (!textureUsable(context_)) return {};
            return contentRef(context_.textureIndices,
                              uint64_t(uint32_t(context_.textureWidth)) * uint64_t(uint32_t(context_.textureHeight)));
        case Read::Palette:
            if (!textureUsable(context_)) return {};
            return contentRef(context_.palette, trace::fixedReadBytes(read));
        case Read::Lightmap:  // at most 4 * (2^31 - 1)^2 bytes: no overflow
            if (!lightmapUsable(context_)) return {};
            return contentRef(context_.lightmap, 4 * uint64_t(uint32_t(context_.lightmapWidth)) *
                                                     uint64_t(uint32_t(context_.lightmapHeight)));
        case Read::TargetHash: return targetHash();
        default: break;
    }
    // A vertex array: read through its argument.
    const int arg = trace::readArgument(entry, read);
    return arg < 0 ? kUnreadable : contentRef(pointerArg(args[static_cast<size_t>(arg)]), trace::fixedReadBytes(read));
}

Ref Recorder::contentRef(const void* from, uint64_t sizeBytes) {
    if (from == nullptr) return {};
    if (sizeBytes > trace::kMaxBlobBytes || !copyToScratch(from, static_cast<size_t>(sizeBytes))) return kUnreadable;
    const uint64_t hash = trace::contentHash(scratch_.data(), static_cast<size_t>(sizeBytes));
    storeBlob(hash, static_cast<size_t>(sizeBytes));
    return {RefState::Content, hash};
}

Ref Recorder::targetHash() {
    const size_t sizeBytes = targetSizeBytes(context_);
    if (sizeBytes == 0) return {};
    if (sizeBytes > trace::kMaxBlobBytes || !copyToScratch(context_.target, sizeBytes)) return kUnreadable;
    return {RefState::Content, trace::contentHash(scratch_.data(), sizeBytes)};
}

Ref Recorder::checkTarget() {
    const Ref image = targetHash();
    if (image.state == RefState::Absent) return image;  // no target: nothing to describe
    // Dirty: the library wrote since the trace last knew the image, so even an unchanged hash
    // does not say what the replay holds; the content goes in unconditionally.
    if (dirty_ || image != reference_) {
        if (image.state == RefState::Content) storeBlob(image.hash, targetSizeBytes(context_));
        trace::appendImage(batch_, image);
        setReference(image);
    }
    return image;
}

void Recorder::storeBlob(uint64_t hash, size_t sizeBytes) {
    if (written_.count(hash) != 0) return;
    trace::appendBlob(batch_, hash, std::span<const uint8_t>(scratch_.data(), sizeBytes));
    written_.insert(hash);
}

void Recorder::setReference(Ref image) {
    reference_ = image;
    dirty_ = false;
}

bool Recorder::copyToScratch(const void* from, size_t sizeBytes) {
    const auto address = reinterpret_cast<uintptr_t>(from);
    for (size_t done = 0; done < sizeBytes;) {
        const size_t chunk = std::min(kReadChunkBytes, sizeBytes - done);
        if (scratch_.size() < done + chunk) scratch_.resize(done + chunk);
        // Addresses as integers: the host's range may wrap, which copyReadable refuses.
        if (address > UINTPTR_MAX - done) return false;
        if (!copyReadable(scratch_.data() + done, reinterpret_cast<const void*>(address + done), chunk)) return false;
        done += chunk;
    }
    return true;
}

void Recorder::flush() {
    if (batch_.empty()) return;
    if (!sink_.write(batch_)) {
        stop("cannot write the trace; recording stopped, drawing goes on");
        return;
    }
    batch_.clear();
    releaseLargeBuffers();
}

void Recorder::releaseLargeBuffers() {
    if (batch_.capacity() > kKeepBufferBytes) trace::Bytes().swap(batch_);
    if (scratch_.capacity() > kKeepBufferBytes) std::vector<uint8_t>().swap(scratch_);
}

void Recorder::stop(const char* why) noexcept {
    recording_ = false;
    reportProblem(why);
    trace::Bytes().swap(batch_);
    std::vector<uint8_t>().swap(scratch_);
    std::unordered_set<uint64_t>().swap(written_);
}

}  // namespace velkano::capture
