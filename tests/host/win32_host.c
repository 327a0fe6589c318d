/* A Win32 console host: loads Velkano.dll at run time, takes every entry point by its
 * decorated name and calls it through __stdcall pointers, as existing hosts do. */
#include <windows.h>

#include "host_scenario.h"

/* void (*)(void) is the generic function pointer: casts to and from it are the sanctioned ones. */
typedef void (*AnyFunction)(void);

static AnyFunction entry(HMODULE dll, const char* name, int* missing) {
    FARPROC address = GetProcAddress(dll, name);
    if (!address) {
        fprintf(stderr, "host: %s is not exported\n", name);
        ++*missing;
    }
    return (AnyFunction)address;
}

int main(int argc, char** argv) {
    VelkanoApi api;
    HMODULE dll;
    FILE* out;
    int missing = 0, failures;
    if (argc != 3) {
        fprintf(stderr, "usage: %s Velkano.dll image-bytes-out\n", argv[0]);
        return 2;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    dll = LoadLibraryA(argv[1]);
    if (!dll) {
        fprintf(stderr, "host: cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    api.init = (void(__stdcall*)(void*, int32_t, int32_t, int32_t))entry(dll, "INIT@16", &missing);
    api.unload = (void(__stdcall*)(void))entry(dll, "UNLOAD@0", &missing);
    api.beginUpdate = (void(__stdcall*)(void))entry(dll, "BEGINUPDATE@0", &missing);
    api.endUpdate = (void(__stdcall*)(void))entry(dll, "ENDUPDATE@0", &missing);
    api.pause = (void(__stdcall*)(int32_t))entry(dll, "PAUSE@4", &missing);
    api.flashAdd = (void(__stdcall*)(uint32_t))entry(dll, "FLASHADD@4", &missing);
    api.flashSub = (void(__stdcall*)(uint32_t))entry(dll, "FLASHSUB@4", &missing);
    api.flashMod = (void(__stdcall*)(uint32_t))entry(dll, "FLASHMOD@4", &missing);
    api.setTexture = (void(__stdcall*)(const uint8_t*, int32_t, int32_t, const uint32_t*, int32_t))entry(
        dll, "SETTEXTURE@20", &missing);
    api.setLightmap =
        (void(__stdcall*)(const uint32_t*, int32_t, int32_t))entry(dll, "SETLIGHTMAP@12", &missing);
    api.drawTile = (void(__stdcall*)(float, float, float, float, float, float, float, float, uint32_t, uint32_t,
                                     uint32_t))entry(dll, "DRAWTILE@44", &missing);
    api.drawTri = (void(__stdcall*)(const float*, const float*, const uint32_t*))entry(dll, "DRAWTRI@12", &missing);
    api.drawPerspTri = (void(__stdcall*)(const float*, const float*, const float*, const float*))entry(
        dll, "DRAWPERSPTRI@16", &missing);
    if (missing) return 1;

    out = fopen(argv[2], "wb");
    if (!out) return 2;
    failures = runHostScenario(&api, out);
    if (fclose(out) != 0) return 2;
    FreeLibrary(dll);
    return failures == 0 ? 0 : 1;
}
