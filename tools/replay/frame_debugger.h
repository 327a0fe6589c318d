// frame_debugger.h: what `velkano-replay --serve` answers, without the HTTP around it.
//
// load() reads and replays the whole trace once with the library code built into this tool,
// and keeps an index: every call's place in the file and what it changed (its changed-pixel
// count and box, measured inside the call's footprint), every frame's calls, and checkpoints:
// copies of the replay's whole state (the library's context and scratch layers, the replay's
// copy of the host image and bindings) taken every so often while replaying. A question about
// call N then restores the last checkpoint at or before N and replays from there, so that it
// costs at most the replay time between two checkpoints, whatever the trace's length. The
// checkpoints are kept within a memory limit: when they would pass it, every other one is
// dropped and they are taken half as often from then on.
//
// After load(), facts() and frames() only read the index and may be called from any thread;
// every other question replays, and they must come from one thread at a time (the server's
// render thread). Each returns a complete reply: a JSON document or a PNG image, or an error
// ({"error": "why"}) with its HTTP status: 404 for a call, frame or pixel the trace does not
// have, or an image there is none of.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "modes.h"

namespace velkano::replay {

struct Reply {
    int status = 200;
    std::string contentType;  // "application/json" or "image/png"
    std::string body;
};

// The image a call's view shows: the target after the call, before it, or where they differ.
enum class ImageView { After, Before, Difference };

class FrameDebugger {
public:
    // `checkpointBytes`: the most the checkpoints may hold together; `checkpointSeconds`: the
    // replay time from one to the next, at first (0: one after every call, for tests).
    static constexpr double kCheckpointSeconds = 0.02;
    FrameDebugger(const ModeInput& input, uint64_t checkpointBytes, double checkpointSeconds = kCheckpointSeconds);
    ~FrameDebugger();
    FrameDebugger(const FrameDebugger&) = delete;
    FrameDebugger& operator=(const FrameDebugger&) = delete;

    // The first pass (progress on stderr, as the other modes show it). A trace that cannot be
    // read to its end is still served as far as it could be replayed; facts() tells why it
    // stops. False only when nothing can be served (no call could be replayed).
    bool load();

    uint64_t calls() const;                    // calls indexed, numbered from 0
    uint64_t frames() const;                   // frames: the ENDUPDATEs, and one more for calls after the last
    uint64_t firstCall(uint64_t frame) const;  // of a frame below frames()

    // GET /api/trace: {"trace", "header", "calls", "frames", "finishedFrames", "problem" (null
    // or what stopped the first pass), "library", "checkpoints": {"count", "bytes",
    // "limitBytes", "secondsApart"}, "load": {"seconds"}}.
    Reply facts() const;
    // GET /api/frames: [{"frame", "firstCall", "calls", "finished", "changedPixels", "width",
    // "height"}, ...]: width and height of the image at the frame's end (0 when none).
    Reply frameList() const;

    // GET /api/frame/F/calls?first=A&count=B: {"frame", "firstCall", "calls", "first",
    // "entries": [--calls --json's call entries, each with "text" too], "images": [the host's
    // image records after call first - 1 up to the last entry, as --calls --json lists them]}.
    // `first` must lie in the frame; at most `count` entries.
    Reply frameCalls(uint64_t frame, uint64_t first, uint64_t count);
    // GET /api/call/N/state: --state N --json's document.
    Reply state(uint64_t call);
    // GET /api/call/N/image.png?view=after|before|difference: the drawable image, one PNG pixel
    // per image pixel. Difference: the pixels the call changed in their colour after it, the
    // others as a quarter-bright grey of their value.
    Reply image(uint64_t call, ImageView view);
    // GET /api/call/N/texture.png, /api/call/N/lightmap.png: the bound texture through its
    // palette, the bound lightmap, as --texture-at and --lightmap-at write them.
    Reply texture(uint64_t call);
    Reply lightmap(uint64_t call);
    // GET /api/frame/F/pixel?x=X&y=Y: --pixel X,Y --frames F --json's document; 404 when the
    // pixel lies outside the image throughout the frame.
    Reply pixel(uint64_t frame, int32_t x, int32_t y);
    // GET /api/frame/F/overdraw.png: --overdraw's heatmap of the frame with its legend;
    // GET /api/frame/F/overdraw: {"frame", "width", "height", "changes", "calls", "maximum",
    // "at": [x, y] or null, "touched"}.
    Reply overdraw(uint64_t frame, bool png);
    // GET /api/frame/F/thumbnail.png: the image at the frame's end, at most `maxWidth` pixels
    // wide (every n-th pixel of every n-th row).
    Reply thumbnail(uint64_t frame, int32_t maxWidth);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A reply {"error": message} with `status`.
Reply errorReply(int status, const std::string& message);

}  // namespace velkano::replay
