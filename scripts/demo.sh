#!/usr/bin/env bash
# Builds the plug-ins and the host, then renders the built-in clip with the built-in demo script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh build -DKINETRA_TESTS=OFF -DKINETRA_BENCHMARKS=OFF
./build/kinetra render -o demo "$@"
