#!/usr/bin/env bash
# Runs a VBScript test under Wine with cscript and requires its closing line
# "vbs: N passed, 0 failed" (N > 0): Wine's cscript exits 0 and prints nothing
# more when a script stops on an error, so the exit status alone proves nothing.
#   run_script_test.sh SCRIPT-WINDOWS-PATH [SCRIPT-ARG... --] WINE-COMMAND...
# Exit 77 from the Wine runner (no loader for this architecture) is passed on.
set -uo pipefail
script=$1
shift
args=()
if printf '%s\n' "$@" | grep -qx -- --; then
  while [ "$1" != -- ]; do args+=("$1"); shift; done
  shift
fi
output=$("$@" cscript.exe //nologo "$script" "${args[@]}" 2>&1)
status=$?
printf '%s\n' "$output"
[ $status -eq 77 ] && exit 77
last=$(printf '%s\n' "$output" | tr -d '\r' | grep -E '^vbs: ' | tail -n 1)
if [[ $last =~ ^vbs:\ ([0-9]+)\ passed,\ 0\ failed$ ]] && [ "${BASH_REMATCH[1]}" -gt 0 ]; then
  exit 0
fi
echo "run_script_test: no passing closing line (cscript status $status)" >&2
exit 1
