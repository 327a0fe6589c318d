// extract_writer.cpp: the calls that carry a replay's state into a new trace, and the copy.
#include "extract_writer.h"

namespace velkano::replay {

using trace::EntryPoint;
using trace::Ref;
using trace::RefState;

void CallState::see(const trace::Call& call) {
    switch (call.entry) {
        case EntryPoint::Init:
            initialised = true;
            unloaded = false;
            break;
        case EntryPoint::Unload: unloaded = initialised; break;
        case EntryPoint::SetTexture: texture = call; break;
        case EntryPoint::SetLightmap: lightmap = call; break;
        default: break;
    }
}

ExtractWriter::ExtractWriter(trace::TraceReader& source) : source_(source) {
    trace::appendHeader(out_, source.header());
}

void ExtractWriter::call(const trace::Call& call) {
    trace::appendCall(out_, call);
    ++calls_;
    if (call.entry == EntryPoint::EndUpdate) ++frames_;
}

void ExtractWriter::init(const TargetImage& image) {
    trace::Call c;
    c.entry = EntryPoint::Init;
    c.args = {image.recordedAddress, static_cast<uint32_t>(image.width), static_cast<uint32_t>(image.height),
              static_cast<uint32_t>(image.pitch)};
    // As the capture records it: nothing for a null target or an empty size; an image the
    // replay could not hold (replayed as an empty one) as unreadable, which replays the same.
    if (image.recordedAddress != 0 && !image.data) {
        c.reads[0].state = RefState::Unreadable;
    } else if (image.recordedAddress != 0 && image.sizeBytes > 0) {
        const uint64_t hash = trace::contentHash(image.data, image.sizeBytes);
        c.reads[0] = Ref{RefState::Content, hash};
        content(hash, std::span<const uint8_t>(image.data, image.sizeBytes));
    }
    call(c);
    ++stateCalls_;
}

void ExtractWriter::writeState(const ReplayLane& lane, const CallState& state) {
    const TargetImage& current = lane.target();
    const auto home = [](const BoundRegion& region) { return region.inTarget ? region.target.get() : nullptr; };
    const TargetImage* textureHome =
        state.texture ? (home(lane.texture()) ? home(lane.texture()) : home(lane.palette())) : nullptr;
    const TargetImage* lightmapHome = state.lightmap ? home(lane.lightmap()) : nullptr;
    const auto bindings = [&](const TargetImage* at) {
        for (const auto* binding : {&state.texture, &state.lightmap}) {
            if (!*binding || (binding == &state.texture ? textureHome : lightmapHome) != at) continue;
            call(**binding);
            ++stateCalls_;
        }
    };
    // Bindings outside every image first, with no image bound, so none can land inside one.
    bindings(nullptr);
    // A binding inside an image a later INIT replaced: that image, as the replay holds it now,
    // is bound again for it.
    if (textureHome && textureHome != &current) {
        init(*textureHome);
        bindings(textureHome);
    }
    if (lightmapHome && lightmapHome != &current && lightmapHome != textureHome) {
        init(*lightmapHome);
        bindings(lightmapHome);
    }
    if (!state.initialised) return;
    init(current);
    bindings(&current);
    if (state.unloaded) {
        call(trace::Call{EntryPoint::Unload, {}, {}});
        ++stateCalls_;
    }
}

void ExtractWriter::content(uint64_t hash, std::span<const uint8_t> bytes) {
    if (written_.insert(hash).second) trace::appendBlob(out_, hash, bytes);
}

bool ExtractWriter::blob(const Ref& ref, std::string& error) {
    if (ref.state != RefState::Content || written_.count(ref.hash) != 0) return true;
    const std::vector<uint8_t>* bytes = source_.content(ref.hash);
    if (!bytes) {
        error = source_.error();
        return false;
    }
    content(ref.hash, *bytes);
    return true;
}

void ExtractWriter::bindLater(const trace::Call& call) {
    (call.entry == EntryPoint::SetTexture ? pendingTexture_ : pendingLightmap_) = call;
}

void ExtractWriter::flushBindings() {
    for (auto* pending : {&pendingTexture_, &pendingLightmap_}) {
        if (!*pending) continue;
        call(**pending);
        ++stateCalls_;
        pending->reset();
    }
}

bool ExtractWriter::drawAgain(const trace::Record& record, std::string& error) {
    flushBindings();
    if (!copy(record, error)) return false;
    ++stateCalls_;
    ++drawnAgain_;
    return true;
}

void ExtractWriter::image(const uint8_t* data, size_t sizeBytes) {
    const uint64_t hash = trace::contentHash(data, sizeBytes);
    content(hash, std::span<const uint8_t>(data, sizeBytes));
    trace::appendImage(out_, Ref{RefState::Content, hash});
    ++images_;
}

bool ExtractWriter::copy(const trace::Record& record, std::string& error) {
    switch (record.type) {
        case trace::RecordType::Call: {
            const trace::Signature& s = trace::signature(record.call.entry);
            for (size_t i = 0; i < s.readCount; ++i)
                if (s.reads[i] != trace::Read::TargetHash && !blob(record.call.reads[i], error)) return false;
            call(record.call);
            return true;
        }
        case trace::RecordType::Image:
            if (!blob(record.ref, error)) return false;
            trace::appendImage(out_, record.ref);
            return true;
        case trace::RecordType::ImageHash: trace::appendImageHash(out_, record.ref); return true;
        case trace::RecordType::Blob:
        case trace::RecordType::End: return true;  // blobs go where they are needed; the End is new
    }
    return true;
}

}  // namespace velkano::replay
