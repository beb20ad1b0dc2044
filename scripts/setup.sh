#!/usr/bin/env bash
# Installs what building and testing Kinetra needs on a Debian machine; quiet when all is there.
set -euo pipefail

packages=(
  build-essential cmake ccache pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-multilib lib32gomp1 qemu-user  # the 32-bit build and the emulator that runs its tests
  clang-14 libclang-rt-14-dev libomp-14-dev llvm-14  # the fuzz targets, and llvm-cov for coverage
  # kinetra render: FFmpeg's libraries, the option parser, and the ffmpeg program that the
  # end-to-end tests and the throughput script make their clips with
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libcli11-dev ffmpeg
  libfreetype-dev libfontconfig-dev  # the text command's renderer (iconv is in the C library)
  fonts-ipafont-gothic fonts-dejavu-core  # the faces the text tests and golden renders use
  python3-opencv python3-numpy  # bench/compare_peers.py times the same operations in OpenCV
  # The Windows builds (the posix thread variant carries libgomp) and the 64-bit Wine that runs
  # the suite; no 32-bit Wine, which these machines cannot run.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64
  locales  # the Japanese locale the Wine stage runs in
  # The release packages: the man pages written from the program's help, the .deb's library
  # dependencies (dpkg-shlibdeps) and its check, and the zip's listing in the tests
  help2man dpkg-dev lintian unzip
  # kinetra preview: its HTTP server and JSON, and the headless browser its page is tested in
  libcpp-httplib-dev nlohmann-json3-dev chromium chromium-driver python3-selenium
)

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Under Wine the tests run in the Japanese locale: the editor's ANSI code page (932) for Shift-JIS
# paths and strings, and UTF-8 names for the files they create.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  $sudo_cmd localedef -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi
