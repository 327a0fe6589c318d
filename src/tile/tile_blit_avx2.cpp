// tile_blit_avx2.cpp: the tile row kernel eight pixels a step. The texel and palette reads
// are scalar (each pixel addresses its own; gathers measured slower); conversion, tint and
// blend are packed. The last pixels of a row, fewer than eight, are one step whose other
// lanes are masked out of the target's loads and stores.
#include <immintrin.h>

#include <cstddef>

#include "texture/texel_fetch_avx2.h"
#include "tile/tile_blit.h"

namespace velkano::avx2 {
namespace {

// What every step of one row shares.
struct TileStepAvx2 {
    explicit TileStepAvx2(const TileInk& ink)
        : palette(ink.palette),
          tint16(_mm256_cvtepu8_epi16(_mm_set1_epi32(static_cast<int32_t>(ink.tint & 0x00FFFFFFu)))) {}

    const ColourWord* palette;
    // The tint's lanes as 16-bit words, byte 3's word zero: a palette colour has byte 3
    // zero, so its product with the tint does too.
    __m256i tint16;
    // ColourWords to PixelWords widened to 16-bit lanes, within each 128-bit half: its
    // pixels 0 and 1, then 2 and 3.
    __m256i lowPixels = _mm256_setr_epi8(2, -1, 1, -1, 0, -1, -1, -1, 6, -1, 5, -1, 4, -1, -1, -1,  //
                                         2, -1, 1, -1, 0, -1, -1, -1, 6, -1, 5, -1, 4, -1, -1, -1);
    __m256i highPixels = _mm256_setr_epi8(10, -1, 9, -1, 8, -1, -1, -1, 14, -1, 13, -1, 12, -1, -1, -1,  //
                                          10, -1, 9, -1, 8, -1, -1, -1, 14, -1, 13, -1, 12, -1, -1, -1);
};

// Pixels i to i + 7 of the row, or (Whole false) only the first n of them: the other lanes
// take index 0 and are neither read nor written in the target.
template <TileMode Mode, bool Whole>
inline void tilePixelsAvx2(const TileRow& row, const TileStepAvx2& s, int32_t i, int32_t n) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i inRow = Whole ? zero
                                : _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    auto* at = reinterpret_cast<int*>(row.pixels + 4 * static_cast<size_t>(i));
    const auto loadTarget = [&] {
        return Whole ? _mm256_loadu_si256(reinterpret_cast<__m256i*>(at)) : _mm256_maskload_epi32(at, inRow);
    };
    const auto store = [&](__m256i pixels) {
        if (Whole) _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), pixels);
        else _mm256_maskstore_epi32(at, inRow, pixels);
    };

    uint8_t indices[8];
    for (int k = 0; k < 8; ++k) indices[k] = Whole || k < n ? row.texelRow[row.columns[i + k]] : 0;
    const __m256i entries = eightReads([&](int k) { return static_cast<int32_t>(loadWord(s.palette + indices[k])); });
    // (colour lane * tint lane) >> 8 in 16-bit lanes.
    __m256i lo = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_shuffle_epi8(entries, s.lowPixels), s.tint16), 8);
    __m256i hi = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_shuffle_epi8(entries, s.highPixels), s.tint16), 8);
    if constexpr (Mode == TileMode::ModulateTarget) {
        // min(255, (target * colour) >> 7): at most 255 * 254 before the shift, and the
        // saturating pack clamps.
        const __m256i target = loadTarget();
        lo = _mm256_srli_epi16(_mm256_mullo_epi16(lo, _mm256_unpacklo_epi8(target, zero)), 7);
        hi = _mm256_srli_epi16(_mm256_mullo_epi16(hi, _mm256_unpackhi_epi8(target, zero)), 7);
        store(_mm256_packus_epi16(lo, hi));
    } else {
        const __m256i colour = _mm256_packus_epi16(lo, hi);
        if constexpr (Mode == TileMode::Replace) {
            store(colour);
        } else if constexpr (Mode == TileMode::ReplaceUnlessIndexZero) {
            // Pixels whose index byte is 0 keep the target's word.
            const __m256i transparent = _mm256_cmpeq_epi32(eightReads([&](int k) { return indices[k]; }), zero);
            store(_mm256_blendv_epi8(colour, loadTarget(), transparent));
        } else {
            static_assert(Mode == TileMode::AddSat);
            store(_mm256_adds_epu8(loadTarget(), colour));
        }
    }
}

template <TileMode Mode>
void tileRowAvx2Mode(const TileRow& row, const TileInk& ink) {
    const TileStepAvx2 s(ink);
    int32_t i = 0;
    for (; row.count - i >= 8; i += 8) tilePixelsAvx2<Mode, true>(row, s, i, 8);
    if (i < row.count) tilePixelsAvx2<Mode, false>(row, s, i, row.count - i);
}

}  // namespace

void tileRowAvx2(const TileRow& row, const TileInk& ink) {
    withTileMode(ink.mode, [&](auto mode) { tileRowAvx2Mode<mode>(row, ink); });
}

}  // namespace velkano::avx2
