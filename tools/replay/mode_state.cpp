// mode_state.cpp: --state N: what was in force just before call N, from the trace alone.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "call_listing.h"
#include "listing_json.h"
#include "modes.h"
#include "replay_run.h"
#include "trace_state.h"

namespace velkano::replay {
namespace {

using trace::RefState;

std::string address(uint64_t value) { return value == 0 ? "null" : "0x" + trace::hexText(value, 0); }
std::string hash(uint64_t value) { return trace::hexText(value, 16); }

std::string contentText(const RecordedContent& content) {
    switch (content.state) {
        case RefState::Absent: return "nothing recorded yet (no draw has read it since it was bound)";
        case RefState::Unreadable:
            return "unreadable to the recording (call " + std::to_string(content.latestCall) + ")";
        case RefState::Content: break;
    }
    std::string text = contentHashText(content.hash) + ", " + std::to_string(content.sizeBytes) +
                       " B, first recorded by call " + std::to_string(content.firstCall);
    if (content.latestCall != content.firstCall) text += ", latest by call " + std::to_string(content.latestCall);
    return text;
}

Json contentJson(const RecordedContent& content) {
    switch (content.state) {
        case RefState::Absent: return nullptr;
        case RefState::Unreadable: return Json{{"unreadable", true}, {"recordedBy", content.latestCall}};
        case RefState::Content: break;
    }
    return Json{{"hash", hash(content.hash)},
                {"bytes", content.sizeBytes},
                {"firstRecordedBy", content.firstCall},
                {"latestRecordedBy", content.latestCall}};
}

const char* sourceName(ImageSource source) {
    switch (source) {
        case ImageSource::Unknown: return "unknown";
        case ImageSource::Init: return "init";
        case ImageSource::Host: return "host";
        case ImageSource::AfterCall: return "afterCall";
        case ImageSource::FrameEnd: return "frameEnd";
    }
    return "unknown";
}

std::string imageText(const TargetState& t) {
    const std::string call = std::to_string(t.sourceCall);
    if (t.source == ImageSource::Unknown)
        return "not known: call " + call + " may have changed it since it was recorded";
    if (t.contentState == RefState::Absent) return "none (a null target)";
    if (t.contentState == RefState::Unreadable) return "unreadable to the recording";
    std::string text = contentHashText(t.hash) + ", ";
    switch (t.source) {
        case ImageSource::Init: return text + "as INIT call " + call + " recorded it";
        case ImageSource::Host:
            return text + "written by the host " + (t.sourceHasCall ? "after call " + call : "before the first call");
        case ImageSource::AfterCall: return text + "as call " + call + " left it (exact mode)";
        case ImageSource::FrameEnd: return text + "at the frame's end, ENDUPDATE call " + call;
        case ImageSource::Unknown: break;
    }
    return text;
}

const char* layersName(Layers layers) {
    switch (layers) {
        case Layers::NoInit: return "none";
        case Layers::Present: return "present";
        case Layers::Empty: return "empty";
        case Layers::Unloaded: return "unloaded";
    }
    return "none";
}

std::string layersText(const TraceState& s) {
    const std::string call = std::to_string(s.layersCall());
    switch (s.layers()) {
        case Layers::NoInit: return "absent: no INIT yet";
        case Layers::Present:
            return "present since INIT call " + call + " (" + std::to_string(s.layerBytes()) + " bytes each)";
        case Layers::Empty: return "absent: INIT call " + call + " gave a size the library allocates no layer for";
        case Layers::Unloaded: return "absent: UNLOAD call " + call + " released them";
    }
    return "";
}

void printText(const TraceState& s, const CallPlace& place, const std::string& callText) {
    std::printf("state before call %llu (frame %llu): %s\n", static_cast<unsigned long long>(place.index),
                static_cast<unsigned long long>(place.frame), callText.c_str());
    const TargetState& t = s.target();
    if (t.bound) {
        std::printf("target:   INIT call %llu: %s, %d x %d, pitch %d\n", static_cast<unsigned long long>(t.initCall),
                    address(t.address).c_str(), t.width, t.height, t.pitch);
        std::printf("          image %s\n", imageText(t).c_str());
    } else {
        std::printf("target:   none (no INIT yet)\n");
    }
    const TextureState& x = s.texture();
    if (x.bound) {
        std::printf("texture:  SETTEXTURE call %llu: %s, %d x %d, palette %s, blend mode %s\n",
                    static_cast<unsigned long long>(x.call), address(x.address).c_str(), x.width, x.height,
                    address(x.paletteAddress).c_str(), blendModeText(x.blendMode).c_str());
        std::printf("          texels %s\n", contentText(x.texture).c_str());
        std::printf("          palette %s\n", contentText(x.palette).c_str());
    } else {
        std::printf("texture:  none (no SETTEXTURE yet)\n");
    }
    const LightmapState& l = s.lightmap();
    if (l.bound) {
        std::printf("lightmap: SETLIGHTMAP call %llu: %s, %d x %d\n", static_cast<unsigned long long>(l.call),
                    address(l.address).c_str(), l.width, l.height);
        std::printf("          words %s\n", contentText(l.content).c_str());
    } else {
        std::printf("lightmap: none (no SETLIGHTMAP yet)\n");
    }
    std::printf("frame counter: %llu (ENDUPDATEs so far)\n",
                static_cast<unsigned long long>(s.endUpdates() & 0xFFFFFFFFu));
    std::printf("layers:   %s\n", layersText(s).c_str());
}

}  // namespace

Json stateJson(const TraceState& s, const CallPlace& place, CallDecoder& decoder, const trace::Call& call) {
    Json out;
    out["call"] = {{"index", place.index},
                   {"frame", place.frame},
                   {"entry", std::string(trace::signature(call.entry).name)},
                   {"text", decoder.text(call)}};
    out["call"].update(decoder.json(call));
    const TargetState& t = s.target();
    out["target"] = nullptr;
    if (t.bound) {
        Json image = nullptr;
        if (t.known()) image = {{"hash", hash(t.hash)}, {"source", sourceName(t.source)}, {"call", t.sourceCall}};
        out["target"] = {{"initCall", t.initCall}, {"address", address(t.address)},
                         {"width", t.width},       {"height", t.height},
                         {"pitch", t.pitch},       {"image", image}};
        if (!t.known()) out["target"]["imageNote"] = imageText(t);
    }
    const TextureState& x = s.texture();
    out["texture"] = nullptr;
    if (x.bound) {
        out["texture"] = {{"setTextureCall", x.call},
                          {"address", address(x.address)},
                          {"width", x.width},
                          {"height", x.height},
                          {"paletteAddress", address(x.paletteAddress)},
                          {"blendMode", blendModeJson(x.blendMode)},
                          {"texels", contentJson(x.texture)},
                          {"palette", contentJson(x.palette)}};
    }
    const LightmapState& l = s.lightmap();
    out["lightmap"] = nullptr;
    if (l.bound)
        out["lightmap"] = {{"setLightmapCall", l.call},
                           {"address", address(l.address)},
                           {"width", l.width},
                           {"height", l.height},
                           {"words", contentJson(l.content)}};
    out["frameCounter"] = s.endUpdates() & 0xFFFFFFFFu;
    out["layers"] = {{"present", s.layers() == Layers::Present},
                     {"state", layersName(s.layers())},
                     {"call", s.layers() == Layers::NoInit ? Json(nullptr) : Json(s.layersCall())},
                     {"bytes", s.layerBytes()}};
    return out;
}

int runState(const ModeInput& input) {
    const uint64_t wanted = input.options.stateAt;
    ReplayRun run(input.reader, input.report, RunSettings{});
    TraceState state(input.reader);
    CallDecoder decoder(input.reader);
    RunEvent event;
    bool found = false;
    while (run.next(event)) {
        if (event.kind == RunEvent::Kind::Call && event.place.index == wanted) {
            found = true;
            if (input.options.json)
                std::printf("%s\n", stateJson(state, event.place, decoder, event.record->call).dump(2).c_str());
            else printText(state, event.place, decoder.text(event.record->call));
            run.stop();
            break;
        }
        if (!event.record) continue;
        state.apply(*event.record);
        decoder.note(*event.record);
    }
    const int status = run.finish();
    if (found) return status;
    input.report.error("--state " + std::to_string(wanted) + ": beyond the trace: " + input.report.tracePath() +
                       " holds " + callCountText(run.calls()));
    return 2;
}

}  // namespace velkano::replay
