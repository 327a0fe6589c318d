#include "image_difference.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velkano {
namespace {

using testing::imageDifference;

// Blocks whose byte i holds i, with one or two bytes flipped: the first flipped byte names
// its pixel, including the short words of row padding (pitch 13 leaves one byte a row).
TEST(imageDifference, namesTheFirstDifferingPixel) {
    static const struct {
        size_t sizeBytes, pitchBytes;
        std::vector<size_t> flipped;
        const char* want;
    } cases[] = {
        {39, 13, {}, ""},
        {48, 16, {27}, "image (2, 1): got 0xE41A1918, want 0x1B1A1918"},
        {39, 13, {29}, "image (0, 2): got 0xE21C1B1A, want 0x1D1C1B1A"},
        {39, 13, {17, 5}, "image (1, 0): got 0x0706FA04, want 0x07060504"},
        {39, 13, {12}, "image (3, 0): got 0x000000F3, want 0x0000000C"},
        {39, 13, {38}, "image (3, 2): got 0x000000D9, want 0x00000026"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> want(c.sizeBytes), got(c.sizeBytes);
        for (size_t i = 0; i < c.sizeBytes; ++i) want[i] = got[i] = static_cast<uint8_t>(i);
        for (const size_t at : c.flipped) got[at] ^= 0xFF;
        EXPECT_EQ(imageDifference("image", got, want, c.pitchBytes), c.want) << "pitch " << c.pitchBytes;
    }
}

}  // namespace
}  // namespace velkano
