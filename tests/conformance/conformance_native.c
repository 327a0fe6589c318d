/* The conformance scenes against the native shared library, linked directly. */
#include "scenes.h"

int main(int argc, char** argv) {
    const VelkanoApi api = {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_LINKED)};
    return runConformance(&api, argc - 1, argv + 1);
}
