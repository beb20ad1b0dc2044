#!/usr/bin/env bash
# Makes the release packages in dist/: kinetra-VERSION-win32.zip (the plug-ins the editor loads,
# with their examples and guide) and kinetra_VERSION_amd64.deb (the kinetra program with its
# native plug-ins). Builds the two configurations they come from where they are not built yet,
# in the build folders the test suite uses.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

bash scripts/build.sh build
bash scripts/build.sh build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DKINETRA_TESTS=OFF

mkdir -p dist
for dir in build-win32 build; do
  (cd "$dir" && cpack -B "$root/dist" >/dev/null)
done
rm -rf dist/_CPack_Packages
ls -l dist
