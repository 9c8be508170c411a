#!/usr/bin/env bash
# Speed of `iohost join` beside `cat PART... > OUT` on the same parts and the same disk: the parts
# of a 720p 8-bit 4:2:2 export with stereo sound, joined into one file each way. The ratio is cat's
# time over join's (1.00: as fast as copying the bytes).
#   bench/iohost/join_speed.sh [BUILD_DIR] [FRAMES] [PARTS] [DIR]
set -euo pipefail
build=${1:-build/linux}
frames=${2:-600}
parts=${3:-4}
bin=$build/bin
out=$(mktemp -d "${4:-${TMPDIR:-/tmp}}/join_speed.XXXXXX")
trap 'rm -rf "$out"' EXIT

# The input: the pattern and the tone, decoded back to a YUV4MPEG2 file and a WAV file.
"$bin/iohost" encode "$out/src.avi" --pattern --size 1280x720 --rate 30000/1001 \
  --frames "$frames" --tone -q
"$bin/iohost" decode "$out/src.avi" -o "$out/in.y4m" --audio-out "$out/in.wav" -q
rm "$out/src.avi"
list=()
step=$(((frames + parts - 1) / parts))
for ((first = 0; first < frames; first += step)); do
  part="$out/part$first.avi"
  "$bin/iohost" encode "$part" "$out/in.y4m" --audio "$out/in.wav" --start-frame "$first" \
    --frames "$step" -q
  list+=("$part")
done
rm "$out/in.y4m"

# Best of three runs each, so that a busy moment on the machine counts for neither.
seconds() {
  local best="" start end took
  for _ in 1 2 3; do
    rm -f "$out/joined.avi"
    start=$(date +%s.%N)
    "$@"
    sync "$out/joined.avi" 2>/dev/null || sync
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
  done
  echo "$best"
}
join_parts() { "$bin/iohost" join "$out/joined.avi" "${list[@]}" -q; }
cat_parts() { cat "${list[@]}" > "$out/joined.avi"; }

bytes=$(cat "${list[@]}" | wc -c)
join_s=$(seconds join_parts)
cat_s=$(seconds cat_parts)
printf "%d parts, %.1f MB\n" "${#list[@]}" "$(echo "$bytes / 1000000" | bc -l)"
printf "%-12s %10s %10s\n" "" seconds "MB/s"
printf "%-12s %10.3f %10.1f\n" "iohost join" "$join_s" "$(echo "$bytes / 1000000 / $join_s" | bc -l)"
printf "%-12s %10.3f %10.1f\n" "cat" "$cat_s" "$(echo "$bytes / 1000000 / $cat_s" | bc -l)"
printf "ratio (cat time / join time): %.2f (target: at least 0.90)\n" \
  "$(echo "$cat_s / $join_s" | bc -l)"
