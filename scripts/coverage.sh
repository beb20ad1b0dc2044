#!/usr/bin/env bash
# Coverage of the test suite: scripts/coverage.sh [BUILD_DIR]
#   Builds the suite with clang's source-based coverage, runs it, and prints the line, region
#   and branch coverage of every source of the plug-ins (the host program's media side left
#   out). Fails when a branch of the formula engine or of the loader goes untaken.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-coverage}
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DKINETRA_COVERAGE=ON \
  -DKINETRA_BENCHMARKS=OFF -DKINETRA_MEDIA=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null

rm -rf "$build/profiles"
mkdir -p "$build/profiles"
(cd "$build" && LLVM_PROFILE_FILE="$build/profiles/%p-%m.profraw" ctest -j2 >"$build/coverage-ctest.log" 2>&1) || {
  tail -n 20 "$build/coverage-ctest.log" >&2
  exit 1
}
llvm-profdata-14 merge -sparse "$build"/profiles/*.profraw -o "$build/suite.profdata"

binaries=()
for test in core_tests video_tests audio_tests host_tests check_tests; do
  [ -x "$build/tests/$test" ] && binaries+=("$build/tests/$test")
done
objects=("${binaries[0]}")
for binary in "${binaries[@]:1}"; do objects+=(-object "$binary"); done
report() { llvm-cov-14 report "${objects[@]}" -instr-profile="$build/suite.profdata" "$@"; }
report "$root"/{platform,formula,script,host,video,audio} | tee "$build/coverage.txt"

# The formula engine and the loader: every branch taken.
uncovered=$(report "$root"/formula/*.cpp "$root"/script/loader.cpp | awk '$1 ~ /\.cpp$/ && $(NF-1) != 0 { print $1 " (" $(NF-1) " branches missed)" }')
if [ -n "$uncovered" ]; then
  echo "branches not taken by the suite:" >&2
  echo "$uncovered" >&2
  llvm-cov-14 show "${objects[@]}" -instr-profile="$build/suite.profdata" \
    -show-branches=count "$root"/formula/*.cpp "$root"/script/loader.cpp 2>/dev/null |
    grep -B3 'Branch.*: \[True: 0\|False: 0' >&2 || true
  exit 1
fi
echo "formula engine and loader: every branch taken"
