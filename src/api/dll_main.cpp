// dll_main.cpp: the Windows load handler of Velkano.dll.
#include <windows.h>

#include <float.h>

// The host may call with a 4-byte-aligned stack; realign before any SSE2 spill.
extern "C" __attribute__((force_align_arg_pointer)) BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // On attach the loading thread's floating point is set to round to nearest, with a 64-bit
    // significand on x86; x64 has no precision control (its CRT rejects _MCW_PC), and its
    // arithmetic is SSE2's anyway. The render context needs nothing: it is zero in static storage.
    if (reason == DLL_PROCESS_ATTACH) {
#ifdef _WIN64
        _controlfp(_RC_NEAR, _MCW_RC);
#else
        _controlfp(_RC_NEAR | _PC_64, _MCW_RC | _MCW_PC);
#endif
    }
    return TRUE;
}
