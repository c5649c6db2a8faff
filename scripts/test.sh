#!/usr/bin/env bash
# The whole test suite: installs what it needs, then builds and tests
#   linux   the portable core, tools and their unit tests
#   asan    the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz    libFuzzer targets, a short smoke run of each
#   win32   the Windows deliverables (i686) and their tests under Wine
#   win64   the same for x86_64
# Every stage runs even when an earlier one failed; the exit status is 0 only when all passed.
# Usage: scripts/test.sh [STAGE...]   (default: every stage)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh || exit 1
[ -x scripts/start-services.sh ] && { scripts/start-services.sh || exit 1; }

stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(linux asan fuzz win32 win64)
jobs=$(nproc)
passed=0 failed=0
failures=()

configure_and_test() {  # name, then extra cmake arguments
  local name=$1; shift
  local dir=build/$name
  echo "=== $name: configure and build"
  mkdir -p "$dir"
  cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs" || return 1
  echo "=== $name: tests"
  ctest --test-dir "$dir" --output-on-failure --timeout 900
}

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
  case $1 in
    linux) configure_and_test linux -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    asan)  configure_and_test asan -DCMAKE_BUILD_TYPE=Debug -DSORBEL_SANITIZE=ON -DSORBEL_BENCH=OFF \
             -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    fuzz)  configure_and_test fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORBEL_FUZZ=ON -DSORBEL_BENCH=OFF \
             -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    win32) local status=0
           echo "=== win32: 32-bit programs run $(bash scripts/i386-emulation.sh --mode) here"
           configure_and_test win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" || status=$?
           stop_wine_sessions build/win32/wineprefix
           return $status ;;
    win64) configure_and_test win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" ;;
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
