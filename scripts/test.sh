#!/usr/bin/env bash
# The whole test suite: the native build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, each configuration built once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

stage() { echo; echo "== $*"; }

stage "native build"
bash scripts/build.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")

stage "plug-in exports"
for plugin in build/dizorud.auf build/dizorud_audio.auf; do
  symbols=$(nm -D --defined-only "$plugin" | awk '{print $3}')
  if [ "$symbols" != "GetFilterTable" ]; then
    echo "$plugin exports: $symbols" >&2
    exit 1
  fi
  echo "$plugin exports only GetFilterTable"
done

stage "sanitizer build (ASan + UBSan)"
bash scripts/build.sh build-asan -DKINETRA_SANITIZE=ON -DKINETRA_BENCHMARKS=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$(nproc)")
