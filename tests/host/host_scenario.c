/* host_scenario.c: the scenario both hosts run, one sequence per subject. */
#include "host_scenario.h"

int runHostScenario(const VelkanoApi* api, FILE* out) {
    /* A triangle before the first INIT, with a texture bound: no image and no layers, so
     * nothing to draw into. */
    static const uint8_t texels[8 * 8] = {0};
    static const uint32_t palette[256] = {0}, colours[3] = {0x00FFFFFFu, 0x00808080u, 0};
    static const float xy[6] = {1, 1, 6, 2, 3, 5}, uv[6] = {0, 0, 8, 0, 0, 8};

    resetChecks();
    api->setTexture(texels, 8, 8, palette, 0);
    api->drawTri(xy, uv, colours);

    flashSequence(api, out);
    tileSequence(api, out);
    affineSequence(api, out);
    perspectiveSequence(api, out);
    fprintf(stderr, "host: %d checks, %d failed\n", checkCount(), failedChecks());
    return failedChecks();
}
