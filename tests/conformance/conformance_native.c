/* The conformance scenes against the native shared library, linked directly. */
#include "scenes.h"

int main(int argc, char** argv) {
    const VelkanoApi api = {INIT,     UNLOAD,     BEGINUPDATE, ENDUPDATE, PAUSE,   FLASHADD,    FLASHSUB,
                            FLASHMOD, SETTEXTURE, SETLIGHTMAP, DRAWTILE,  DRAWTRI, DRAWPERSPTRI};
    return runConformance(&api, argc - 1, argv + 1);
}
