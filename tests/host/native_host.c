/* The host scenario against the library linked directly: libvelkano.so natively, and
 * Velkano.dll through its import libraries when the tests run on a release's zip (tests/host). */
#include "host_scenario.h"

int main(int argc, char** argv) {
    const VelkanoApi api = {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_LINKED)};
    FILE* out;
    int failures;
    if (argc != 2) {
        fprintf(stderr, "usage: %s image-bytes-out\n", argv[0]);
        return 2;
    }
    out = fopen(argv[1], "wb");
    if (!out) return 2;
    failures = runHostScenario(&api, out);
    return fclose(out) == 0 && failures == 0 ? 0 : 1;
}
