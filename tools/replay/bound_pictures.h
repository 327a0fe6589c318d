// bound_pictures.h: the texture and lightmap bound at a point of a trace, as pictures, from the
// content the trace recorded for them (--texture-at, --lightmap-at, the frame debugger).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trace/trace_reader.h"
#include "trace_state.h"

namespace velkano::replay {

// The texture bound in `state` through its palette: RGB, three bytes a pixel, red first, rows
// of state.texture().width pixels. False when there is none to draw, with `why` ("no texture is
// bound (no SETTEXTURE yet)", ...), or with `why` empty when the trace's blob is corrupt (the
// reader's error() says how).
bool texturePicture(const TraceState& state, trace::TraceReader& reader, std::vector<uint8_t>& rgb, std::string& why);
// The lightmap bound in `state`: its 0xXXRRGGBB words, rows of state.lightmap().width words.
bool lightmapPicture(const TraceState& state, trace::TraceReader& reader, std::vector<uint8_t>& words,
                     std::string& why);

}  // namespace velkano::replay
