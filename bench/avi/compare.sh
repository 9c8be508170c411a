#!/bin/sh
# AviWriter's throughput against plain writes of the same payloads (same process, same run) and
# against ffmpeg's AVI muxer on packets of the same sizes: 4 MiB video chunks interleaved one to
# one with 8 KiB audio chunks, on tmpfs when it has room and on disk. Every run ends with an fsync.
#
#   bench/avi/compare.sh [SIZE_GIB] [BUILD_DIR]     defaults: 8, build/linux of this checkout
#   ROUNDS=n (default 3): alternating raw/AviWriter rounds; ratios use each side's best round.
#   ffmpeg runs once per target, after them.
set -eu

size_gib=${1:-8}
here=$(cd "$(dirname "$0")" && pwd)
build=${2:-$here/../../build/linux}
bench=$build/bin/avi_writer_bench
rounds=${ROUNDS:-3}
[ -x "$bench" ] || { echo "compare.sh: no $bench; build the avi_writer_bench target" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare.sh: ffmpeg not found" >&2; exit 1; }

video=4194304
audio=8192
gib=1073741824

free_gib() { df -Pk "$1" | awk 'NR == 2 { printf "%.2f", $4 / 1048576 }'; }
mem_gib() { awk '/^MemAvailable:/ { printf "%.2f", $2 / 1048576 }' /proc/meminfo; }
# The smallest of the arguments, and "no" when it is under half a GiB.
fit() { echo "$@" | awk '{ m = $1; for (i = 2; i <= NF; i++) if ($i < m) m = $i;
                          if (m < 0.5) print "no"; else printf "%.2f", m }'; }

# 1024x1024 RGBA frames are 4 MiB packets; stereo s32le at 25600 Hz makes ffmpeg's PCM demuxer
# cut packets of a 25th of a second, 8 KiB, and 25 fps interleaves them one to one.
ffmpeg_mibps() {
    dir=$1
    frames=$(awk -v g="$2" -v gib=$gib -v c=$((video + audio)) 'BEGIN { printf "%d", g * gib / c }')
    out=$dir/parvolux-bench-ffmpeg.avi
    start=$(date +%s.%N)
    ffmpeg -hide_banner -loglevel error -y \
        -f rawvideo -pixel_format rgba -video_size 1024x1024 -framerate 25 -i /dev/zero \
        -f s32le -ar 25600 -ac 2 -i /dev/zero \
        -map 0:v -map 1:a -frames:v "$frames" -c copy -f avi "$out"
    sync "$out"
    end=$(date +%s.%N)
    bytes=$(stat -c %s "$out")
    rm -f "$out"
    awk -v b="$bytes" -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", b / (e - s) / 1048576 }'
}

run_target() {
    name=$1 dir=$2 target_gib=$3
    echo "== $name ($dir), $target_gib GiB"
    result=$("$bench" --size="${target_gib}G" --dir="$dir" --rounds="$rounds" 2>/dev/null)
    echo "$result" | grep -v '^result '
    avi=$(echo "$result" | sed -n 's/^result avi_mibps=\([0-9.]*\).*/\1/p')
    ff=$(ffmpeg_mibps "$dir" "$target_gib")
    echo "ffmpeg muxer    $(printf '%9s' "$ff") MiB/s (reads its input from /dev/zero)"
    awk -v a="$avi" -v f="$ff" 'BEGIN { printf "ratio avi/ffmpeg %8.2f (target >= 1.5)\n", a / f }'
}

# tmpfs holds the file in memory: leave 2 GiB of memory and 1 GiB of tmpfs over.
shm=$(fit "$size_gib" "$(awk -v m="$(mem_gib)" 'BEGIN { print m - 2 }')" \
          "$(awk -v f="$(free_gib /dev/shm)" 'BEGIN { print f - 1 }')")
if [ "$shm" = no ]; then
    echo "== tmpfs: skipped, /dev/shm or memory too small"
else
    [ "$shm" != "$(printf '%.2f' "$size_gib")" ] && echo "(tmpfs: $size_gib GiB does not fit, using $shm)"
    run_target tmpfs /dev/shm "$shm"
fi

disk_dir=/var/tmp
[ -d "$disk_dir" ] || disk_dir=${TMPDIR:-/tmp}
disk=$(fit "$size_gib" "$(awk -v f="$(free_gib "$disk_dir")" 'BEGIN { print f - 1 }')")
if [ "$disk" = no ]; then
    echo "== disk: skipped, $disk_dir too small"
else
    run_target disk "$disk_dir" "$disk"
fi
