#!/usr/bin/env bash
# Builds and runs every test of the project: the style gate, the Linux build, ASan+UBSan (with
# bounded libFuzzer runs), ThreadSanitizer (the concurrency tests), and the Windows x86-64
# cross-build under Wine.
# Usage: scripts/test.sh [preset...]   (default: all of them)
set -uo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(style linux asan tsan windows)
jobs=$(nproc)
log_dir=build/test-logs
mkdir -p "$log_dir"
passed=0
failed=0
failures=()
timings=()
scripts/install-deps.sh || exit 1
timings+=("packages ${SECONDS}s")

# The style gate: formatting, the linter and the include layers (scripts/style.sh), counted as
# one test.
run_style() {
  echo "=== style"
  cmake --preset linux >"$log_dir/style-configure.log" 2>&1 \
    || { cat "$log_dir/style-configure.log"; return 1; }
  if scripts/style.sh; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    return 1
  fi
}

run_preset() {
  local preset=$1 target=all label=()
  [ "$preset" != style ] || { run_style; return; }
  case $preset in
    asan) label=(-LE large) ;;
    tsan) target=parvolux_concurrency_tests; label=(-L concurrency) ;;
  esac
  echo "=== $preset: configure and build ($target)"
  cmake --preset "$preset" >"$log_dir/$preset-configure.log" 2>&1 \
    || { cat "$log_dir/$preset-configure.log"; return 1; }
  cmake --build --preset "$preset" --target "$target" -j "$jobs" >"$log_dir/$preset-build.log" 2>&1 \
    || { tail -n 60 "$log_dir/$preset-build.log"; return 1; }
  echo "=== $preset: test"
  [ "$preset" != windows ] || cmake/wine-run.sh --start-server
  ctest --preset "$preset" -j "$jobs" "${label[@]}" 2>&1 | tee "$log_dir/$preset-test.log"
  local status=${PIPESTATUS[0]}
  [ "$preset" != windows ] || cmake/wine-run.sh --stop-server
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log_dir/$preset-test.log" | tail -n 1)
  if [[ $summary =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  return "$status"
}

for preset in "${presets[@]}"; do
  started=$SECONDS
  run_preset "$preset"
  status=$?
  timings+=("$preset $((SECONDS - started))s")
  if [ "$status" -ne 0 ]; then
    failures+=("$preset")
    [ "$failed" -gt 0 ] || failed=$((failed + 1))
  fi
done

echo
echo "time per configuration: ${timings[*]}"
if [ ${#failures[@]} -gt 0 ]; then
  echo "failing configurations: ${failures[*]}"
fi
echo "all: $passed passed, $failed failed"
[ ${#failures[@]} -eq 0 ]
