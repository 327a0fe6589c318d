# Cross-builds the ARM64 Linux library, tools and tests with Debian's g++-aarch64-linux-gnu.
# Programs built here run under qemu-aarch64 (qemu-user) with the cross sysroot, which is how
# ctest and the checks start them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VELKANO_CROSS_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${VELKANO_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VELKANO_CROSS_PREFIX}-g++)

# GCC contracts a*b+c into fused multiply-adds by default on ARM64, which rounds once where the
# library rounds twice: every file compiled with this toolchain file (the project's targets,
# GoogleTest, a consumer's own program) starts from -ffp-contract=off.
set(CMAKE_C_FLAGS_INIT -ffp-contract=off)
set(CMAKE_CXX_FLAGS_INIT -ffp-contract=off)

# The cross packages (libc6-dev-arm64-cross, libstdc++-12-dev-arm64-cross) live under the sysroot;
# Debian's multiarch packages for arm64 (zlib1g-dev:arm64, for the capture variant) under
# /usr/lib/aarch64-linux-gnu and /usr/include, which the root / reaches.
set(VELKANO_CROSS_SYSROOT /usr/${VELKANO_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH ${VELKANO_CROSS_SYSROOT} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(VELKANO_QEMU_AARCH64 qemu-aarch64)
if(VELKANO_QEMU_AARCH64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VELKANO_QEMU_AARCH64} -L ${VELKANO_CROSS_SYSROOT})
endif()
