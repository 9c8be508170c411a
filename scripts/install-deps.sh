#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (as root, on Debian 12).
# Does nothing when they are all present.
set -euo pipefail
packages=(
  cmake ninja-build g++ make pkg-config binutils file
  clang-14 libclang-rt-14-dev clang-format clang-tidy-14 python3 git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
  ffmpeg mediainfo parallel
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
