/* The conformance scenes against Velkano.dll, loaded at run time (win32_api.c). */
#include "scenes.h"
#include "win32_api.h"

int main(int argc, char** argv) {
    VelkanoApi api;
    int status;
    if (argc < 3) {
        fprintf(stderr, "usage: %s Velkano.dll --list | out-dir [scene ...]\n", argv[0]);
        return 2;
    }
    if (loadVelkanoApi(argv[1], &api) != 0) return 2;
    status = runConformance(&api, argc - 2, argv + 2);
    unloadVelkanoApi();
    return status;
}
