#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine (as root): installs what is missing, builds the
# native library and Velkano.dll, and runs the demo, which writes its frames as PNG files.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"

echo "native library: $(pwd)/build/libvelkano.so"
echo "Windows DLL:    $(pwd)/build/win32/bin/Velkano.dll"
./build/examples/velkano_demo "$(pwd)/demo-frames"
