#!/usr/bin/env bash
# The whole test suite: installs what it needs, then runs the workflow preset of each stage
# (CMakePresets.json: configure into build/<stage>, build, run its tests with CTest):
#   linux   the portable core, tools and their unit tests
#   asan    the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz    libFuzzer targets, a short smoke run of each
#   win32   the Windows deliverables (i686) and their tests under Wine
#   win64   the same for x86_64
# Every stage runs even when an earlier one failed; the exit status is 0 only when all passed.
# Usage: scripts/test.sh [STAGE...]   (default: every stage)
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1
[ -x scripts/start-services.sh ] && { scripts/start-services.sh || exit 1; }

stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(linux asan fuzz win32 win64)
# The build presets leave the job count to this (cmake --build reads it).
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
passed=0 failed=0
failures=()

# Ends the Wine sessions that scripts/wine.sh keeps running in the prefixes of a stage.
stop_wine_sessions() {
  local arch prefix
  arch=$(basename "$(dirname "$1")")
  for prefix in "$1"/*/; do
    [ -f "$prefix/system.reg" ] && bash scripts/wine.sh "$arch" "$prefix" --stop
  done
  return 0
}

run_stage() {
  local status=0
  case $1 in
    linux | asan | fuzz | win64) cmake --workflow --preset "$1" ;;
    win32)
      echo "=== win32: 32-bit programs run $(bash scripts/i386-emulation.sh --mode) here"
      cmake --workflow --preset win32 || status=$?
      stop_wine_sessions build/win32/wineprefix
      return $status ;;
    *) echo "unknown stage $1"; return 2 ;;
  esac
}

mkdir -p build
for s in "${stages[@]}"; do
  started=$SECONDS
  if run_stage "$s"; then passed=$((passed + 1)); else failed=$((failed + 1)); failures+=("$s"); fi
  echo "=== $s: $((SECONDS - started)) s"
done
echo
[ $failed -gt 0 ] && echo "failed stages: ${failures[*]}"
echo "stages: $passed passed, $failed failed"
[ $failed -eq 0 ]
