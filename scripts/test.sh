#!/usr/bin/env bash
# The whole test suite: the native build, the same tests with the pixel kernels' portable forms,
# under AddressSanitizer and UndefinedBehaviorSanitizer, again as a 32-bit build run under
# qemu-i386 (the editor that loads the plug-ins is a 32-bit program), and on Windows: the 32-bit
# DLLs the editor loads, and the 64-bit suite under Wine; each configuration built once.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

stage() { echo; echo "== $*"; }

# Runs ctest in build directory $1 (further arguments are environment settings) and sets
# `tests_run` to the number of tests it reported; fails the script when any failed or none ran.
run_ctest() {
  local dir=$1
  shift
  local log="$dir/ctest.log"
  (cd "$dir" && env "$@" timeout "${ctest_time_limit:-0}" ctest --output-on-failure -j"$(nproc)" ${ctest_extra:-}) 2>&1 | tee "$log"
  tests_run=$(sed -n 's/.*tests passed, [0-9]* tests\{0,1\} failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  if [ -z "$tests_run" ] || [ "$tests_run" -eq 0 ]; then
    echo "$dir: no tests ran" >&2
    exit 1
  fi
  echo "$dir: $tests_run tests ran"
}

# No 32-bit Windows program runs here: each DLL is checked as a file. A 32-bit PE file that
# imports Windows' own libraries alone and exports GetFilterTable alone, undecorated.
check_windows_plugins() {
  local windows_dlls=" gdi32.dll kernel32.dll msvcrt.dll user32.dll "
  local plugin headers dll exports
  for plugin in "$@"; do
    headers=$(i686-w64-mingw32-objdump -p "$plugin")
    grep -q "^Magic.*(PE32)" <<<"$headers" || { echo "$plugin is not a 32-bit PE file" >&2; exit 1; }
    for dll in $(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr '[:upper:]' '[:lower:]'); do
      case "$windows_dlls" in
        *" $dll "*) ;;
        *) echo "$plugin imports $dll, which Windows does not bring" >&2; exit 1 ;;
      esac
    done
    exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$headers")
    if [ "$exports" != "GetFilterTable" ]; then
      echo "$plugin exports: $exports" >&2
      exit 1
    fi
    echo "$plugin: a 32-bit DLL importing only Windows' libraries, exporting only GetFilterTable"
  done
}

stage "native build"
bash scripts/build.sh build
run_ctest build
native_tests=$tests_run

stage "kinetra preview's page in headless Chromium (screenshots in build/preview-screenshots)"
timeout 300 /usr/bin/python3 tests/preview/browser_test.py build/kinetra build/preview-screenshots

stage "golden renders and registry checks with the SSE2 kernels forced (the native run took the machine's best)"
ctest_extra="-R Golden|Registry" run_ctest build KINETRA_KERNEL_LEVEL=sse2

stage "plug-in exports"
for plugin in build/dizorud.auf build/dizorud_audio.auf; do
  symbols=$(nm -D --defined-only "$plugin" | awk '{print $3}')
  if [ "$symbols" != "GetFilterTable" ]; then
    echo "$plugin exports: $symbols" >&2
    exit 1
  fi
  echo "$plugin exports only GetFilterTable"
done

# The portable and the 32-bit builds prove the plug-ins: the media side (kinetra render on
# FFmpeg's libraries) is left to the native and the sanitizer builds.
stage "portable pixel kernels (the SSE2 ones replaced by their plain forms)"
bash scripts/build.sh build-portable -DKINETRA_PORTABLE_KERNELS=ON -DKINETRA_BENCHMARKS=OFF -DKINETRA_MEDIA=OFF
run_ctest build-portable

stage "sanitizer build (ASan + UBSan)"
bash scripts/build.sh build-asan -DKINETRA_SANITIZE=ON -DKINETRA_BENCHMARKS=OFF
run_ctest build-asan ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$root/tests/lsan-suppressions.txt"

stage "32-bit build (i686 under qemu-i386)"
started=$(date +%s)
bash scripts/build.sh build-i686 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-linux.cmake"
for plugin in build-i686/dizorud.auf build-i686/dizorud_audio.auf; do
  readelf -h "$plugin" | grep -q "Class: *ELF32" || { echo "$plugin is not a 32-bit ELF object" >&2; exit 1; }
done
run_ctest build-i686
# The same sources give the same tests: fewer would mean a test group did not build or list.
# The native build's media and preview tests have no 32-bit counterpart.
media_tests=$(cd build && ctest -N -L 'media_tests|preview_tests' 2>/dev/null | sed -n 's/^Total Tests: //p')
if [ "$tests_run" -lt "$(( native_tests - ${media_tests:-0} ))" ]; then
  echo "32-bit build ran $tests_run tests, the native build $native_tests ($media_tests of them media and preview tests)" >&2
  exit 1
fi
echo "32-bit stage took $(( $(date +%s) - started )) s"

stage "Windows builds (the i686 DLLs the editor loads; the x86_64 suite under Wine)"
started=$(date +%s)
bash scripts/build.sh build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DKINETRA_TESTS=OFF
check_windows_plugins build-win32/dizorud.auf build-win32/dizorud_audio.auf

