/* load_host.c: a Windows host that loads Velkano.dll at run time and takes its __stdcall entry
 * points by their decorated names, "NAME@<argument bytes>"; no header or import library needed. */
#include <stdint.h>
#include <windows.h>

typedef void(__stdcall* InitFunction)(void* target, int32_t width, int32_t height, int32_t pitchBytes);
typedef void(__stdcall* FlashFunction)(uint32_t colour);
typedef void(__stdcall* VoidFunction)(void);

int main(void) {
    static uint32_t image[64 * 48];
    HMODULE dll = LoadLibraryA("Velkano.dll");
    if (!dll) return 1;
    /* Through void (*)(void), the generic function pointer: GCC's -Wextra warns on a direct cast. */
    InitFunction init = (InitFunction)(void (*)(void))GetProcAddress(dll, "INIT@16");
    FlashFunction flashAdd = (FlashFunction)(void (*)(void))GetProcAddress(dll, "FLASHADD@4");
    VoidFunction unload = (VoidFunction)(void (*)(void))GetProcAddress(dll, "UNLOAD@0");
    if (!init || !flashAdd || !unload) return 1;
    init(image, 64, 48, 64 * 4);
    flashAdd(0x00C08040); /* adds to every byte, saturating at 255 */
    flashAdd(0x00C08040); /* twice: red and green stop at 0xFF, blue is 0x80 */
    unload();
    FreeLibrary(dll);
    return image[0] == 0x00FFFF80 ? 0 : 1;
}
