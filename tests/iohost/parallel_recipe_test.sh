#!/usr/bin/env bash
# The README's GNU parallel recipe, run locally with three jobs: the parts joined are byte for byte
# a single export, and after a failed part the second line runs only that part again. Exits 77
# (skipped) without `parallel`.
#   parallel_recipe_test.sh BIN_DIR
set -euo pipefail
command -v parallel >/dev/null || { echo "parallel is not installed: skipped"; exit 77; }
export PATH="$1:$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# 47 frames at 29.97 fps with 48 kHz sound that goes on after them.
iohost encode src.avi --pattern --size 64x48 --rate 30000/1001 --frames 47 --tone -q
iohost decode src.avi -o in.y4m --audio-out tone.wav -q
ffmpeg -v error -i tone.wav -af apad=pad_dur=1 in.wav
iohost encode single.avi in.y4m --audio in.wav -q
N=47

# A part that cannot be written (a folder in its place) fails its job, and the join after it.
mkdir part-20.avi
if seq 0 10 $((N - 1)) | parallel -j3 --joblog parts.log iohost encode part-{}.avi in.y4m --audio in.wav --start-frame {} --frames 10 -q -y && iohost join master.avi $(seq -f 'part-%.0f.avi' 0 10 $((N - 1))); then
  echo "FAIL: the recipe went through with a part missing"; exit 1
fi
[ ! -e master.avi ] || { echo "FAIL: a join of a failed run was written"; exit 1; }
rmdir part-20.avi
before=$(stat -c %Y.%i part-0.avi part-40.avi)
sleep 1
parallel --retry-failed --joblog parts.log && iohost join master.avi $(seq -f 'part-%.0f.avi' 0 10 $((N - 1)))
[ "$(stat -c %Y.%i part-0.avi part-40.avi)" = "$before" ] || { echo "FAIL: parts that had succeeded ran again"; exit 1; }
cmp master.avi single.avi
echo "recipe: master.avi is the single export"
