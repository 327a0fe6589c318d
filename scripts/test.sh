#!/usr/bin/env bash
# Every test on a fresh Debian 12 machine (as root): installs what is missing, then
#  1. the native build: unit tests at both kernel levels, the C host, the installed
#     package, the demo, and Velkano.dll run by the Win32 host under Wine against the
#     native bytes;
#  2. the library built with clang, optimised and not, checked for instructions beyond SSE2
#     outside its AVX2 code (unoptimised, every inline helper is a copy the linker may keep);
#  3. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#  4. a short libFuzzer session (clang, both sanitizers) of every entry point;
#  5. the release script in quick mode: the Windows zip and the Linux packages, built and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== native and Velkano.dll under Wine"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== clang: no instruction beyond SSE2 outside the AVX2 code"
for type in Release Debug; do
    dir=build-clang-${type,,}
    CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=$type -DBUILD_TESTING=OFF -DVELKANO_WIN32=OFF \
        -DVELKANO_BUILD_CAPTURE=OFF -DVELKANO_BUILD_DEMO=OFF -DVELKANO_BUILD_BENCHMARKS=OFF
    cmake --build "$dir" -j"$jobs" --target velkano
    cmake -DBINARIES="$dir/libvelkano.so" -P tests/isa/check_isa.cmake
done

echo "== sanitizers (ASan + UBSan)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKANO_SANITIZE=ON -DVELKANO_WIN32=OFF
cmake --build build-asan -j"$jobs"
# The installed-package check links an uninstrumented program against the instrumented
# library, which the sanitizer runtime refuses; it runs in the native pass above.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '^install_consumers$'

echo "== fuzzing (libFuzzer with ASan + UBSan)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKANO_FUZZ=ON \
    -DBUILD_TESTING=OFF -DVELKANO_WIN32=OFF
cmake --build build-fuzz -j"$jobs"
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir build-fuzz --output-on-failure

echo "== release (quick: no lintian)"
bash scripts/release.sh --quick
