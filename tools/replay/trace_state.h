// trace_state.h: what the recorded calls had put in force at any point of a trace, followed
// from the records alone (no library): the target INIT bound, the texture, palette and
// lightmap bindings with the content the trace last recorded for them, the frame counter and
// whether the library's scratch layers exist.
//
// The trace holds a bound image's content only where a draw read it (binding reads nothing),
// so a binding's content is "as last recorded": by the latest draw that read it, or, after a
// rebinding of the same address and size, by a draw before that rebinding.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "trace/trace_reader.h"

namespace velkano::replay {

// Content the trace recorded for a bound image. `state` Absent: nothing recorded since bound.
struct RecordedContent {
    trace::RefState state = trace::RefState::Absent;
    uint64_t hash = 0;
    uint64_t sizeBytes = 0;   // of the blob (0 when unreadable)
    uint64_t firstCall = 0;   // the call whose record first carried this blob
    uint64_t latestCall = 0;  // the latest call that recorded it
    bool recorded() const { return state == trace::RefState::Content; }
};

// Where the trace last said what the target holds.
enum class ImageSource {
    Unknown,    // call `sourceCall` may have changed it, and no hash was recorded after it
    Init,       // the image INIT bound, as recorded by that call
    Host,       // an image record: the host wrote into its target after call `sourceCall`
    AfterCall,  // exact mode: the image as call `sourceCall` left it
    FrameEnd,   // ENDUPDATE `sourceCall`: the image at the frame's end
};

struct TargetState {
    bool bound = false;  // an INIT seen
    uint64_t initCall = 0, address = 0;
    int32_t width = 0, height = 0, pitch = 0;
    ImageSource source = ImageSource::Unknown;
    bool sourceHasCall = false;  // Host: a call came before the image record
    uint64_t sourceCall = 0;
    trace::RefState contentState = trace::RefState::Absent;  // of the source's ref
    uint64_t hash = 0;                                       // the image's hash when contentState is Content
    bool known() const { return source != ImageSource::Unknown && contentState == trace::RefState::Content; }
};

struct TextureState {
    bool bound = false;  // a SETTEXTURE seen
    uint64_t call = 0, address = 0, paletteAddress = 0;
    int32_t width = 0, height = 0, blendMode = 0;
    RecordedContent texture, palette;
};

struct LightmapState {
    bool bound = false;  // a SETLIGHTMAP seen
    uint64_t call = 0, address = 0;
    int32_t width = 0, height = 0;
    RecordedContent content;
};

enum class Layers {
    NoInit,    // no INIT yet: the library holds none
    Present,   // INIT `layersCall` gave them height * pitch bytes each
    Empty,     // INIT `layersCall` had a height or pitch of 0 or less, or a size the library refuses
    Unloaded,  // UNLOAD `layersCall` released them
};

// "#1a2b3c4d5e6f7788": a content hash as the tool shows it.
std::string contentHashText(uint64_t hash);
// "19 calls (0 to 18)", "0 calls": how many calls a trace holds, for messages about a call
// number beyond it.
std::string callCountText(uint64_t calls);

class TraceState {
public:
    // Blob sizes come from `reader`. A copy follows on from where the original stood.
    explicit TraceState(const trace::TraceReader& reader) : reader_(&reader) {}

    // Takes every record in file order (blobs, calls, image records); a call advances calls().
    void apply(const trace::Record& record);

    const TargetState& target() const { return target_; }
    const TextureState& texture() const { return texture_; }
    const LightmapState& lightmap() const { return lightmap_; }
    Layers layers() const { return layers_; }
    uint64_t layersCall() const { return layersCall_; }
    uint64_t layerBytes() const { return layerBytes_; }  // each, when Present
    uint64_t endUpdates() const { return endUpdates_; }  // the library's counter is this modulo 2^32
    uint64_t calls() const { return calls_; }            // calls applied so far

private:
    void call(const trace::Call& call);
    void record(RecordedContent& content, const trace::Ref& ref);

    TargetState target_;
    TextureState texture_;
    LightmapState lightmap_;
    Layers layers_ = Layers::NoInit;
    uint64_t layersCall_ = 0, layerBytes_ = 0, endUpdates_ = 0, calls_ = 0;
    const trace::TraceReader* reader_;
    // By blob hash: the first call that referred to it. Copies share it: a call that refers to a
    // blob finds the first call that did, whichever copy saw it first.
    std::shared_ptr<std::unordered_map<uint64_t, uint64_t>> firstCall_ =
        std::make_shared<std::unordered_map<uint64_t, uint64_t>>();
};

}  // namespace velkano::replay
