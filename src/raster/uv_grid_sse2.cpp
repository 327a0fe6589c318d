// uv_grid_sse2.cpp: the grid passes with packed arithmetic. The horizontal pass evaluates
// two columns at a time, one per double lane, with the same operations in the same order as
// the scalar pass; the vertical pass writes four rows of a band at a time.
#include <emmintrin.h>

#include <array>
#include <cstddef>

#include "pixel/numeric.h"
#include "raster/uv_grid.h"

namespace velkano {
namespace {

// floor(x) of two double lanes as int32 lanes 0 and 1, kIntegerIndefinite where x is NaN or
// outside [-2^31, 2^31), as floorToInt: truncate, then step down where that rounded up.
__m128i floorToIntSse2(__m128d x) {
    const __m128i truncated = _mm_cvttpd_epi32(x);
    const __m128d roundedUp = _mm_cmpgt_pd(_mm_cvtepi32_pd(truncated), x);
    const __m128d valid =
        _mm_and_pd(_mm_cmpge_pd(x, _mm_set1_pd(-2147483648.0)), _mm_cmplt_pd(x, _mm_set1_pd(2147483648.0)));
    // The 64-bit lane masks as 32-bit lanes 0 and 1.
    const auto low32 = [](__m128d mask) { return _mm_shuffle_epi32(_mm_castpd_si128(mask), _MM_SHUFFLE(3, 3, 2, 0)); };
    const __m128i floored = _mm_add_epi32(truncated, low32(roundedUp));  // the mask is -1 where it rounded up
    const __m128i keep = low32(valid);
    return _mm_or_si128(_mm_and_si128(keep, floored), _mm_andnot_si128(keep, _mm_set1_epi32(kIntegerIndefinite)));
}

}  // namespace

void fillGridRowSse2(UvGrid& grid, const GridRange& range, const GridFill& fill, int32_t r) {
    const GridRowWeights weights = gridRowWeights(fill, range, r);
    std::array<float, 3> w = weights.start;
    const __m128d z0 = _mm_set1_pd(fill.depth[0]), z1 = _mm_set1_pd(fill.depth[1]), z2 = _mm_set1_pd(fill.depth[2]);
    const __m128d scale = _mm_set1_pd(kFixedScale), one = _mm_set1_pd(1.0);
    const __m128d pu0 = _mm_set1_pd(fill.pu[0]), pu1 = _mm_set1_pd(fill.pu[1]), pu2 = _mm_set1_pd(fill.pu[2]);
    const __m128d pv0 = _mm_set1_pd(fill.pv[0]), pv1 = _mm_set1_pd(fill.pv[1]), pv2 = _mm_set1_pd(fill.pv[2]);
    for (int32_t c = range.firstColumn; c <= range.lastColumn; c += 2) {
        // Columns c and c + 1 (c again when c is the last).
        const std::array<float, 3> first = w;
        for (size_t k = 0; k < 3; ++k) w[k] = w[k] + weights.step[k];
        const bool pair = c < range.lastColumn;
        const std::array<float, 3> second = pair ? w : first;
        if (pair)
            for (size_t k = 0; k < 3; ++k) w[k] = w[k] + weights.step[k];

        const __m128d w0 = _mm_setr_pd(first[0], second[0]), w1 = _mm_setr_pd(first[1], second[1]),
                      w2 = _mm_setr_pd(first[2], second[2]);
        const __m128d sum = _mm_add_pd(_mm_add_pd(_mm_div_pd(w0, z0), _mm_div_pd(w1, z1)), _mm_div_pd(w2, z2));
        const __m128d q = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_div_pd(one, sum)));  // rounded to binary32
        // floor((p0 w0 + p1 w1 + p2 w2) q 1024) for columns c and c + 1.
        const auto coordinate = [&](__m128d p0, __m128d p1, __m128d p2) {
            const __m128d interpolated =
                _mm_add_pd(_mm_add_pd(_mm_mul_pd(p0, w0), _mm_mul_pd(p1, w1)), _mm_mul_pd(p2, w2));
            return floorToIntSse2(_mm_mul_pd(_mm_mul_pd(interpolated, q), scale));
        };
        const __m128i u = coordinate(pu0, pu1, pu2);
        const __m128i v = coordinate(pv0, pv1, pv2);
        grid.u.at(c, r) = _mm_cvtsi128_si32(u);
        grid.v.at(c, r) = _mm_cvtsi128_si32(v);
        if (pair) {
            grid.u.at(c + 1, r) = _mm_cvtsi128_si32(_mm_shuffle_epi32(u, _MM_SHUFFLE(1, 1, 1, 1)));
            grid.v.at(c + 1, r) = _mm_cvtsi128_si32(_mm_shuffle_epi32(v, _MM_SHUFFLE(1, 1, 1, 1)));
        }
    }
}

void fillGridBandsSse2(GridTable& table, int32_t column, const GridRange& range) {
    int32_t* entries = &table.at(column, 0);
    for (int32_t r = range.firstRow; r <= range.lastRow; r += kGridBandRows) {
        const int32_t base = entries[r];
        const int32_t step = shiftRightArithmetic(wrapSub(entries[r + kGridBandRows], base), kGridBandShift);
        // Rows r to r + 3 take base + (1..4) step; each later group four steps more.
        const int32_t step2 = wrapAdd(step, step);
        __m128i value = _mm_add_epi32(_mm_set1_epi32(base),
                                      _mm_setr_epi32(step, step2, wrapAdd(step2, step), wrapAdd(step2, step2)));
        const __m128i step4 = _mm_set1_epi32(wrapMul(step, 4));
        auto* out = reinterpret_cast<__m128i*>(entries + r);
        _mm_storeu_si128(out + 0, value);
        value = _mm_add_epi32(value, step4);
        _mm_storeu_si128(out + 1, value);
        value = _mm_add_epi32(value, step4);
        _mm_storeu_si128(out + 2, value);
        value = _mm_add_epi32(value, step4);
        _mm_storeu_si128(out + 3, value);
    }
}

}  // namespace velkano
