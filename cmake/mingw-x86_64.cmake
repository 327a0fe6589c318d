# Cross-builds the 64-bit Windows Velkano.dll with Debian's MinGW-w64 (g++-mingw-w64-x86-64-win32).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELKANO_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