# The suite runs quiet and headless (GDI draws into memory; no display is needed) in a Wine
# prefix made anew for this run, before the build lists the tests under Wine.
wine_env=(WINEDEBUG=-all WINEPREFIX="$root/build-win64/wine-prefix" WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=ja_JP.UTF-8)
rm -rf build-win64/wine-prefix
mkdir -p build-win64
env "${wine_env[@]}" /usr/lib/wine/wine64 wineboot --init
env "${wine_env[@]}" wineserver -w
bash scripts/build.sh build-win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
# A test that waited on a window would wait for ever: the run has a fixed budget.
# A Windows program started under a busy wineserver now and then fails before its first line
# (0.00 s, no output); such a test gets a second start, and still fails when it fails again.
ctest_time_limit=900 ctest_extra="--repeat until-pass:2" run_ctest build-win64
env "${wine_env[@]}" wineserver -k || true
echo "Windows stage took $(( $(date +%s) - started )) s"

stage "release packages (the editor's zip; kinetra's .deb, unpacked into an empty root and run from there)"
started=$(date +%s)
bash scripts/package.sh
version=$(sed -n 's/^project(Kinetra VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
zip=dist/kinetra-$version-win32.zip
deb=dist/kinetra_${version}_amd64.deb
for package in "$zip" "$deb"; do
  [ -f "$package" ] || { echo "scripts/package.sh made no $package" >&2; exit 1; }
done
unpacked=$(mktemp -d)
folder="$unpacked/kinetra-$version-win32"
# The zip holds the two DLLs, the guides and every example, nothing else; the examples keep their
# bytes (Shift-JIS) with Windows line ends, and the Japanese guide reads as Shift-JIS.
expected=$(printf '%s\n' dizorud.auf dizorud_audio.auf readme-en.txt readme-ja.txt examples/*.txt | sort)
contents=$(unzip -Z1 "$zip" | grep -v '/$' | sed "s|^kinetra-$version-win32/||" | sort)
diff <(echo "$expected") <(echo "$contents") || { echo "$zip holds other files than these" >&2; exit 1; }
unzip -q "$zip" -d "$unpacked"
check_windows_plugins "$folder/dizorud.auf" "$folder/dizorud_audio.auf"
for example in examples/*.txt; do
  cmp <(tr -d '\r' <"$folder/$example") "$example"
done
iconv -f CP932 -t UTF-8 "$folder/readme-ja.txt" >/dev/null
# Errors fail the stage; the warnings are shown.
lintian --fail-on error "$deb"
# The installed program, run from an empty root, renders with the plug-ins it came with.
dpkg -x "$deb" "$unpacked/root"
program="$unpacked/root/usr/bin/kinetra"
[ -f "$unpacked/root/usr/share/man/man1/kinetra.1.gz" ] || { echo "$deb has no man page (is help2man installed?)" >&2; exit 1; }
summary=$(cd "$unpacked" && "$program" render --size 320x180 -o demo.mp4 2>&1 | tail -n 1)
echo "$summary"
claimed=$(sed -n 's/.*: \([0-9]*\) frames of .*/\1/p' <<<"$summary")
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$unpacked/demo.mp4")
[ -n "$claimed" ] && [ "$frames" = "$claimed" ] || { echo "the installed kinetra wrote $frames frames, said '$summary'" >&2; exit 1; }
# One version everywhere: the packages' names (above), the program, both plug-ins' information texts
# (the native ones as the installed program loads them, and the Windows DLLs' bytes), and the
# .deb's own field.
information=$("$program" info)
[ "$(grep -c "^$unpacked/root/.*\.auf: " <<<"$information")" = 2 ] || { echo "the installed kinetra loaded other plug-ins: $information" >&2; exit 1; }
shown=(
  "kinetra --version:$("$program" --version | sed -n 's/^kinetra \([^ ]*\).*/\1/p')"
  "dizorud.auf:$(sed -n 's/^  information Kinetra\[Video\] version //p' <<<"$information")"
  "dizorud_audio.auf:$(sed -n 's/^  information Kinetra\[Audio\] version //p' <<<"$information")"
  "win32 dizorud.auf:$(grep -ao 'Kinetra\[Video\] version [0-9][0-9.]*' "$folder/dizorud.auf" | sed 's/.* //' || true)"
  "win32 dizorud_audio.auf:$(grep -ao 'Kinetra\[Audio\] version [0-9][0-9.]*' "$folder/dizorud_audio.auf" | sed 's/.* //' || true)"
  "the .deb's Version:$(dpkg-deb -f "$deb" Version)"
)
for entry in "${shown[@]}"; do
  [ "${entry##*:}" = "$version" ] || { echo "${entry%:*} shows version '${entry##*:}', not $version" >&2; exit 1; }
done
echo "version $version in both packages' names, kinetra --version, and all four plug-ins' information texts"
rm -rf "$unpacked"
echo "release stage took $(( $(date +%s) - started )) s"

stage "fuzz targets (libFuzzer, ASan + UBSan), 60 s each from their seeds and corpus"
for target in formula loader frame; do
  bash scripts/fuzz.sh "$target" 60 "$root/build-fuzz"
done
