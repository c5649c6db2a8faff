#!/usr/bin/env bash
# Script-level benchmark under 64-bit Wine: N Append calls then N Data reads
# by key on Sorbel.ckxDataPak (bench/script/keyed_sorbel.vbs) against N Add
# calls then N reads on Wine's Scripting.Dictionary (keyed_dictionary.vbs).
# Each script runs in its own cscript process, timed from outside; the same
# scripts with N = 0 give the fixed cost of starting cscript and creating the
# object, which is also subtracted for a second ratio. The fastest of ROUNDS
# runs counts. Then the C++ client sorbel_com_bench (bench/com_package_bench.cpp)
# times Package get and let of 64 MiB early and late bound.
# Usage: bench/script_bench.sh [N] [ROUNDS]   (default 50000 3)
# Needs build/dist/win64/Sorbel.dll and build/win64/bench/sorbel_com_bench.exe
# (scripts/test.sh win64 builds both).
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-50000}
rounds=${2:-3}
root=$(pwd)
dll=$root/build/dist/win64/Sorbel.dll
[ -f "$dll" ] || { echo "script_bench: $dll is missing; run scripts/test.sh win64 first" >&2; exit 1; }
prefix=$root/build/win64/wineprefix/bench
windows() { printf 'Z:%s' "$1" | tr / '\\'; }

scripts/wine.sh win64 "$prefix" --fresh regsvr32.exe /s "$(windows "$dll")"
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One wineserver for all runs, so that no run pays for starting it.
wineserver -p </dev/null >/dev/null 2>&1
log=$(mktemp)
trap 'wineserver -k 2>/dev/null || true; rm -f "$log"' EXIT

# Seconds taken by the fastest of the rounds of one script with count records.
fastest() {
  local script=$1 count=$2 best="" start end output elapsed
  for _ in $(seq "$rounds"); do
    # Output to a file, not a pipe: Wine's service processes inherit it and outlive cscript.
    start=$(date +%s.%N)
    /usr/lib/wine/wine64 cscript.exe //nologo "$(windows "$root/bench/script/$script")" "$count" >"$log" 2>&1 </dev/null
    end=$(date +%s.%N)
    output=$(tr -d '\r' <"$log")
    if ! grep -q "^bench: $count records, [0-9]* characters read" <<<"$output"; then
      echo "script_bench: $script $count did not finish: $output" >&2
      exit 1
    fi
    elapsed=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$elapsed < $best" | bc -l)" = 1 ]; then best=$elapsed; fi
  done
  echo "$best"
}

sorbel=$(fastest keyed_sorbel.vbs "$n")
dictionary=$(fastest keyed_dictionary.vbs "$n")
sorbel0=$(fastest keyed_sorbel.vbs 0)
dictionary0=$(fastest keyed_dictionary.vbs 0)
printf '%-44s %8.3f s\n' "Sorbel.ckxDataPak, $n Append + $n Data" "$sorbel" \
  "Scripting.Dictionary, $n Add + $n Item" "$dictionary" \
  "Sorbel.ckxDataPak, N = 0 (start-up)" "$sorbel0" \
  "Scripting.Dictionary, N = 0 (start-up)" "$dictionary0"
ratio=$(echo "$sorbel / $dictionary" | bc -l)
net=$(echo "($sorbel - $sorbel0) / ($dictionary - $dictionary0)" | bc -l)
printf 'ratio Sorbel / Dictionary: %.2f whole runs, %.2f without start-up (target <= 1.5)\n' "$ratio" "$net"

client=$root/build/win64/bench/sorbel_com_bench.exe
if [ -f "$client" ]; then
  echo
  /usr/lib/wine/wine64 "$client" 10 >"$log" 2>&1 </dev/null || { tr -d '\r' <"$log"; exit 1; }
  tr -d '\r' <"$log"
fi
