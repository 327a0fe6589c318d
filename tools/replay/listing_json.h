// listing_json.h: the JSON documents --calls and --state print, piece by piece, for the modes
// and the frame debugger alike.
#pragma once

#include "call_listing.h"
#include "replay_run.h"
#include "trace_state.h"

namespace velkano::replay {

// A call of --calls --json: {"index", "frame", "offset", "entry", "args", "reads", "changed"}
// ("changed": {"pixels", "box": [x0, y0, x1, y1] or null}, null when not measured).
Json callEntryJson(const CallPlace& place, const trace::Call& call, CallDecoder& decoder, const ImageChange* change);
// An image record of --calls --json: {"kind", "frame", "offset", "afterCall", "content",
// "changed"}; `place` is the call before it (when `hasCall`), with the record's frame.
Json imageEntryJson(const trace::Record& record, const CallPlace& place, bool hasCall, const CallDecoder& decoder,
                    const ImageChange* change);
// --state N --json: what `state` holds before `call`, at `place`.
Json stateJson(const TraceState& state, const CallPlace& place, CallDecoder& decoder, const trace::Call& call);

}  // namespace velkano::replay
