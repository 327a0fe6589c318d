// dll_main.cpp: the Windows load handler of Velkano.dll.
#include <windows.h>

#include <float.h>

// The host may call with a 4-byte-aligned stack; realign before any SSE2 spill.
extern "C" __attribute__((force_align_arg_pointer)) BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // On attach the loading thread's floating point is set to round to nearest with a 64-bit
    // significand. The render context needs nothing: it is zero in static storage.
    if (reason == DLL_PROCESS_ATTACH) _controlfp(_RC_NEAR | _PC_64, _MCW_RC | _MCW_PC);
    return TRUE;
}
