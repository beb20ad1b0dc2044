#!/usr/bin/env bash
# Rewrites tests/golden/ from the example scripts, on purpose: run it when a change is meant to
# alter what an example renders, and say in the commit why the checksums changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dir=${KINETRA_GOLDEN_BUILD:-build}
cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/$dir" -j"$(nproc)" --target kinetra dizorud dizorud_audio
# The text examples are drawn with the faces the tests use, not with the machine's.
FONTCONFIG_FILE="$root/tests/fonts/fonts.conf" "./$dir/kinetra" golden --examples examples --write tests/golden
