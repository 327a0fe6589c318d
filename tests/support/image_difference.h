// image_difference.h: what a failed image comparison says. Images are compared byte for byte
// as whole blocks, row padding included; a difference names the first differing pixel by
// column and row, with both pixel words in hex, so a failure says where to look.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace velkano::testing {

// 0x%08X: a pixel or colour word as a failure message shows it.
inline std::string hexWord(uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", word);
    return text;
}
inline std::string hexWords(const std::vector<uint32_t>& words) {
    std::string text = "{";
    for (size_t i = 0; i < words.size(); ++i) text += (i ? ", " : "") + hexWord(words[i]);
    return text + "}";
}

// "" when the sizeBytes bytes at `got` and `want` are equal, otherwise, for the first byte
// that differs, "<name> (x, y): got 0x........, want 0x........": rows of pitchBytes bytes,
// 4 bytes a pixel, so y = offset / pitch and x = offset % pitch / 4. A word cut short by the
// end of its row or of the block shows only the bytes there, the rest as zero: nothing
// outside the block is read.
inline std::string imageDifference(const char* name, const void* got, const void* want, size_t sizeBytes,
                                   size_t pitchBytes) {
    const auto* g = static_cast<const uint8_t*>(got);
    const auto* w = static_cast<const uint8_t*>(want);
    if (sizeBytes == 0 || std::memcmp(g, w, sizeBytes) == 0) return "";
    size_t at = 0;
    while (g[at] == w[at]) ++at;
    const size_t pitch = pitchBytes != 0 ? pitchBytes : sizeBytes;
    const size_t y = at / pitch, x = at % pitch / 4;
    const size_t start = y * pitch + 4 * x;
    const size_t count = std::min({size_t{4}, (y + 1) * pitch - start, sizeBytes - start});
    uint32_t gotWord = 0, wantWord = 0;  // little-endian: the bytes present fill the low lanes
    std::memcpy(&gotWord, g + start, count);
    std::memcpy(&wantWord, w + start, count);
    return std::string(name) + " (" + std::to_string(x) + ", " + std::to_string(y) + "): got " + hexWord(gotWord) +
           ", want " + hexWord(wantWord);
}
// The same for two blocks that hold their size (GuardedBytes, std::vector<uint8_t>).
template <typename Got, typename Want>
std::string imageDifference(const char* name, const Got& got, const Want& want, size_t pitchBytes) {
    if (got.size() != want.size()) return std::string(name) + ": the blocks differ in size";
    return imageDifference(name, got.data(), want.data(), got.size(), pitchBytes);
}

}  // namespace velkano::testing
