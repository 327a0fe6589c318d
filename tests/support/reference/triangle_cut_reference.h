// triangle_cut_reference.h: where both triangle walks cut a triangle, worked out from the
// rules rather than taken from the library's split.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "pixel/numeric.h"

namespace velkano::testing::reference {

// M is the vertex whose y lies between the other two (compared with <=, so ties go to the
// lowest vertex number; vertex 2 when no comparison holds), A the vertex before it in the
// order 0, 1, 2, 0 and B the one after; S is where A-B crosses M's row, t its place from A
// (0) to B (1). Positions are rounded to nearest, ties to even.
struct LiteralCut {
    int m, a, b;
    float t;
    int32_t xA, yA, xM, yM, xB, yB, xS;

    // Every rounded position within +-2^20: beyond that nothing is drawn.
    bool withinLimit() const {
        for (const int32_t value : {xA, yA, xM, yM, xB, yB, xS})
            if (std::abs(int64_t{value}) > (1 << 20)) return false;
        return true;
    }
};

inline LiteralCut cutLiterally(const float* p) {
    const float y0 = p[1], y1 = p[3], y2 = p[5];
    const int m = ((y1 <= y0 && y0 <= y2) || (y2 <= y0 && y0 <= y1))   ? 0
                  : ((y0 <= y1 && y1 <= y2) || (y2 <= y1 && y1 <= y0)) ? 1
                                                                       : 2;
    const int a = (m + 2) % 3, b = (m + 1) % 3;
    const float ax = p[2 * a], ay = p[2 * a + 1], bx = p[2 * b], by = p[2 * b + 1], my = p[2 * m + 1];
    // x on A-B at M's row: ((xB - xA) (yM - yA) + xA (yB - yA)) / (yB - yA) in double, rounded once.
    const double rise = double{by} - ay;
    const float sx = ay == by ? ax : static_cast<float>(((double{bx} - ax) * (double{my} - ay) + ax * rise) / rise);
    const float t = static_cast<float>((double{my} - ay) / (double{by} - ay));
    const auto rnd = [](float f) { return roundHalfEvenToInt(f); };
    return {m, a, b, t, rnd(ax), rnd(ay), rnd(p[2 * m]), rnd(my), rnd(bx), rnd(by), rnd(sx)};
}

}  // namespace velkano::testing::reference
