// triangle_split.h: how both triangle pipelines cut a triangle at its middle vertex.
//
// M is the vertex whose y lies between the other two; A and B end the long edge, and S is
// where that edge crosses M's row. The cut gives two halves, each with one horizontal edge on
// M's row: A-M-S above or below it, B-M-S on the other side. Positions are rounded to the
// nearest integer, ties to even.
#pragma once

#include <cstdint>

#include "pixel/channel_ops.h"
#include "raster/span_compositor.h"

namespace velkano {

// M, the vertex whose y lies between the other two (compared with <=, so ties fall to the
// lowest vertex number; if no comparison holds, as with NaN, vertex 2); A, the vertex before
// M in the cyclic order 0, 1, 2, 0, and B the one after it.
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
    return static_cast<float>(
        (run * (static_cast<double>(y) - static_cast<double>(yA)) + static_cast<double>(xA) * rise) / rise);
}

// The cut of a triangle: the roles, and A, M, B and S rounded (S on M's row).
struct TriangleCut {
    VertexRoles roles;
    int32_t xA, yA, xM, yM, xB, yB, xS;
};
TriangleCut cutTriangle(const float positions[6]);
// Every rounded position of the cut lies within +-kFarLimit.
bool cutWithinFarLimit(const TriangleCut& cut);

// DRAWTRI's halves. One half: the apex, and the two ends of the base on row baseY (base
// end 1 is M, end 2 is S until normaliseHalf puts the left end first).
struct HalfTriangle {
    int32_t apexX;
    int32_t apexY;
    int32_t baseX1;
    int32_t baseX2;
    int32_t baseY;
};
struct HalfTexCoords {
    float apexU, apexV;
    float end1U, end1V;
    float end2U, end2V;
};
struct HalfColours {
    ColourWord apex;
    ColourWord end1;
    ColourWord end2;
};
// Half 0 has apex A, half 1 apex B; both have base end 1 at M and base end 2 at S.
struct TriangleHalves {
    HalfTriangle half[2];
    HalfTexCoords texCoords[2];
    HalfColours colours[2];
};
// Cuts the triangle and gives S its texture coordinates and colour: t = (My - Ay) / (By - Ay);
// u and v by lerpFloat; the colour by channelBlend with factor round(255 t). False when a
// rounded position lies beyond +-kFarLimit.
bool splitTriangle(const float positions[6], const float texCoords[6], const ColourWord colours[3],
                   TriangleHalves& halves);
// The half as a compositor region: apex on one row, base on the other.
constexpr SpanRegion spanRegionFromHalf(const HalfTriangle& half) {
    return {half.apexY, half.baseY, half.apexX, half.apexX, half.baseX1, half.baseX2};
}

// DRAWPERSPTRI's halves, the regions between A and M's row and between M's row and B, not
// yet ordered:
//   first  = {yA, yM, xA, xA, xM, xS}
//   second = {yM, yB, xM, xS, xB, xB}
void splitIntoSpanRegions(const TriangleCut& cut, SpanRegion& first, SpanRegion& second);

}  // namespace velkano
