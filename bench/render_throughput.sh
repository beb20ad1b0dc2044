#!/usr/bin/env bash
# Throughput of kinetra render beside ffmpeg on the same clip with the same encoder settings:
# a 1920x1080, 300-frame H.264 clip with stereo AAC sound, transcoded to H.264 (libx264,
# preset medium, crf 18, yuv420p) and AAC by ffmpeg, then rendered by kinetra with an empty
# script and with a typical one; and both again at preset veryfast, crf 23, where the encoder
# hides less of the rest. ffmpeg is given kinetra's sound bit rate (192 kbit/s for stereo AAC;
# ffmpeg's own default of 128k takes its AAC encoder about 0.2 s less on this clip), and is timed
# at its default once more at veryfast. Prints frames per second and the ratios to ffmpeg's. With a
# second build (an earlier commit's, say), its empty-script and null renders are timed too.
# The runs take turns, one of each per round, so that a change of load falls on all of them
# alike; each keeps its fastest round. Under `chrt -f 10` where that is allowed.
#
#   bash bench/render_throughput.sh [BUILD_DIR [BASELINE_BUILD_DIR]]     (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
kinetra="$build/kinetra"
[ -x "$kinetra" ] || { echo "no $kinetra: build first (bash scripts/build.sh build)" >&2; exit 1; }
baseline=""
if [ -n "${2:-}" ]; then
  baseline="$(cd "$2" && pwd)/kinetra"
  [ -x "$baseline" ] || { echo "no $baseline" >&2; exit 1; }
fi
rounds=${ROUNDS:-3}
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

realtime=""
chrt -f 10 true 2>/dev/null && realtime="chrt -f 10"

# The runs: a name and a command line each (paths quoted for the shell that runs it).
k=$(printf %q "$kinetra")
names=(ffmpeg empty typical null decode ffmpeg_veryfast empty_veryfast ffmpeg_veryfast_128k)
commands=(
  "ffmpeg -v error -y -i clip.mp4 -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p -c:a aac -b:a 192k out-ffmpeg.mp4"
  "$k render clip.mp4 --script empty.txt -q -y -o out-empty.mp4"
  "$k render clip.mp4 --script typical.txt -q -y -o out-typical.mp4"
  "$k render clip.mp4 --script empty.txt -q -o null"
  "ffmpeg -v error -i clip.mp4 -f null -"
  "ffmpeg -v error -y -i clip.mp4 -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -c:a aac -b:a 192k out-ffmpeg-vf.mp4"
  "$k render clip.mp4 --script empty.txt --preset veryfast --crf 23 -q -y -o out-empty-vf.mp4"
  "ffmpeg -v error -y -i clip.mp4 -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -c:a aac out-ffmpeg-vf-128k.mp4"
)
if [ -n "$baseline" ]; then
  b=$(printf %q "$baseline")
  names+=(baseline_empty baseline_null baseline_veryfast)
  commands+=("rm -f out-baseline.mp4; $b render clip.mp4 --script empty.txt -q -o out-baseline.mp4"
             "$b render clip.mp4 --script empty.txt -q -o null"
             "rm -f out-baseline-vf.mp4; $b render clip.mp4 --script empty.txt --preset veryfast --crf 23 -q -o out-baseline-vf.mp4")
fi
declare -A best
for ((round = 1; round <= rounds; ++round)); do
  echo "round $round of $rounds (load $(cut -d' ' -f1-3 /proc/loadavg))"
  for i in "${!names[@]}"; do
    start=$(date +%s.%N)
    $realtime bash -c "${commands[$i]}" >/dev/null 2>&1 || { echo "failed: ${commands[$i]}" >&2; exit 1; }
    end=$(date +%s.%N)
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    old=${best[${names[$i]}]:-}
    if [ -z "$old" ] || awk -v t="$took" -v b="$old" 'BEGIN { exit !(t < b) }'; then best[${names[$i]}]=$took; fi
  done
done
ffmpeg_s=${best[ffmpeg]} empty_s=${best[empty]} typical_s=${best[typical]} null_s=${best[null]} decode_s=${best[decode]}

fps() { awk -v n="$frames" -v s="$1" 'BEGIN { printf "%.1f", n / s }'; }
ratio() { awk -v mine="$1" -v theirs="$2" 'BEGIN { printf "%.2f", theirs / mine }'; }
echo
echo "machine: $(nproc) processors, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "load after the runs: $(cut -d' ' -f1-3 /proc/loadavg)${realtime:+; under $realtime}"
printf '%-44s %8s %8s %8s\n' "run (fastest of $rounds)" "seconds" "fps" "ratio"
printf '%-44s %8.2f %8s %8s\n' "ffmpeg, libx264 medium crf 18 + aac 192k" "$ffmpeg_s" "$(fps "$ffmpeg_s")" "1.00"
printf '%-44s %8.2f %8s %8s\n' "kinetra render, empty script" "$empty_s" "$(fps "$empty_s")" "$(ratio "$empty_s" "$ffmpeg_s")"
printf '%-44s %8.2f %8s %8s\n' "kinetra render, typical script" "$typical_s" "$(fps "$typical_s")" "$(ratio "$typical_s" "$ffmpeg_s")"
printf '%-44s %8.2f %8s %8s\n' "kinetra render -o null (no encoding)" "$null_s" "$(fps "$null_s")" "-"
printf '%-44s %8.2f %8s %8s\n' "ffmpeg decoding only (-f null)" "$decode_s" "$(fps "$decode_s")" "-"
vf_ffmpeg_s=${best[ffmpeg_veryfast]} vf_empty_s=${best[empty_veryfast]}
vf_128k_s=${best[ffmpeg_veryfast_128k]}
printf '%-44s %8.2f %8s %8s\n' "ffmpeg, libx264 veryfast crf 23 + aac 192k" "$vf_ffmpeg_s" "$(fps "$vf_ffmpeg_s")" "1.00"
printf '%-44s %8.2f %8s %8s\n' "kinetra render veryfast, empty script" "$vf_empty_s" "$(fps "$vf_empty_s")" \
  "$(ratio "$vf_empty_s" "$vf_ffmpeg_s")"
printf '%-44s %8.2f %8s %8s\n' "ffmpeg veryfast, aac at its own 128k" "$vf_128k_s" "$(fps "$vf_128k_s")" "1.00"
printf '%-44s %8.2f %8s %8s\n' "kinetra render veryfast (192k) beside it" "$vf_empty_s" "$(fps "$vf_empty_s")" \
  "$(ratio "$vf_empty_s" "$vf_128k_s")"
if [ -n "$baseline" ]; then
  printf '%-44s %8.2f %8s %8s\n' "baseline render, empty script" "${best[baseline_empty]}" \
    "$(fps "${best[baseline_empty]}")" "$(ratio "${best[baseline_empty]}" "$ffmpeg_s")"
  printf '%-44s %8.2f %8s %8s\n' "baseline render -o null" "${best[baseline_null]}" "$(fps "${best[baseline_null]}")" "-"
  printf '%-44s %8.2f %8s %8s\n' "baseline render veryfast, empty script" "${best[baseline_veryfast]}" \
    "$(fps "${best[baseline_veryfast]}")" "$(ratio "${best[baseline_veryfast]}" "$vf_ffmpeg_s")"
fi
