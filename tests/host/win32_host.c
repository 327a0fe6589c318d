/* A Win32 console host: loads Velkano.dll at run time and runs the host scenario through
 * its __stdcall entry points (win32_api.c). */
#include "host_scenario.h"
#include "win32_api.h"

int main(int argc, char** argv) {
    VelkanoApi api;
    FILE* out;
    int failures;
    if (argc != 3) {
        fprintf(stderr, "usage: %s Velkano.dll image-bytes-out\n", argv[0]);
        return 2;
    }
    if (loadVelkanoApi(argv[1], &api) != 0) return 2;
    out = fopen(argv[2], "wb");
    if (!out) return 2;
    failures = runHostScenario(&api, out);
    if (fclose(out) != 0) return 2;
    unloadVelkanoApi();
    return failures == 0 ? 0 : 1;
}
