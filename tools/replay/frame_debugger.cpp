// frame_debugger.cpp: a placeholder while the index and checkpoints are written: every question
// is answered 501.
#include "frame_debugger.h"

#include "call_listing.h"  // Json

namespace velkano::replay {

struct FrameDebugger::State {
    const ModeInput& input;
};

Reply errorReply(int status, const std::string& message) {
    return Reply{status, "application/json", Json{{"error", message}}.dump()};
}

FrameDebugger::FrameDebugger(const ModeInput& input, uint64_t) : state_(new State{input}) {}
FrameDebugger::~FrameDebugger() = default;
bool FrameDebugger::load() { return true; }
uint64_t FrameDebugger::calls() const { return 0; }
uint64_t FrameDebugger::frames() const { return 0; }
Reply FrameDebugger::facts() const { return errorReply(501, "not yet"); }
Reply FrameDebugger::frameList() const { return errorReply(501, "not yet"); }
Reply FrameDebugger::frameCalls(uint64_t, uint64_t, uint64_t) { return errorReply(501, "not yet"); }
Reply FrameDebugger::state(uint64_t) { return errorReply(501, "not yet"); }
Reply FrameDebugger::image(uint64_t, ImageView) { return errorReply(501, "not yet"); }
Reply FrameDebugger::texture(uint64_t) { return errorReply(501, "not yet"); }
Reply FrameDebugger::lightmap(uint64_t) { return errorReply(501, "not yet"); }
Reply FrameDebugger::pixel(uint64_t, int32_t, int32_t) { return errorReply(501, "not yet"); }
Reply FrameDebugger::overdraw(uint64_t, bool) { return errorReply(501, "not yet"); }
Reply FrameDebugger::thumbnail(uint64_t, int32_t) { return errorReply(501, "not yet"); }

}  // namespace velkano::replay
