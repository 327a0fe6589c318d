# What the two MinGW-w64 toolchain files share: given CMAKE_SYSTEM_PROCESSOR and
# VELKANO_MINGW_PREFIX, Debian's compilers of the thread model asked for, their root for
# libraries and headers, and Wine to run the programs built here.
#
# Velkano.dll uses the win32 thread model (g++-mingw-w64-<arch>-win32), which needs no
# threading DLL. The unit tests' cross build asks for the posix model
# (-DVELKANO_MINGW_THREADS=posix), whose C++ library has the std::mutex GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)

set(VELKANO_MINGW_THREADS win32 CACHE STRING "MinGW-w64 thread model: win32 or posix")
set(CMAKE_C_COMPILER ${VELKANO_MINGW_PREFIX}-gcc-${VELKANO_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${VELKANO_MINGW_PREFIX}-g++-${VELKANO_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${VELKANO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELKANO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under Wine.
find_program(VELKANO_WINE wine)
if(VELKANO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VELKANO_WINE})
endif()
