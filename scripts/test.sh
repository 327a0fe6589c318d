#!/usr/bin/env bash
# Every test on a fresh Debian 12 machine (as root): installs what is missing, then
#  1. the native build with every part forced on (configuring fails if one cannot be built):
#     the kernel-level unit suite at the best level, SSE2 and scalar, the capture unit suite,
#     the kernel checker, the instruction-set seal, the C host, the conformance scenes, the
#     installed package, the demo, the fuzz corpora replayed, capture and replay round trips;
#     and Velkano.dll under Wine: the level suite at the same three levels, the capture suite
#     and the kernel checker once, the Win32 host and the conformance scenes against the native
#     bytes and hashes, the call corpus replayed, a capture recorded and replayed both ways;
#     the 64-bit Velkano.dll under wine64: its exports, the level suite and the kernel checker
#     once, the host and the conformance scenes, traces crossing to and from 32 bits.
#     The configure summary also says whether the compiler still has the vectoriser fault that
#     -fno-tree-vectorize keeps out.
#     And the ARM64 Linux cross build under qemu-aarch64: the level suite at NEON (the level x86
#     lacks) and scalar (a few seconds: the reference compiled for ARM64 is other machine code),
#     the capture suite, the kernel checker, the host scenario and conformance
#     scenes against the native bytes and hashes, the fuzz corpora, traces crossing both ways, and
#     no fused multiply-add in its libraries;
#  2. the library built with clang, optimised and not, checked for instructions beyond SSE2
#     outside its AVX2 code (unoptimised, every inline helper is a copy the linker may keep);
#  3. the native suite again (no Wine) built with AddressSanitizer and UndefinedBehaviorSanitizer;
#  4. two libFuzzer sessions (clang, both sanitizers): 100 seconds of the entry points and
#     60 seconds of the trace reader;
#  5. the release script in quick mode: both Windows zips and the x86-64 and ARM64 Linux packages,
#     built and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
all_parts=(-DBUILD_TESTING=ON -DVELKANO_BUILD_CAPTURE=ON -DVELKANO_BUILD_DEMO=ON -DVELKANO_BUILD_BENCHMARKS=ON)

bash scripts/install-deps.sh

echo "== native, both Velkano.dll under Wine, ARM64 under qemu"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "${all_parts[@]}" -DVELKANO_WIN32=ON -DVELKANO_WIN64=ON -DVELKANO_ARM64=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== clang: no instruction beyond SSE2 outside the AVX2 code"
for type in Release Debug; do
    dir=build-clang-${type,,}
    CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=$type -DBUILD_TESTING=OFF \
        -DVELKANO_WIN32=OFF -DVELKANO_WIN64=OFF -DVELKANO_ARM64=OFF \
        -DVELKANO_BUILD_CAPTURE=OFF -DVELKANO_BUILD_DEMO=OFF -DVELKANO_BUILD_BENCHMARKS=OFF
    cmake --build "$dir" -j"$jobs" --target velkano
    cmake -DBINARIES="$dir/libvelkano.so" -P tests/isa/check_isa.cmake
done

echo "== sanitizers (ASan + UBSan)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKANO_SANITIZE=ON "${all_parts[@]}" \
    -DVELKANO_WIN32=OFF -DVELKANO_WIN64=OFF -DVELKANO_ARM64=OFF
cmake --build build-asan -j"$jobs"
# The installed-package check links an uninstrumented program against the instrumented
# library, which the sanitizer runtime refuses; it runs in the native pass above.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '^install_consumers$'

echo "== fuzzing (libFuzzer with ASan + UBSan)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKANO_FUZZ=ON \
    -DBUILD_TESTING=OFF -DVELKANO_BUILD_CAPTURE=ON -DVELKANO_WIN32=OFF -DVELKANO_WIN64=OFF -DVELKANO_ARM64=OFF
cmake --build build-fuzz -j"$jobs"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir build-fuzz --output-on-failure

echo "== release (quick: no lintian)"
bash scripts/release.sh --quick
