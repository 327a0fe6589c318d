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
#define VELKANO_ENTRY_LOAD(NAME, BYTES, Name, name, parameters) \
  api->name = (void(VELKANO_CALL*) parameters)entry(dll, VELKANO_ENTRY_DECORATED(NAME, BYTES), &missing);
    VELKANO_ENTRY_POINTS(VELKANO_ENTRY_LOAD)
#undef VELKANO_ENTRY_LOAD
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
