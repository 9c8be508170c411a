#!/usr/bin/env bash
# Exports across real RIFF segments of the default size: an encode killed after the first rollover
# and finished with --resume, and the same frames encoded as two parts (the first of two segments)
# and joined, are byte for byte the uninterrupted export. The input is a few frames of noise
# (nothing for the codec to predict, so the file grows as fast as the frames go in) repeated
# through a pipe: 1.1 GiB of file from 28 MiB of disk. At most three such files exist at once.
#   large_export_test.sh BIN_DIR
set -euo pipefail
export PATH="$1:$PATH"
work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

W=1920 H=1080 N=290 MiB=$((1024 * 1024))
for f in 0 1 2 3 4 5 6; do head -c $((W * H * 2)) /dev/urandom >"noise$f"; done
frames() {  # the input: N frames of YUV4MPEG2 4:2:2 at 29.97 fps
  printf 'YUV4MPEG2 W%d H%d F30000:1001 Ip A1:1 C422\n' "$W" "$H"
  for ((i = 0; i < N; ++i)); do
    printf 'FRAME\n'
    cat "noise$((i % 7))" || return 0
  done
}
# A part stops reading before the input's end: the rest of the frames go nowhere.
feed() (
  trap '' PIPE
  frames 2>/dev/null
)
size() { stat -c %s "$1" 2>/dev/null || echo 0; }

feed | iohost encode whole.avi - --tone -q
[ "$(size whole.avi)" -gt $((1050 * MiB)) ] || { echo "FAIL: whole.avi has no second segment"; exit 1; }

# Killed once the file is well into its second segment, as a crash leaves it.
feed | iohost encode resumed.avi - --tone -q &
writer=$!
while [ "$(size resumed.avi)" -lt $((1050 * MiB)) ] && kill -0 "$writer" 2>/dev/null; do sleep 0.02; done
kill -9 "$writer" 2>/dev/null || true
status=0
wait "$writer" || status=$?
[ "$status" -eq 137 ] || { echo "FAIL: the encode was not killed (exit $status)"; exit 1; }
killed=$(size resumed.avi)
feed | iohost encode resumed.avi - --tone -q --resume
cmp whole.avi resumed.avi
echo "resume: killed at byte $killed, continued into the uninterrupted file"
rm resumed.avi

feed | iohost encode part-0.avi - --tone -q --start-frame 0 --frames 265
feed | iohost encode part-265.avi - --tone -q --start-frame 265
[ "$(size part-0.avi)" -gt $((1024 * MiB)) ] || { echo "FAIL: part-0.avi has no second segment"; exit 1; }
iohost join joined.avi part-0.avi part-265.avi -q
rm part-*.avi
cmp whole.avi joined.avi
echo "join: two parts make the uninterrupted file"
