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
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
