/* The host scenario against the native shared library, linked directly. */
#include "host_scenario.h"

int main(int argc, char** argv) {
    const VelkanoApi api = {INIT,     UNLOAD,     BEGINUPDATE, ENDUPDATE, PAUSE,   FLASHADD,    FLASHSUB,
                            FLASHMOD, SETTEXTURE, SETLIGHTMAP, DRAWTILE,  DRAWTRI, DRAWPERSPTRI};
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
