#!/usr/bin/env bash
# Builds the plug-ins and the host, then renders the built-in clip (1280x720, 30 fps, a stereo
# tone) with the built-in demo script into demo.mp4: H.264 and AAC, which any player plays.
# Further arguments go to kinetra render (for instance -o demo.mkv, or --size 1920x1080).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# The same configuration as the test command, so the two never undo each other's settings.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kinetra dizorud dizorud_audio
# The demo is this script's own output: a second run renders it again.
./build/kinetra render -y -o demo.mp4 "$@"
