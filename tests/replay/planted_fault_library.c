/* planted_fault_library.c: a Velkano library with a planted fault, for velkano-replay --compare's
 * check. It exports the thirteen entry points and forwards each to a load of its own of the real
 * library, then, as a faulty build would, paints two known rectangles of the target:
 *
 *   after the third DRAWTILE: columns 2-9,   rows 36-41 with 0x00123456
 *   after the second DRAWTRI: columns 50-57, rows 40-45 with 0x00654321
 *
 * In inspect_host.c's scene no draw reaches either rectangle and its host writes none of them,
 * so the first stays different until the host's own image replaces the whole target before
 * frame 2, and the second from its call to the end.
 *
 * The real library: natively the file named by VELKANO_REAL_LIBRARY, loaded from a temporary
 * copy (so it is not the replay tool's own load of that file); on Windows the Velkano.dll beside
 * the program that loads this DLL (velkano-replay.exe, which loads its own library from a
 * temporary copy when comparing). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "velkano.h"

#if defined(_WIN32)
#  include <windows.h>
#  define SHIM_EXPORT __declspec(dllexport)
#  define SHIM_NAME(name, bytes) #  name "@" #  bytes
#else
#  include <dlfcn.h>
#  include <unistd.h>
#  define SHIM_EXPORT __attribute__((visibility("default")))
#  define SHIM_NAME(name, bytes) #  name
#endif

typedef void(VELKANO_CALL* AnyEntry)(void);

static void* real;
static uint32_t* target;
static int32_t targetWidth, targetHeight, targetPitch;
static int tiles, triangles;

static void fatal(const char* what) {
    fprintf(stderr, "planted_fault_library: %s\n", what);
    exit(3);
}

#if defined(_WIN32)
static void loadReal(void) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    char* slash;
    if (length == 0 || length >= MAX_PATH) fatal("cannot find the program's folder");
    slash = strrchr(path, '\\');
    if (!slash || (size_t)(slash + 1 - path) + sizeof "Velkano.dll" > MAX_PATH)
        fatal("cannot find the program's folder");
    strcpy(slash + 1, "Velkano.dll");
    real = LoadLibraryA(path);
    if (!real) fatal("cannot load Velkano.dll");
}

static AnyEntry realEntry(const char* name) {
    AnyEntry entry;
    if (!real) loadReal();
    entry = (AnyEntry)(void (*)(void))GetProcAddress((HMODULE)real, name);
    if (!entry) fatal(name);
    return entry;
}
#else
static void loadReal(void) {
    char copy[] = "/tmp/velkano-planted-fault-XXXXXX.so";
    char buffer[65536];
    size_t got;
    FILE* from = fopen(VELKANO_REAL_LIBRARY, "rb");
    const int made = mkstemps(copy, 3);
    FILE* to = made < 0 ? NULL : fdopen(made, "wb");
    if (!from || !to) fatal("cannot copy " VELKANO_REAL_LIBRARY);
    while ((got = fread(buffer, 1, sizeof buffer, from)) > 0)
        if (fwrite(buffer, 1, got, to) != got) fatal("cannot copy " VELKANO_REAL_LIBRARY);
    fclose(from);
    if (fclose(to) != 0) fatal("cannot copy " VELKANO_REAL_LIBRARY);
    real = dlopen(copy, RTLD_NOW | RTLD_LOCAL);
    unlink(copy);
    if (!real) fatal(dlerror());
}

static AnyEntry realEntry(const char* name) {
    void* entry;
    if (!real) loadReal();
    entry = dlsym(real, name);
    if (!entry) fatal(name);
    return (AnyEntry)entry;
}
#endif

/* The real entry point NAME, looked up once, as the type velkano.h gives it. */
#define REAL(name, bytes)     \
  static AnyEntry real##name; \
  if (!real##name) real##name = realEntry(SHIM_NAME(name, bytes))
#define CALL_REAL(name, parameters) ((void(VELKANO_CALL*) parameters)real##name)

static void paint(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    int32_t x, y;
    if (!target) return;
    for (y = y0; y <= y1 && y < targetHeight; ++y)
        for (x = x0; x <= x1 && x < targetWidth && x < targetPitch / 4; ++x)
            target[(size_t)y * (size_t)(targetPitch / 4) + (size_t)x] = colour;
}

SHIM_EXPORT void VELKANO_CALL INIT(void* image, int32_t width, int32_t height, int32_t pitch) {
    REAL(INIT, 16);
    CALL_REAL(INIT, (void*, int32_t, int32_t, int32_t))(image, width, height, pitch);
    target = image;
    targetWidth = width;
    targetHeight = height;
    targetPitch = pitch;
}

SHIM_EXPORT void VELKANO_CALL UNLOAD(void) {
    REAL(UNLOAD, 0);
    CALL_REAL(UNLOAD, (void))();
    target = NULL;
}

SHIM_EXPORT void VELKANO_CALL BEGINUPDATE(void) {
    REAL(BEGINUPDATE, 0);
    CALL_REAL(BEGINUPDATE, (void))();
}

SHIM_EXPORT void VELKANO_CALL ENDUPDATE(void) {
    REAL(ENDUPDATE, 0);
    CALL_REAL(ENDUPDATE, (void))();
}

SHIM_EXPORT void VELKANO_CALL PAUSE(int32_t milliseconds) {
    REAL(PAUSE, 4);
    CALL_REAL(PAUSE, (int32_t))(milliseconds);
}

SHIM_EXPORT void VELKANO_CALL SETTEXTURE(const uint8_t* indices, int32_t width, int32_t height, const uint32_t* palette,
                                         int32_t blendMode) {
    REAL(SETTEXTURE, 20);
    CALL_REAL(SETTEXTURE, (const uint8_t*, int32_t, int32_t, const uint32_t*, int32_t))
    (indices, width, height, palette, blendMode);
}

SHIM_EXPORT void VELKANO_CALL SETLIGHTMAP(const uint32_t* lightmap, int32_t width, int32_t height) {
    REAL(SETLIGHTMAP, 12);
    CALL_REAL(SETLIGHTMAP, (const uint32_t*, int32_t, int32_t))(lightmap, width, height);
}

SHIM_EXPORT void VELKANO_CALL FLASHADD(uint32_t colour) {
    REAL(FLASHADD, 4);
    CALL_REAL(FLASHADD, (uint32_t))(colour);
}

SHIM_EXPORT void VELKANO_CALL FLASHSUB(uint32_t colour) {
    REAL(FLASHSUB, 4);
    CALL_REAL(FLASHSUB, (uint32_t))(colour);
}

SHIM_EXPORT void VELKANO_CALL FLASHMOD(uint32_t colour) {
    REAL(FLASHMOD, 4);
    CALL_REAL(FLASHMOD, (uint32_t))(colour);
}

SHIM_EXPORT void VELKANO_CALL DRAWTRI(const float* positions, const float* texCoords, const uint32_t* colours) {
    REAL(DRAWTRI, 12);
    CALL_REAL(DRAWTRI, (const float*, const float*, const uint32_t*))(positions, texCoords, colours);
    if (++triangles == 2) paint(50, 40, 57, 45, 0x00654321u);
}

SHIM_EXPORT void VELKANO_CALL DRAWPERSPTRI(const float* positions, const float* texCoords, const float* lightmapCoords,
                                           const float* depths) {
    REAL(DRAWPERSPTRI, 16);
    CALL_REAL(DRAWPERSPTRI, (const float*, const float*, const float*, const float*))
    (positions, texCoords, lightmapCoords, depths);
}

SHIM_EXPORT void VELKANO_CALL DRAWTILE(float x, float y, float w, float h, float uOffset, float vOffset, float uSpan,
                                       float vSpan, uint32_t ignored1, uint32_t ignored2, uint32_t tint) {
    REAL(DRAWTILE, 44);
    CALL_REAL(DRAWTILE, (float, float, float, float, float, float, float, float, uint32_t, uint32_t, uint32_t))
    (x, y, w, h, uOffset, vOffset, uSpan, vSpan, ignored1, ignored2, tint);
    if (++tiles == 3) paint(2, 36, 9, 41, 0x00123456u);
}
