/* win32_api.h: the entry-point table of Velkano.dll, loaded at run time. */
#ifndef VELKANO_WIN32_API_H
#define VELKANO_WIN32_API_H

#include "host_harness.h"

/* Loads the DLL with LoadLibraryA and fills `api` with its entry points, each taken by its
 * decorated name and called through a __stdcall pointer, as existing hosts do. Returns 0
 * on success; otherwise describes what is missing on stderr and returns non-zero. */
int loadVelkanoApi(const char* dllPath, VelkanoApi* api);
/* Releases the DLL loaded by loadVelkanoApi; the table must not be used afterwards. */
void unloadVelkanoApi(void);

#endif
