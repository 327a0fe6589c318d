// uv_grid_avx2.cpp: the grid points four columns a step, one per double lane, with the same
// operations in the same order as the scalar kernel. The weights stay a chain of binary32
// additions, one column after another; a last group of fewer than four columns computes all
// four lanes and stores only its own.
#include <immintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "pixel/numeric.h"
#include "pixel/numeric_avx2.h"
#include "raster/uv_grid.h"

namespace velkano::avx2 {
namespace {

struct CoefficientsAvx2 {
    __m256d p0, p1, p2;
};
CoefficientsAvx2 coefficientsAvx2(const double* p) {
    return {_mm256_set1_pd(p[0]), _mm256_set1_pd(p[1]), _mm256_set1_pd(p[2])};
}

}  // namespace

void gridPointsAvx2(const GridPoints& points) {
    const GridFill& texture = *points.texture;
    const GridFill& lightFill = points.light != nullptr ? *points.light : texture;
    const __m256d z0 = _mm256_set1_pd(texture.depth[0]), z1 = _mm256_set1_pd(texture.depth[1]),
                  z2 = _mm256_set1_pd(texture.depth[2]);
    const __m256d scale = _mm256_set1_pd(kFixedScale), one = _mm256_set1_pd(1.0);
    const CoefficientsAvx2 u = coefficientsAvx2(texture.pu.data()), v = coefficientsAvx2(texture.pv.data()),
                           lightU = coefficientsAvx2(lightFill.pu.data()),
                           lightV = coefficientsAvx2(lightFill.pv.data());
    // Lanes w0, w1, w2 of one column and their steps; lane 3 is unused.
    const std::array<float, 3>& start = points.weights.start;
    const std::array<float, 3>& step = points.weights.step;
    __m128 w = _mm_setr_ps(start[0], start[1], start[2], 0.0f);
    const __m128 steps = _mm_setr_ps(step[0], step[1], step[2], 0.0f);
    const size_t stride = points.stride;
    const int64_t columns = int64_t{points.last} - points.first + 1;
    for (int64_t done = 0; done < columns; done += 4) {
        // The weights of the four columns, each the one before plus the step, then one lane
        // per column for each weight.
        __m128 column0 = w, column1, column2, column3;
        w = _mm_add_ps(w, steps), column1 = w;
        w = _mm_add_ps(w, steps), column2 = w;
        w = _mm_add_ps(w, steps), column3 = w;
        w = _mm_add_ps(w, steps);
        _MM_TRANSPOSE4_PS(column0, column1, column2, column3);
        const __m256d w0 = _mm256_cvtps_pd(column0), w1 = _mm256_cvtps_pd(column1), w2 = _mm256_cvtps_pd(column2);

        const __m256d sum =
            _mm256_add_pd(_mm256_add_pd(_mm256_div_pd(w0, z0), _mm256_div_pd(w1, z1)), _mm256_div_pd(w2, z2));
        const __m256d q = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_div_pd(one, sum)));  // rounded to binary32
        const int64_t count = columns - done < 4 ? columns - done : 4;
        const size_t at = static_cast<size_t>(int64_t{points.first} + done) * stride;
        // floor((p0 w0 + p1 w1 + p2 w2) q 1024) of the group's columns, stored.
        const auto store = [&](const CoefficientsAvx2& p, int32_t* out) {
            const __m256d interpolated =
                _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(p.p0, w0), _mm256_mul_pd(p.p1, w1)), _mm256_mul_pd(p.p2, w2));
            const __m128i value = floorToIntAvx2(_mm256_mul_pd(_mm256_mul_pd(interpolated, q), scale));
            int32_t* column = out + at;
            column[0] = _mm_cvtsi128_si32(value);
            if (count > 1) column[stride] = _mm_extract_epi32(value, 1);
            if (count > 2) column[2 * stride] = _mm_extract_epi32(value, 2);
            if (count > 3) column[3 * stride] = _mm_extract_epi32(value, 3);
        };
        store(u, points.u);
        store(v, points.v);
        if (points.light != nullptr) {
            store(lightU, points.lightU);
            store(lightV, points.lightV);
        }
    }
}

}  // namespace velkano::avx2
