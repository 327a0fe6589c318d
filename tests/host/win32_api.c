/* Fills a VelkanoApi table from Velkano.dll: one copy for every Win32 host. */
#include "win32_api.h"

#include <windows.h>

static HMODULE loaded;

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

int loadVelkanoApi(const char* dllPath, VelkanoApi* api) {
    HMODULE dll;
    int missing = 0;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    dll = LoadLibraryA(dllPath);
    if (!dll) {
        fprintf(stderr, "host: cannot load %s (error %lu)\n", dllPath, GetLastError());
        return 1;
    }
    api->init = (void(__stdcall*)(void*, int32_t, int32_t, int32_t))entry(dll, "INIT@16", &missing);
    api->unload = (void(__stdcall*)(void))entry(dll, "UNLOAD@0", &missing);
    api->beginUpdate = (void(__stdcall*)(void))entry(dll, "BEGINUPDATE@0", &missing);
    api->endUpdate = (void(__stdcall*)(void))entry(dll, "ENDUPDATE@0", &missing);
    api->pause = (void(__stdcall*)(int32_t))entry(dll, "PAUSE@4", &missing);
    api->flashAdd = (void(__stdcall*)(uint32_t))entry(dll, "FLASHADD@4", &missing);
    api->flashSub = (void(__stdcall*)(uint32_t))entry(dll, "FLASHSUB@4", &missing);
    api->flashMod = (void(__stdcall*)(uint32_t))entry(dll, "FLASHMOD@4", &missing);
    api->setTexture = (void(__stdcall*)(const uint8_t*, int32_t, int32_t, const uint32_t*, int32_t))entry(
        dll, "SETTEXTURE@20", &missing);
    api->setLightmap = (void(__stdcall*)(const uint32_t*, int32_t, int32_t))entry(dll, "SETLIGHTMAP@12", &missing);
    api->drawTile = (void(__stdcall*)(float, float, float, float, float, float, float, float, uint32_t, uint32_t,
                                      uint32_t))entry(dll, "DRAWTILE@44", &missing);
    api->drawTri = (void(__stdcall*)(const float*, const float*, const uint32_t*))entry(dll, "DRAWTRI@12", &missing);
    api->drawPerspTri = (void(__stdcall*)(const float*, const float*, const float*, const float*))entry(
        dll, "DRAWPERSPTRI@16", &missing);
    if (missing) {
        FreeLibrary(dll);
        return 1;
    }
    loaded = dll;
    return 0;
}

void unloadVelkanoApi(void) {
    if (loaded) FreeLibrary(loaded);
    loaded = NULL;
}
