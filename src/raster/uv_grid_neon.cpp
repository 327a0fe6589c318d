// uv_grid_neon.cpp: the grid points four columns a step, two double lanes at a time, with the
// same operations in the same order as the scalar kernel (no fused multiply-add: each
// product is rounded before its sum). The weights stay a chain of binary32 additions, one
// column after another; a last group of fewer than four columns computes all four lanes and
// stores only its own.
#include <arm_neon.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "pixel/numeric.h"
#include "pixel/numeric_neon.h"
#include "raster/uv_grid.h"

namespace velkano::neon {
namespace {

struct CoefficientsNeon {
    float64x2_t p0, p1, p2;
};
CoefficientsNeon coefficientsNeon(const std::array<double, 3>& p) {
    return {vdupq_n_f64(p[0]), vdupq_n_f64(p[1]), vdupq_n_f64(p[2])};
}

// Two columns, one per double lane: their weights and q = 1 / (w0 / z0 + w1 / z1 + w2 / z2)
// rounded to binary32 (in the thread's rounding mode, as the scalar conversion).
struct ColumnPairNeon {
    float64x2_t w0, w1, w2, q;
    ColumnPairNeon(float32x2_t weight0, float32x2_t weight1, float32x2_t weight2, const float64x2_t (&z)[3])
        : w0(vcvt_f64_f32(weight0)), w1(vcvt_f64_f32(weight1)), w2(vcvt_f64_f32(weight2)) {
        const float64x2_t sum = vaddq_f64(vaddq_f64(vdivq_f64(w0, z[0]), vdivq_f64(w1, z[1])), vdivq_f64(w2, z[2]));
        q = vcvt_f64_f32(vcvt_f32_f64(vdivq_f64(vdupq_n_f64(1.0), sum)));
    }
    // floor((p0 w0 + p1 w1 + p2 w2) q 1024) of both columns.
    int32x2_t coordinate(const CoefficientsNeon& p) const {
        const float64x2_t interpolated =
            vaddq_f64(vaddq_f64(vmulq_f64(p.p0, w0), vmulq_f64(p.p1, w1)), vmulq_f64(p.p2, w2));
        return floorToIntNeon(vmulq_f64(vmulq_f64(interpolated, q), vdupq_n_f64(kFixedScale)));
    }
};

}  // namespace

void gridPointsNeon(const GridPoints& points) {
    const GridFill& texture = *points.texture;
    const GridFill& lightFill = points.light != nullptr ? *points.light : texture;
    const float64x2_t z[3] = {vdupq_n_f64(texture.depth[0]), vdupq_n_f64(texture.depth[1]),
                              vdupq_n_f64(texture.depth[2])};
    const CoefficientsNeon u = coefficientsNeon(texture.pu), v = coefficientsNeon(texture.pv),
                           lightU = coefficientsNeon(lightFill.pu), lightV = coefficientsNeon(lightFill.pv);
    // Lanes w0, w1, w2 of one column and their steps; lane 3 is unused.
    const std::array<float, 3>& start = points.weights.start;
    const std::array<float, 3>& step = points.weights.step;
    float32x4_t w = {start[0], start[1], start[2], 0.0f};
    const float32x4_t steps = {step[0], step[1], step[2], 0.0f};
    const size_t stride = points.stride;
    const int64_t columns = int64_t{points.last} - points.first + 1;
    for (int64_t done = 0; done < columns; done += 4) {
        // The weights of the four columns, each the one before plus the step, then one lane
        // per column for each weight (a 4 x 4 transpose, lane 3 dropped).
        const float32x4_t column0 = w, column1 = vaddq_f32(column0, steps), column2 = vaddq_f32(column1, steps),
                          column3 = vaddq_f32(column2, steps);
        w = vaddq_f32(column3, steps);
        const float64x2_t even01 = vreinterpretq_f64_f32(vtrn1q_f32(column0, column1)),
                          odd01 = vreinterpretq_f64_f32(vtrn2q_f32(column0, column1)),
                          even23 = vreinterpretq_f64_f32(vtrn1q_f32(column2, column3)),
                          odd23 = vreinterpretq_f64_f32(vtrn2q_f32(column2, column3));
        const float32x4_t w0 = vreinterpretq_f32_f64(vtrn1q_f64(even01, even23)),
                          w1 = vreinterpretq_f32_f64(vtrn1q_f64(odd01, odd23)),
                          w2 = vreinterpretq_f32_f64(vtrn2q_f64(even01, even23));
        const ColumnPairNeon low(vget_low_f32(w0), vget_low_f32(w1), vget_low_f32(w2), z);
        const ColumnPairNeon high(vget_high_f32(w0), vget_high_f32(w1), vget_high_f32(w2), z);

        const int64_t count = columns - done < 4 ? columns - done : 4;
        const size_t at = static_cast<size_t>(int64_t{points.first} + done) * stride;
        const auto store = [&](const CoefficientsNeon& p, int32_t* out) {
            const int32x4_t value = vcombine_s32(low.coordinate(p), high.coordinate(p));
            int32_t* column = out + at;
            column[0] = vgetq_lane_s32(value, 0);
            if (count > 1) column[stride] = vgetq_lane_s32(value, 1);
            if (count > 2) column[2 * stride] = vgetq_lane_s32(value, 2);
            if (count > 3) column[3 * stride] = vgetq_lane_s32(value, 3);
        };
        store(u, points.u);
        store(v, points.v);
        if (points.light != nullptr) {
            store(lightU, points.lightU);
            store(lightV, points.lightV);
        }
    }
}

}  // namespace velkano::neon
