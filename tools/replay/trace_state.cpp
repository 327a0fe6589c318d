// trace_state.cpp: following the bindings and the target through a trace's records.
#include "trace_state.h"

#include "replay_lane.h"  // area
#include "reporter.h"     // plural

#include <limits>

namespace velkano::replay {
namespace {

using trace::EntryPoint;
using trace::RefState;

using trace::argInt;

}  // namespace

std::string contentHashText(uint64_t hash) {
    std::string text(1, '#');  // appended, not "#" + string: GCC 12 warns of an overlap there
    text += trace::hexText(hash, 16);
    return text;
}

std::string callCountText(uint64_t calls) {
    return plural(calls, "call", "calls") + (calls > 0 ? " (0 to " + std::to_string(calls - 1) + ")" : std::string());
}

void TraceState::record(RecordedContent& content, const trace::Ref& ref) {
    if (ref.state == RefState::Absent) return;  // not read by this call: what was recorded stays
    content.state = ref.state;
    content.hash = ref.state == RefState::Content ? ref.hash : 0;
    content.sizeBytes = 0;
    content.firstCall = calls_;
    content.latestCall = calls_;
    if (ref.state != RefState::Content) return;
    if (uint32_t bytes = 0; reader_->blobBytes(ref.hash, bytes)) content.sizeBytes = bytes;
    if (const auto found = firstCall_->find(ref.hash); found != firstCall_->end()) content.firstCall = found->second;
}

void TraceState::call(const trace::Call& c) {
    const trace::Signature& s = trace::signature(c.entry);
    for (size_t i = 0; i < s.readCount; ++i) {
        if (c.reads[i].state == RefState::Content && s.reads[i] != trace::Read::TargetHash)
            firstCall_->try_emplace(c.reads[i].hash, calls_);
    }
    const auto& r = c.reads;
    switch (c.entry) {
        case EntryPoint::Init: {
            target_ = TargetState{};
            target_.bound = true;
            target_.initCall = calls_;
            target_.address = c.args[0];
            target_.width = argInt(c, 1);
            target_.height = argInt(c, 2);
            target_.pitch = argInt(c, 3);
            target_.source = ImageSource::Init;
            target_.sourceHasCall = true;
            target_.sourceCall = calls_;
            target_.contentState = r[0].state;
            target_.hash = r[0].hash;
            // The library's own rule: both layers of height * pitch bytes, none when that is 0
            // or less or beyond a signed 32-bit size.
            const int64_t bytes = int64_t{target_.height} * int64_t{target_.pitch};
            const bool sized = target_.height > 0 && target_.pitch > 0 && bytes <= std::numeric_limits<int32_t>::max();
            layers_ = sized ? Layers::Present : Layers::Empty;
            layerBytes_ = sized ? static_cast<uint64_t>(bytes) : 0;
            layersCall_ = calls_;
            break;
        }
        case EntryPoint::Unload:
            layers_ = Layers::Unloaded;
            layerBytes_ = 0;
            layersCall_ = calls_;
            break;
        case EntryPoint::EndUpdate:
            ++endUpdates_;
            if (r[0].state != RefState::Absent) {
                target_.source = ImageSource::FrameEnd;
                target_.sourceHasCall = true;
                target_.sourceCall = calls_;
                target_.contentState = r[0].state;
                target_.hash = r[0].hash;
            }
            break;
        case EntryPoint::SetTexture: {
            TextureState next;
            next.bound = true;
            next.call = calls_;
            next.address = c.args[0];
            next.paletteAddress = c.args[3];
            next.width = argInt(c, 1);
            next.height = argInt(c, 2);
            next.blendMode = argInt(c, 4);
            // A rebinding of the same memory keeps what was recorded there.
            if (texture_.bound && next.address == texture_.address &&
                area(next.width, next.height) == area(texture_.width, texture_.height))
                next.texture = texture_.texture;
            if (texture_.bound && next.paletteAddress == texture_.paletteAddress) next.palette = texture_.palette;
            texture_ = next;
            break;
        }
        case EntryPoint::SetLightmap: {
            LightmapState next;
            next.bound = true;
            next.call = calls_;
            next.address = c.args[0];
            next.width = argInt(c, 1);
            next.height = argInt(c, 2);
            if (lightmap_.bound && next.address == lightmap_.address &&
                area(next.width, next.height) == area(lightmap_.width, lightmap_.height))
                next.content = lightmap_.content;
            lightmap_ = next;
            break;
        }
        case EntryPoint::DrawTri:
            record(texture_.texture, r[3]);
            record(texture_.palette, r[4]);
            break;
        case EntryPoint::DrawPerspTri:
            record(texture_.texture, r[4]);
            record(texture_.palette, r[5]);
            record(lightmap_.content, r[6]);
            break;
        case EntryPoint::DrawTile:
            record(texture_.texture, r[0]);
            record(texture_.palette, r[1]);
            break;
        default: break;
    }
    if (trace::mayWriteTarget(c.entry)) {
        target_.source = ImageSource::Unknown;
        target_.sourceHasCall = true;
        target_.sourceCall = calls_;
    }
    ++calls_;
}

void TraceState::apply(const trace::Record& rec) {
    switch (rec.type) {
        case trace::RecordType::Blob: break;
        case trace::RecordType::Call: call(rec.call); break;
        case trace::RecordType::Image:
        case trace::RecordType::ImageHash:
            target_.source = rec.type == trace::RecordType::Image ? ImageSource::Host : ImageSource::AfterCall;
            target_.sourceHasCall = calls_ > 0;
            target_.sourceCall = calls_ > 0 ? calls_ - 1 : 0;
            target_.contentState = rec.ref.state;
            target_.hash = rec.ref.hash;
            break;
        case trace::RecordType::End: break;
    }
}

}  // namespace velkano::replay
