#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine (as root): installs what is missing, builds the
# native library, both Velkano.dll (32-bit and 64-bit) and the ARM64 library, and runs the demo, which writes its frames as PNG files,
# with the capture library preloaded, so its calls are recorded to demo-frames/demo.vktrace.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELKANO_BUILD_CAPTURE=ON -DVELKANO_WIN32=ON -DVELKANO_WIN64=ON \
    -DVELKANO_ARM64=ON -DVELKANO_BUILD_DEMO=ON
cmake --build build -j"$(nproc)"

echo "native library: $(pwd)/build/libvelkano.so"
echo "Windows DLLs:   $(pwd)/build/win32/bin/Velkano.dll (32-bit), $(pwd)/build/win64/bin/Velkano.dll (64-bit)"
echo "ARM64 library:  $(pwd)/build/arm64/libvelkano.so"
echo "capture:        $(pwd)/build/libvelkano_capture.so, $(pwd)/build/win32/capture/Velkano.dll,"
echo "                $(pwd)/build/win64/capture/Velkano.dll, $(pwd)/build/arm64/libvelkano_capture.so"
mkdir -p demo-frames
VELKANO_TRACE="$(pwd)/demo-frames/demo.vktrace" LD_PRELOAD="$(pwd)/build/libvelkano_capture.so" \
    ./build/examples/velkano_demo "$(pwd)/demo-frames"
echo "the demo's calls are recorded in $(pwd)/demo-frames/demo.vktrace; replay them with"
echo "  build/tools/velkano-replay demo-frames/demo.vktrace        # checks every frame"
echo "  build/tools/velkano-replay --png replayed demo-frames/demo.vktrace"
echo "  build/tools/velkano-replay --calls demo-frames/demo.vktrace | less"
echo "  build/tools/velkano-replay --profile demo-frames/demo.vktrace"
