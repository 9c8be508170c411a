#!/usr/bin/env bash
# The main job: build the module and the reference host, then show what the module offers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target iohost parvolux_encoder_plugin parvolux_common64
build/linux/bin/iohost info
