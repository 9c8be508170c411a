#!/usr/bin/env bash
# Whole-process speed of `iohost encode` (1080p 8-bit 4:2:2 built-in pattern with the stereo tone,
# through the real module to a real file) beside the codec's own speed on the same frames, for
# --jobs 1 and 2. The overhead is what the host, the plug-in, the audio and the file cost.
#   bench/iohost/overhead.sh [BUILD_DIR] [FRAMES]
set -euo pipefail
build=${1:-build/linux}
frames=${2:-1000}
bin=$build/bin
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Best of three runs each, so that a busy moment on the machine does not count as overhead.
best() {
  local best=0 fps
  for _ in 1 2 3; do
    fps=$("$@")
    best=$(echo "if ($fps > $best) $fps else $best" | bc -l)
  done
  echo "$best"
}
iohost_fps() {
  local start end
  start=$(date +%s.%N)
  "$bin/iohost" encode "$out/bench.avi" --pattern --size 1920x1080 --rate 25 --frames "$frames" \
    --format yuv422p --tone --jobs "$1" -q -y
  end=$(date +%s.%N)
  echo "$frames / ($end - $start)" | bc -l
}
direct_fps() {
  "$bin/codec_only_speed" 1920 1080 "$frames" "$1" yuv422p | awk '{print $3}'
}

printf "%-6s %12s %12s %10s\n" jobs "iohost fps" "direct fps" overhead
for jobs in 1 2; do
  host=$(best iohost_fps "$jobs")
  direct=$(best direct_fps "$jobs")
  overhead=$(echo "($direct / $host - 1) * 100" | bc -l)
  printf "%-6s %12.1f %12.1f %9.1f%%\n" "$jobs" "$host" "$direct" "$overhead"
done
echo "(target: under 3%; the iohost figure includes loading the module, registration and the file)"
