#!/usr/bin/env bash
# Throughput of kinetra render beside ffmpeg on the same clip with the same encoder settings:
# a 1920x1080, 300-frame H.264 clip with stereo AAC sound, transcoded to H.264 (libx264,
# preset medium, crf 18, yuv420p) and AAC by ffmpeg, then rendered by kinetra with an empty
# script and with a typical one. Prints frames per second and the ratios to ffmpeg's.
#
#   bash bench/render_throughput.sh [BUILD_DIR]     (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
kinetra="$build/kinetra"
[ -x "$kinetra" ] || { echo "no $kinetra: build first (bash scripts/build.sh build)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

frames=300
echo "making the clip: 1920x1080, $frames frames at 30 fps, 48 kHz stereo"
ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=10" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=10" -ac 2 \
  -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p -c:a aac clip.mp4

: > empty.txt
cat > typical.txt <<'SCRIPT'
# A trail, a turning picture in the picture and a disc: the demo's commands on every frame.
copyframe(2,f-1,0,0,i,j,0,0)
alpha(2,0,0,0,i,j,0,0,0.33)
resize(0,3,0,0,i,j,0,0,i/3,j/3)
rotate(3,0,2*p*f/300,0,0,i/3,j/3,i*5/8,j/16)
ellipse(0,f*i/300,j*5/6,60,36,3500,-600,1200)
SCRIPT

# Seconds of the fastest of three runs of a command.
best_of_three() {
  local best=""
  for _ in 1 2 3; do
    local start end took
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    if [ -z "$best" ] || awk -v t="$took" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$took; fi
  done
  echo "$best"
}

ffmpeg_s=$(best_of_three ffmpeg -v error -y -i clip.mp4 -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p \
  -c:a aac out-ffmpeg.mp4)
empty_s=$(best_of_three "$kinetra" render clip.mp4 --script empty.txt -q -o out-empty.mp4)
typical_s=$(best_of_three "$kinetra" render clip.mp4 --script typical.txt -q -o out-typical.mp4)
null_s=$(best_of_three "$kinetra" render clip.mp4 --script empty.txt -q -o null)
decode_s=$(best_of_three ffmpeg -v error -i clip.mp4 -f null -)

fps() { awk -v n="$frames" -v s="$1" 'BEGIN { printf "%.1f", n / s }'; }
ratio() { awk -v mine="$1" -v theirs="$2" 'BEGIN { printf "%.2f", theirs / mine }'; }
echo
echo "machine: $(nproc) processors, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
printf '%-44s %8s %8s %8s\n' "run (fastest of 3)" "seconds" "fps" "ratio"
printf '%-44s %8.2f %8s %8s\n' "ffmpeg, libx264 medium crf 18 + aac" "$ffmpeg_s" "$(fps "$ffmpeg_s")" "1.00"
printf '%-44s %8.2f %8s %8s\n' "kinetra render, empty script" "$empty_s" "$(fps "$empty_s")" "$(ratio "$empty_s" "$ffmpeg_s")"
printf '%-44s %8.2f %8s %8s\n' "kinetra render, typical script" "$typical_s" "$(fps "$typical_s")" "$(ratio "$typical_s" "$ffmpeg_s")"
printf '%-44s %8.2f %8s %8s\n' "kinetra render -o null (no encoding)" "$null_s" "$(fps "$null_s")" "-"
printf '%-44s %8.2f %8s %8s\n' "ffmpeg decoding only (-f null)" "$decode_s" "$(fps "$decode_s")" "-"
