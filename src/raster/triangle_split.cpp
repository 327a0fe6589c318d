#include "raster/triangle_split.h"

#include "context/render_context.h"
#include "pixel/numeric.h"

namespace velkano {

TriangleCut cutTriangle(const float positions[6]) {
    const VertexRoles roles = vertexRoles(positions[1], positions[3], positions[5]);
    const auto x = [&](int vertex) { return positions[2 * vertex]; };
    const auto y = [&](int vertex) { return positions[2 * vertex + 1]; };
    const int a = roles.before, m = roles.middle, b = roles.after;
    const float splitX = edgeXAtRow(x(a), y(a), x(b), y(b), y(m));
    return {roles,
            roundHalfEvenToInt(x(a)),
            roundHalfEvenToInt(y(a)),
            roundHalfEvenToInt(x(m)),
            roundHalfEvenToInt(y(m)),
            roundHalfEvenToInt(x(b)),
            roundHalfEvenToInt(y(b)),
            roundHalfEvenToInt(splitX)};
}

bool cutWithinFarLimit(const TriangleCut& cut) {
    for (const int32_t value : {cut.xA, cut.yA, cut.xM, cut.yM, cut.xB, cut.yB, cut.xS})
        if (!withinFarLimit(value)) return false;
    return true;
}

bool splitTriangle(const float positions[6], const float texCoords[6], const ColourWord colours[3],
                   TriangleHalves& halves) {
    const TriangleCut cut = cutTriangle(positions);
    const int a = cut.roles.before, m = cut.roles.middle, b = cut.roles.after;
    const auto y = [&](int vertex) { return positions[2 * vertex + 1]; };
    const auto u = [&](int vertex) { return texCoords[2 * vertex]; };
    const auto v = [&](int vertex) { return texCoords[2 * vertex + 1]; };

    // t is 0 at A and 1 at B; 0 / 0 when all three share a row, and then nothing is drawn.
    const auto t = static_cast<float>((static_cast<double>(y(m)) - y(a)) / (static_cast<double>(y(b)) - y(a)));
    const float splitU = lerpFloat(u(a), u(b), t), splitV = lerpFloat(v(a), v(b), t);
    const ColourWord splitColour =
        channelBlend(colours[a], colours[b], static_cast<uint32_t>(roundHalfEvenToInt(255.0 * t)));

    halves = {{{cut.xA, cut.yA, cut.xM, cut.xS, cut.yM}, {cut.xB, cut.yB, cut.xM, cut.xS, cut.yM}},
              {{u(a), v(a), u(m), v(m), splitU, splitV}, {u(b), v(b), u(m), v(m), splitU, splitV}},
              {{colours[a], colours[m], splitColour}, {colours[b], colours[m], splitColour}}};
    return cutWithinFarLimit(cut);
}

void splitIntoSpanRegions(const TriangleCut& cut, SpanRegion& first, SpanRegion& second) {
    first = {cut.yA, cut.yM, cut.xA, cut.xA, cut.xM, cut.xS};
    second = {cut.yM, cut.yB, cut.xM, cut.xS, cut.xB, cut.xB};
}

}  // namespace velkano
