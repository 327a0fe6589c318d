// uv_grid_sse2.cpp: the grid points with packed arithmetic, two columns at a time, one per
// double lane, with the same operations in the same order as the scalar kernel.
#include <emmintrin.h>

#include <array>
#include <cstddef>

#include "pixel/numeric.h"
#include "pixel/numeric_sse2.h"
#include "raster/uv_grid.h"

namespace velkano::sse2 {

void gridPointsSse2(const GridPoints& points) {
    const GridFill& texture = *points.texture;
    const std::array<float, 3>& step = points.weights.step;
    std::array<float, 3> w = points.weights.start;
    const __m128d z0 = _mm_set1_pd(texture.depth[0]), z1 = _mm_set1_pd(texture.depth[1]),
                  z2 = _mm_set1_pd(texture.depth[2]);
    const __m128d scale = _mm_set1_pd(kFixedScale), one = _mm_set1_pd(1.0);
    struct Coefficients {
        __m128d p0, p1, p2;
    };
    const auto coefficients = [](const std::array<double, 3>& p) {
        return Coefficients{_mm_set1_pd(p[0]), _mm_set1_pd(p[1]), _mm_set1_pd(p[2])};
    };
    const Coefficients u = coefficients(texture.pu), v = coefficients(texture.pv);
    const GridFill& lightFill = points.light != nullptr ? *points.light : texture;
    const Coefficients lightU = coefficients(lightFill.pu), lightV = coefficients(lightFill.pv);
    for (int32_t c = points.first; c <= points.last; c += 2) {
        // Columns c and c + 1 (c again when c is the last).
        const std::array<float, 3> first = w;
        for (size_t k = 0; k < 3; ++k) w[k] = w[k] + step[k];
        const bool pair = c < points.last;
        const std::array<float, 3> second = pair ? w : first;
        if (pair)
            for (size_t k = 0; k < 3; ++k) w[k] = w[k] + step[k];

        const __m128d w0 = _mm_setr_pd(first[0], second[0]), w1 = _mm_setr_pd(first[1], second[1]),
                      w2 = _mm_setr_pd(first[2], second[2]);
        const __m128d sum = _mm_add_pd(_mm_add_pd(_mm_div_pd(w0, z0), _mm_div_pd(w1, z1)), _mm_div_pd(w2, z2));
        const __m128d q = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_div_pd(one, sum)));  // rounded to binary32
        // floor((p0 w0 + p1 w1 + p2 w2) q 1024) for columns c and c + 1, stored.
        const size_t at = static_cast<size_t>(c) * points.stride;
        const auto store = [&](const Coefficients& p, int32_t* out) {
            const __m128d interpolated =
                _mm_add_pd(_mm_add_pd(_mm_mul_pd(p.p0, w0), _mm_mul_pd(p.p1, w1)), _mm_mul_pd(p.p2, w2));
            const __m128i value = floorToIntSse2(_mm_mul_pd(_mm_mul_pd(interpolated, q), scale));
            out[at] = _mm_cvtsi128_si32(value);
            if (pair) out[at + points.stride] = _mm_cvtsi128_si32(_mm_shuffle_epi32(value, _MM_SHUFFLE(1, 1, 1, 1)));
        };
        store(u, points.u);
        store(v, points.v);
        if (points.light != nullptr) {
            store(lightU, points.lightU);
            store(lightV, points.lightV);
        }
    }
}

}  // namespace velkano::sse2
