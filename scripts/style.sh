#!/usr/bin/env bash
# The style gate, as CI runs it: every C/C++ file formatted, the linter's checks on the product
# and the reference host, and includes running one way between folders. Needs the linux preset
# configured (the linter reads build/linux/compile_commands.json).
set -uo pipefail
cd "$(dirname "$0")/.."
failed=()
check() {
  local name=$1
  shift
  if "$@" >"build/test-logs/style-$name.log" 2>&1; then
    echo "style: $name ok"
  else
    echo "style: $name FAILED"
    tail -n 40 "build/test-logs/style-$name.log"
    failed+=("$name")
  fi
}
mkdir -p build/test-logs

format() { git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; }
tidy() {
  # Warnings the configuration does not make errors still fail the gate: none are tolerated.
  run-clang-tidy-14 -p build/linux -quiet -j "$(nproc)" \
    "$PWD/(plugin|codec|avi|fileio|log|platform/iohost)/.*\.cpp$" >build/test-logs/tidy.txt 2>&1
  local status=$?
  cat build/test-logs/tidy.txt
  [ "$status" -eq 0 ] && ! grep -q 'warning:' build/test-logs/tidy.txt
}
layers() {
  # The product's layers as CMake gives them to the compiler, bottom up; the check takes them top
  # down.
  local order
  order=$(sed -n 's/^set(PARVOLUX_LAYERS \(.*\))$/\1/p' cmake/ParvoluxLayers.cmake | tr -d '"' |
    tr ' ' '\n' | tac | paste -sd ' ')
  [ -n "$order" ] &&
    python3 scripts/include_layers.py . --order "$order" --max-files 30 &&
    python3 scripts/include_layers.py platform/parvolux_common64 &&
    python3 scripts/include_layers.py platform/iohost --max-files 16
}

check format format
check layers layers
check tidy tidy
[ ${#failed[@]} -eq 0 ]
