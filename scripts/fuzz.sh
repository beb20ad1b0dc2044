#!/usr/bin/env bash
# Runs one fuzz target for a while: scripts/fuzz.sh TARGET SECONDS [BUILD_DIR]
#   TARGET: formula, loader or frame. Builds the fuzz configuration (clang, libFuzzer, ASan and
#   UBSan) when needed, makes the seed corpus, runs from it, and reports the executions, the
#   coverage reached and any crash input (saved in BUILD_DIR/crashes-TARGET/). Exits non-zero
#   when the target crashed, leaked or reported undefined behaviour.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: fuzz.sh formula|loader|frame SECONDS [BUILD_DIR]}
seconds=${2:?usage: fuzz.sh formula|loader|frame SECONDS [BUILD_DIR]}
build=${3:-$root/build-fuzz}
case $target in
  formula | loader) max_len=8192 ;;
  frame) max_len=4096 ;;  # a few hundred statements, each run over several frames
  *) echo "fuzz.sh: no target $target (formula, loader, frame)" >&2; exit 2 ;;
esac

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINETRA_FUZZ=ON \
  -DKINETRA_TESTS=OFF -DKINETRA_BENCHMARKS=OFF -DKINETRA_MEDIA=OFF >/dev/null
cmake --build "$build" -j2 --target "${target}_fuzzer" >/dev/null

# Seeds: the example scripts and the loader's worked cases (as files, and the byte forms a text
# file cannot carry made here); for the formula target the formulas and every argument of the
# examples.
seeds=$build/seeds-$target
rm -rf "$seeds"
mkdir -p "$seeds"
if [ "$target" = formula ]; then
  { cat "$root/fuzz/seeds/formulas.txt"
    sed -n 's/^[A-Za-z_0-9]*(\(.*\))[^)]*$/\1/p' "$root"/examples/*.txt | tr ',' '\n'
  } | awk -v dir="$seeds" 'NF { printf "%s", $0 > (dir "/f" NR); close(dir "/f" NR) }'
else
  cp "$root"/examples/*.txt "$root"/fuzz/seeds/scripts/*.txt "$seeds"/
  printf '\xEF\xBB\xBF[0-9]\nfill(0,0,0,9,9,1,2,3)\n' >"$seeds/bom.txt"
  printf '[0-9]\rfill(0,0,0,9,9,1,2,3)\r\nA=1\r\n' >"$seeds/cr.txt"
  printf 'A=1\nfill(0,0,0\0,9,9)\nB=2\n' >"$seeds/nul.txt"
  printf 'A=1\n\x1A\nfill(0,0,0,9,9,1,2,3)\n' >"$seeds/eof.txt"
  { printf 'copy(2,3,'; head -c 700 /dev/zero | tr '\0' '1'; printf ')\nA=2\n'; } >"$seeds/long.txt"
fi
corpus=$build/corpus-$target  # what campaigns found, kept between runs
crashes=$build/crashes-$target
mkdir -p "$corpus" "$crashes"

log=$build/fuzz-$target.log
status=0
(cd "$crashes" && LSAN_OPTIONS=suppressions=$root/fuzz/lsan.supp nice "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" \
  -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 -detect_leaks=1 -artifact_prefix="$crashes/" \
  "$corpus" "$seeds") >"$log" 2>&1 || status=$?

execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
echo "$target: ${execs:-?} executions in $seconds s, coverage ${cov:-?} edges, ${features:-?} features, corpus $(ls "$corpus" | wc -l) inputs"
if [ "$status" -ne 0 ]; then
  echo "$target: FAILED (status $status); crash inputs:" >&2
  ls -1 "$crashes"/crash-* "$crashes"/leak-* "$crashes"/timeout-* "$crashes"/oom-* 2>/dev/null >&2 || true
  grep -m 5 -E 'ERROR|runtime error|SUMMARY' "$log" >&2 || true
  echo "full log: $log" >&2
  exit 1
fi
