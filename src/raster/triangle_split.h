// triangle_split.h: how both triangle pipelines cut a triangle at its middle vertex.
#pragma once

#include <cstdint>

namespace velkano {

// M, the vertex whose y lies between the other two (compared with <=, so ties fall to the
// lowest vertex number; if no comparison holds, as with NaN, vertex 2); A, the vertex before
// M in the cyclic order 0, 1, 2, 0, and B the one after it. A and B end the long edge.
struct VertexRoles {
    int middle;
    int before;
    int after;
};

constexpr VertexRoles vertexRoles(float y0, float y1, float y2) {
    int middle = 2;
    if ((y1 <= y0 && y0 <= y2) || (y2 <= y0 && y0 <= y1)) {
        middle = 0;
    } else if ((y0 <= y1 && y1 <= y2) || (y2 <= y1 && y1 <= y0)) {
        middle = 1;
    }
    return {middle, (middle + 2) % 3, (middle + 1) % 3};
}

// x of the line through (xA, yA) and (xB, yB) at row y: xA when yA == yB, otherwise
// ((xB - xA) * (y - yA) + xA * (yB - yA)) / (yB - yA) in that form, in double, rounded once.
inline float edgeXAtRow(float xA, float yA, float xB, float yB, float y) {
    if (yA == yB) return xA;
    const double rise = static_cast<double>(yB) - static_cast<double>(yA);
    const double run = static_cast<double>(xB) - static_cast<double>(xA);
    return static_cast<float>((run * (static_cast<double>(y) - static_cast<double>(yA)) + static_cast<double>(xA) * rise) / rise);
}

}  // namespace velkano
