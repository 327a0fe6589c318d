// call_listing.cpp: decoding a call's arguments and reads.
#include "call_listing.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "trace_state.h"  // contentHashText

namespace velkano::replay {
namespace {

using trace::ArgKind;
using trace::EntryPoint;
using trace::Read;
using trace::Ref;
using trace::RefState;

// The channel orders of docs/api.md's table: pixels, lightmap words, the flash colours and the
// tile tint hold red in byte 2; palette entries and DRAWTRI's vertex colours in byte 0.
constexpr const char* kPixelOrder = "XXRRGGBB";
constexpr const char* kVertexOrder = "XXBBGGRR";

// The argument is a colour word in pixel order: the flashes' colour, the tile's tint.
bool pixelOrderWord(EntryPoint entry, size_t arg) {
    switch (entry) {
        case EntryPoint::FlashAdd:
        case EntryPoint::FlashSub:
        case EntryPoint::FlashMod: return arg == 0;
        case EntryPoint::DrawTile: return arg == 10;
        default: return false;
    }
}
bool blendModeArg(EntryPoint entry, size_t arg) { return entry == EntryPoint::SetTexture && arg == 4; }

// What a blend mode does to triangles and to tiles (docs/api.md's two tables).
const char* triangleMode(int32_t mode) {
    static constexpr const char* kNames[] = {"replace",     "replace", "add",     "modulate x2",
                                             "multiply x2", "none",    "displace"};
    return mode >= 0 && mode <= 6 ? kNames[mode] : nullptr;
}
const char* tileMode(int32_t mode) {
    static constexpr const char* kNames[] = {"replace", "replace, index 0 transparent", "add", "modulate"};
    return mode >= 0 && mode <= 3 ? kNames[mode] : nullptr;
}

// The reads shown as a pair per vertex, three values, or three colour words.
bool pairRead(Read read) { return read == Read::Positions || read == Read::TexCoords || read == Read::LightmapCoords; }
bool vertexRead(Read read) { return pairRead(read) || read == Read::Depths || read == Read::Colours; }

int32_t asInt(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

std::string sizeText(int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

std::string formatFloat(uint32_t bits) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, std::bit_cast<float>(bits));
    return std::string(text, result.ptr);
}

Json floatJson(uint32_t bits) {
    const float value = std::bit_cast<float>(bits);
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // The shortest decimal of the float read as a double: printed again it gives the same
    // digits, and read back as a float it gives the same bits.
    const std::string text = formatFloat(bits);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

std::string wordText(uint32_t word) { return "0x" + trace::hexText(word, 8); }

std::string blendModeText(int32_t mode) {
    const char* triangles = triangleMode(mode);
    const char* tiles = tileMode(mode);
    std::string text = std::to_string(mode) + " (";
    if (!triangles) return text + "out of range: draws nothing)";
    if (tiles && std::strcmp(triangles, tiles) == 0) return text + triangles + ")";
    return text + "triangles: " + triangles + "; tiles: " + (tiles ? tiles : "out of range, none") + ")";
}

Json blendModeJson(int32_t mode) {
    const char* triangles = triangleMode(mode);
    const char* tiles = tileMode(mode);
    return {{"value", mode},
            {"triangles", triangles ? Json(triangles) : Json(nullptr)},
            {"tiles", tiles ? Json(tiles) : Json(nullptr)}};
}

void CallDecoder::note(const trace::Record& record) {
    if (record.type != trace::RecordType::Call) return;
    const trace::Call& call = record.call;
    if (call.entry == EntryPoint::SetTexture) {
        textureWidth_ = trace::argInt(call, 1);
        textureHeight_ = trace::argInt(call, 2);
    } else if (call.entry == EntryPoint::SetLightmap) {
        lightmapWidth_ = trace::argInt(call, 1);
        lightmapHeight_ = trace::argInt(call, 2);
    }
}

std::string CallDecoder::refText(const Ref& ref) const {
    switch (ref.state) {
        case RefState::Absent: return "not read";
        case RefState::Unreadable: return "unreadable";
        case RefState::Content: break;
    }
    std::string text = contentHashText(ref.hash);
    if (uint32_t bytes = 0; reader_.blobBytes(ref.hash, bytes)) {
        text += ' ';
        text += std::to_string(bytes);
        text += " B";
    }
    return text;
}

Json CallDecoder::refJson(const Ref& ref) const {
    Json json = Json::object();
    switch (ref.state) {
        case RefState::Absent: json["state"] = "absent"; return json;
        case RefState::Unreadable: json["state"] = "unreadable"; return json;
        case RefState::Content: break;
    }
    json["state"] = "content";
    json["hash"] = trace::hexText(ref.hash, 16);
    if (uint32_t bytes = 0; reader_.blobBytes(ref.hash, bytes)) json["bytes"] = bytes;
    return json;
}

bool CallDecoder::arrayContent(const Ref& ref, size_t sizeBytes, uint32_t* words, std::string& error) {
    const std::vector<uint8_t>* content = reader_.content(ref.hash);
    if (!content) {
        error = "corrupt: " + reader_.error();
        return false;
    }
    if (content->size() != sizeBytes) {
        error = std::to_string(content->size()) + " B, not " + std::to_string(sizeBytes);
        return false;
    }
    std::memcpy(words, content->data(), sizeBytes);
    return true;
}

std::string CallDecoder::readText(const trace::Call& call, size_t j) {
    const Read read = trace::signature(call.entry).reads[j];
    const Ref& ref = call.reads[j];
    if (ref.state != RefState::Content) return refText(ref);
    if (read == Read::TargetHash) return contentHashText(ref.hash);
    if (read == Read::Texture) return sizeText(textureWidth_, textureHeight_) + " " + refText(ref);
    if (read == Read::Lightmap) return sizeText(lightmapWidth_, lightmapHeight_) + " " + refText(ref);
    if (!vertexRead(read)) return refText(ref);
    uint32_t words[6];
    const size_t count = trace::fixedReadBytes(read) / 4;
    std::string error;
    if (!arrayContent(ref, 4 * count, words, error)) return refText(ref) + " (" + error + ")";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        if (read == Read::Colours) {
            text += wordText(words[i]);
        } else if (read == Read::Depths) {
            text += formatFloat(words[i]);
        } else if (i % 2 == 0) {
            text += '(';
            text += formatFloat(words[i]);
            text += ", ";
            text += formatFloat(words[i + 1]);
            text += ')';
            ++i;
        }
    }
    if (read == Read::Colours) text += std::string(" (") + kVertexOrder + ")";
    return text;
}

Json CallDecoder::readJson(const trace::Call& call, size_t j) {
    const Read read = trace::signature(call.entry).reads[j];
    const Ref& ref = call.reads[j];
    Json json = refJson(ref);
    if (ref.state != RefState::Content) return json;
    if (read == Read::TargetHash) json.erase("bytes");
    if (read == Read::Texture || read == Read::Lightmap) {
        json["width"] = read == Read::Texture ? textureWidth_ : lightmapWidth_;
        json["height"] = read == Read::Texture ? textureHeight_ : lightmapHeight_;
    }
    if (!vertexRead(read)) return json;
    uint32_t words[6];
    const size_t count = trace::fixedReadBytes(read) / 4;
    std::string error;
    if (!arrayContent(ref, 4 * count, words, error)) {
        json["error"] = error;
        return json;
    }
    Json value = Json::array();
    for (size_t i = 0; i < count; ++i) {
        if (read == Read::Colours) {
            value.push_back(wordText(words[i]));
        } else if (read == Read::Depths) {
            value.push_back(floatJson(words[i]));
        } else if (i % 2 == 0) {
            value.push_back(Json::array({floatJson(words[i]), floatJson(words[i + 1])}));
        }
    }
    json["value"] = std::move(value);
    if (read == Read::Colours) json["order"] = kVertexOrder;
    return json;
}

std::string CallDecoder::argText(const trace::Call& call, size_t i) const {
    const uint64_t value = call.args[i];
    switch (trace::signature(call.entry).args[i]) {
        case ArgKind::Int:
            return blendModeArg(call.entry, i) ? blendModeText(asInt(value)) : std::to_string(asInt(value));
        case ArgKind::Word: {
            std::string text = wordText(static_cast<uint32_t>(value));
            if (pixelOrderWord(call.entry, i)) text += std::string(" (") + kPixelOrder + ")";
            return text;
        }
        case ArgKind::Float: return formatFloat(static_cast<uint32_t>(value));
        case ArgKind::Pointer: break;
    }
    if (value == 0) return "null";
    std::string text("0x");
    text += trace::hexText(value, 0);
    return text;
}

std::string CallDecoder::text(const trace::Call& call) {
    const trace::Signature& s = trace::signature(call.entry);
    bool readShown[trace::kMaxReads] = {};
    std::string text(s.name);
    for (size_t i = 0; i < s.argCount; ++i) {
        text += ' ';
        text += s.argNames[i];
        text += '=';
        text += argText(call, i);
        if (s.args[i] != ArgKind::Pointer) continue;
        // What was read through a pointer follows it.
        for (size_t j = 0; j < s.readCount; ++j) {
            if (trace::readArgument(call.entry, s.reads[j]) != static_cast<int>(i)) continue;
            readShown[j] = true;
            if (call.args[i] == 0 && call.reads[j].state == RefState::Absent) continue;
            text += ' ';
            text += readText(call, j);
        }
    }
    for (size_t j = 0; j < s.readCount; ++j) {
        if (readShown[j]) continue;
        text += ' ';
        text += trace::readName(s.reads[j]);
        text += '=';
        text += readText(call, j);
    }
    return text;
}

Json CallDecoder::json(const trace::Call& call) {
    const trace::Signature& s = trace::signature(call.entry);
    Json args = Json::object(), reads = Json::object();
    for (size_t i = 0; i < s.argCount; ++i) {
        const uint64_t value = call.args[i];
        Json& arg = args[std::string(s.argNames[i])];
        switch (s.args[i]) {
            case ArgKind::Int:
                arg = blendModeArg(call.entry, i) ? blendModeJson(asInt(value)) : Json(asInt(value));
                break;
            case ArgKind::Word:
                if (pixelOrderWord(call.entry, i))
                    arg = {{"word", wordText(static_cast<uint32_t>(value))}, {"order", kPixelOrder}};
                else arg = wordText(static_cast<uint32_t>(value));
                break;
            case ArgKind::Float: arg = floatJson(static_cast<uint32_t>(value)); break;
            case ArgKind::Pointer: arg = value == 0 ? Json(nullptr) : Json("0x" + trace::hexText(value, 0)); break;
        }
    }
    for (size_t j = 0; j < s.readCount; ++j) reads[std::string(trace::readName(s.reads[j]))] = readJson(call, j);
    return {{"args", std::move(args)}, {"reads", std::move(reads)}};
}

}  // namespace velkano::replay
