#!/usr/bin/env bash
# The main job: build the module and the reference host, encode the built-in clip with sound to an
# AVI file through the real module, then show the file as iohost, ffprobe and mediainfo see it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target iohost parvolux_encoder_plugin parvolux_common64
bin=build/linux/bin
out=build/demo
mkdir -p "$out"
avi="$out/parvolux_demo.avi"

echo "== iohost info"
"$bin/iohost" info
echo
echo "== iohost encode: 5 s of 1280x720 8-bit 4:2:2 test pattern at 25 fps, stereo tone"
# -y: the demo's own files from an earlier run are replaced; iohost never replaces a file unasked.
"$bin/iohost" encode "$avi" --pattern --size 1280x720 --rate 25 --frames 125 --format yuv422p \
  --tone --jobs 2 -y
echo
echo "== iohost inspect"
"$bin/iohost" inspect "$avi"
echo
echo "== ffprobe"
ffprobe -hide_banner -v error -count_packets \
  -show_entries format=format_name,duration,size:stream=index,codec_type,codec_tag_string,codec_name,width,height,r_frame_rate,sample_rate,channels,nb_read_packets \
  -of default=noprint_wrappers=1 "$avi"
echo
echo "== mediainfo"
mediainfo "$avi" | grep -E '^(Format|Codec ID|Width|Height|Frame rate|Frame count|Duration|Channel|Sampling rate|Bit depth|Video|Audio)' || true
echo
echo "== iohost decode: the video back to YUV4MPEG2, the sound to WAV"
"$bin/iohost" decode "$avi" -o "$out/parvolux_demo.y4m" --audio-out "$out/parvolux_demo.wav" -y
echo
echo "Written: $avi"
