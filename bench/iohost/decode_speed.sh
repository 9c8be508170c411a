#!/usr/bin/env bash
# Whole-process speed of getting frames back out against putting them in: on the same 1080p
# noisy testsrc2 frames (a YUV4MPEG2 file on tmpfs), `iohost encode`, `iohost decode -o -` to
# /dev/null and `iohost decode --verify` against the source, for --jobs 1 and 2, printed as frames
# per second (the fastest of nine interleaved runs) and as ratios: the median of the nine rounds'
# own ratios, each of commands run one after the other, which a slow spell of a shared machine
# moves less than it moves a ratio of two fastest runs taken at different times.
#   bench/iohost/decode_speed.sh [BUILD_DIR] [FRAMES] [PIXFMT]   (build/linux, 150, yuv422p)
# `--jobs N` runs N library encoders or decoders, each on a frame of its own. Neither command sets
# the library's thread count: within a frame the library codes slices on its default, one thread
# per processor, whatever --jobs says, so `--jobs 1` is not one thread. For one-thread and
# two-thread figures of the library itself see bench/codec/compare_ffmpeg.sh.
set -euo pipefail
build=${1:-build/linux}
frames=${2:-150}
pixfmt=${3:-yuv422p}
bin=$build/bin
[[ -x $bin/iohost ]] || { echo "error: $bin/iohost not found; build the iohost target" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "error: ffmpeg not found" >&2; exit 1; }
work=$(mktemp -d "$([[ -d /dev/shm ]] && echo /dev/shm || echo /tmp)/parvolux-decode-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
src=$work/src.y4m
avi=$work/coded.avi

echo "making $frames frames of $pixfmt in $work ..." >&2
ffmpeg -hide_banner -nostdin -loglevel error -f lavfi -i testsrc2=size=1920x1080:rate=25 \
  -frames:v "$frames" -vf noise=alls=12:allf=t -pix_fmt "$pixfmt" -strict -1 -f yuv4mpegpipe "$src"
"$bin/iohost" encode "$avi" "$src" -q -y

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
encode() { "$bin/iohost" encode "$work/again.avi" "$src" --jobs "$1" -q -y; }
decode() { "$bin/iohost" decode "$avi" -o - --jobs "$1" -q; }
# The decoded frames go to /dev/null where iohost takes it as an output, else nowhere.
sink=(-o /dev/null)
if ! "$bin/iohost" decode "$avi" "${sink[@]}" --verify "$src" --jobs 1 -q >/dev/null 2>&1; then
  sink=()
  echo "note: iohost refuses -o /dev/null; timing --verify without -o" >&2
fi
verify() { "$bin/iohost" decode "$avi" "${sink[@]}" --verify "$src" --jobs "$1" -q; }

# Nine rounds of every command, interleaved, and the fastest of each kept: a busy moment on the
# machine only ever slows a run, and one that lasts falls on every command alike.
declare -A best ratios
for _ in $(seq 9); do
  for jobs in 1 2; do
    declare -A fps=()
    for what in encode decode verify; do
      s=$(seconds "$what" "$jobs")
      fps[$what]=$(echo "$frames / $s" | bc -l)
      best[$what$jobs]=$(echo "f = ${fps[$what]}; b = 0${best[$what$jobs]:-}; if (f > b) f else b" | bc -l)
    done
    ratios[de$jobs]+=" $(echo "${fps[decode]} / ${fps[encode]}" | bc -l)"
    ratios[ve$jobs]+=" $(echo "${fps[verify]} / ${fps[encode]}" | bc -l)"
    ratios[vd$jobs]+=" $(echo "${fps[verify]} / ${fps[decode]}" | bc -l)"
  done
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf "%-5s %11s %11s %11s %14s %14s %14s\n" jobs "encode fps" "decode fps" "verify fps" \
  "decode/encode" "verify/encode" "verify/decode"
for jobs in 1 2; do
  e=${best[encode$jobs]} d=${best[decode$jobs]} v=${best[verify$jobs]}
  printf "%-5s %11.1f %11.1f %11.1f %14.2f %14.2f %14.2f\n" "$jobs" "$e" "$d" "$v" \
    "$(median "${ratios[de$jobs]}")" "$(median "${ratios[ve$jobs]}")" "$(median "${ratios[vd$jobs]}")"
done
echo "(load average $(cut -d' ' -f1-3 /proc/loadavg); targets: decode/encode >= 1, verify/decode >= 0.9)"
