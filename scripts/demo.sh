#!/usr/bin/env bash
# Builds the plug-ins and the host, then renders the built-in clip with the built-in demo script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# The same configuration as the test command, so the two never undo each other's settings.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kinetra dizorud dizorud_audio
./build/kinetra render -o demo "$@"
