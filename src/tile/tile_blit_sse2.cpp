// tile_blit_sse2.cpp: the tile row kernel four pixels a step. The texel and palette reads
// are scalar (each pixel addresses its own); conversion, tint and blend are packed.
#include <emmintrin.h>

#include <cstddef>

#include "tile/tile_blit.h"

namespace velkano::sse2 {
namespace {

template <TileMode Mode>
void tileRowSse2Mode(const TileRow& row, const TileInk& ink) {
    const __m128i zero = _mm_setzero_si128();
    // The tint's lanes as 16-bit words, byte 3's word zero: a palette colour has byte 3
    // zero, so its product with the tint does too.
    const __m128i tint16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int32_t>(ink.tint & 0x00FFFFFFu)), zero);
    const auto swapRedBlue = [](__m128i words) {  // ColourWord lanes to PixelWord lanes
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(words, _MM_SHUFFLE(3, 0, 1, 2)), _MM_SHUFFLE(3, 0, 1, 2));
    };
    const auto entry = [&](uint8_t index) { return static_cast<int32_t>(loadWord(ink.palette + index)); };

    int32_t i = 0;
    for (; row.count - i >= 4; i += 4) {
        const uint8_t i0 = row.texelRow[row.columns[i]], i1 = row.texelRow[row.columns[i + 1]];
        const uint8_t i2 = row.texelRow[row.columns[i + 2]], i3 = row.texelRow[row.columns[i + 3]];
        const __m128i entries = _mm_setr_epi32(entry(i0), entry(i1), entry(i2), entry(i3));
        // (colour lane * tint lane) >> 8 in 16-bit lanes: pixels 0 and 1 low, 2 and 3 high.
        __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(swapRedBlue(_mm_unpacklo_epi8(entries, zero)), tint16), 8);
        __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(swapRedBlue(_mm_unpackhi_epi8(entries, zero)), tint16), 8);
        auto* at = reinterpret_cast<__m128i*>(row.pixels + 4 * static_cast<size_t>(i));
        if constexpr (Mode == TileMode::ModulateTarget) {
            // min(255, (target * colour) >> 7): at most 255 * 254 before the shift, and the
            // saturating pack clamps.
            const __m128i target = _mm_loadu_si128(at);
            lo = _mm_srli_epi16(_mm_mullo_epi16(lo, _mm_unpacklo_epi8(target, zero)), 7);
            hi = _mm_srli_epi16(_mm_mullo_epi16(hi, _mm_unpackhi_epi8(target, zero)), 7);
            _mm_storeu_si128(at, _mm_packus_epi16(lo, hi));
        } else {
            const __m128i colour = _mm_packus_epi16(lo, hi);
            if constexpr (Mode == TileMode::Replace) {
                _mm_storeu_si128(at, colour);
            } else if constexpr (Mode == TileMode::ReplaceUnlessIndexZero) {
                // Pixels whose index byte is 0 keep the target's word.
                const __m128i transparent = _mm_cmpeq_epi32(_mm_setr_epi32(i0, i1, i2, i3), zero);
                const __m128i target = _mm_loadu_si128(at);
                _mm_storeu_si128(
                    at, _mm_or_si128(_mm_and_si128(transparent, target), _mm_andnot_si128(transparent, colour)));
            } else {
                static_assert(Mode == TileMode::AddSat);
                _mm_storeu_si128(at, _mm_adds_epu8(_mm_loadu_si128(at), colour));
            }
        }
    }
    if (i < row.count)
        tileRowScalar(TileRow{row.pixels + 4 * static_cast<size_t>(i), row.texelRow, row.columns + i, row.count - i},
                      ink);
}

}  // namespace

void tileRowSse2(const TileRow& row, const TileInk& ink) {
    withTileMode(ink.mode, [&](auto mode) { tileRowSse2Mode<mode>(row, ink); });
}

}  // namespace velkano::sse2
