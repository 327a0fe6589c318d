# Cross-builds the 32-bit Windows Velkano.dll with Debian's MinGW-w64 (g++-mingw-w64-i686-win32).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELKANO_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
