// call_listing.h: a call's arguments and the memory it read, decoded into what they are, as
// text for a listing line and as JSON:
//   DRAWTILE@44 x=4 y=4 w=15 h=15 ... tint=0x00c01010 (XXRRGGBB) texture=8x8 #1a2b3c4d5e6f7788 64 B
// Floats in their shortest round-trip form; the vertex arrays read from the trace's blobs and
// shown as (x, y) or (u, v) tuples, three depths or three colour words; colour words with their
// channel order; the blend mode by name; host memory (texture, palette, lightmap, INIT's
// target) by its size and hash; pointers in hex, null as null; memory the capture could not
// read as unreadable, memory the call did not read as not read.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <unordered_map>

#include "trace/trace_reader.h"

namespace velkano::replay {

using Json = nlohmann::ordered_json;

// The float whose bits are `bits`, in the shortest form that reads back to the same value.
std::string formatFloat(uint32_t bits);
// The same float in JSON: the number that shortest form reads as ("nan", "inf" and "-inf" as
// strings, which JSON has no number for).
Json floatJson(uint32_t bits);
// "0x00c01010".
std::string wordText(uint32_t word);
// SETTEXTURE's blend mode: "0 (replace)", "3 (triangles: modulate x2; tiles: modulate)",
// "9 (out of range: draws nothing)".
std::string blendModeText(int32_t mode);
// The same as JSON: {"value": 3, "triangles": "modulate x2", "tiles": "modulate"}, null for a
// kind of draw the mode is out of range for.
Json blendModeJson(int32_t mode);

// Decodes calls in file order. It is told every record (note()) so it knows the texture and
// lightmap bound when a draw reads them; the blobs' sizes and the vertex arrays' contents are
// read through the trace reader. A copy decodes on from where the original stood.
class CallDecoder {
public:
    explicit CallDecoder(trace::TraceReader& reader) : reader_(reader) {}

    // Takes in a record once it has been read: the sizes SETTEXTURE and SETLIGHTMAP bind.
    // Decode a call before noting it.
    void note(const trace::Record& record);
    // Decoding from the middle of a trace: the sizes bound there.
    void follow(int32_t textureWidth, int32_t textureHeight, int32_t lightmapWidth, int32_t lightmapHeight) {
        textureWidth_ = textureWidth;
        textureHeight_ = textureHeight;
        lightmapWidth_ = lightmapWidth;
        lightmapHeight_ = lightmapHeight;
    }

    // "DRAWTILE@44 x=4 ...": the entry point's decorated name, then every argument and read.
    std::string text(const trace::Call& call);
    // {"args": {name: value, ...}, "reads": {name: {"state", "hash", "bytes", ...}, ...}}.
    Json json(const trace::Call& call);
    // Argument `arg` as text ("4", "0x00c01010 (XXRRGGBB)", "0x5620ef61d520", "null"), without
    // what was read through it.
    std::string argText(const trace::Call& call, size_t arg) const;
    // Read `read` as text: "(30, 4) (60, 20) (34, 44)", "8x8 #hash 64 B", "unreadable", ...
    std::string readText(const trace::Call& call, size_t read);
    // A ref as text: "#hash 64 B", "unreadable" or "not read".
    std::string refText(const trace::Ref& ref) const;
    // A ref as JSON: {"state": "content", "hash": "…", "bytes": 64}, {"state": "unreadable"} or
    // {"state": "absent"}.
    Json refJson(const trace::Ref& ref) const;

private:
    Json readJson(const trace::Call& call, size_t read);
    // The array a vertex read holds, as floats or words; false when it cannot be read (then
    // `error` says why).
    bool arrayContent(const trace::Ref& ref, size_t sizeBytes, uint32_t* words, std::string& error);

    trace::TraceReader& reader_;
    int32_t textureWidth_ = 0, textureHeight_ = 0, lightmapWidth_ = 0, lightmapHeight_ = 0;
};

}  // namespace velkano::replay
