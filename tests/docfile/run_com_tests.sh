#!/usr/bin/env bash
# Registers DocFile.dll in a fresh Wine prefix and drives it from a C++ client
# and a VBScript client (the steps are in com_steps.bat): register, check the
# keys, register again, unregister, check that nothing is left, unregister
# again, register, then the client calls and the script. Sorbel.dll is
# registered too before the script, which loads SAMPLE's package into it.
# Usage: run_com_tests.sh WINE_SH ARCH PREFIX DLL COM_CLIENT VBS SORBEL_DLL SAMPLE
# Exits 77 (skipped) when Wine cannot run this arch here.
set -uo pipefail
wine_sh=$1 arch=$2 prefix=$3 dll=$4 client=$5 vbs=$6 sorbel=$7 sample=$8
here=$(cd "$(dirname "$0")" && pwd)

winpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }

bash "$wine_sh" "$arch" "$prefix" --fresh; rc=$?
[ $rc -eq 77 ] && { echo "skipped: Wine cannot run $arch here"; exit 77; }
[ $rc -ne 0 ] && { echo "FAILED: creating the prefix (exit $rc)"; exit 1; }

doc=$(dirname "$prefix")/docfile-com-sample.orl
rm -f "$doc"
out=$(bash "$wine_sh" "$arch" "$prefix" cmd /c "$(winpath "$here/com_steps.bat")" \
        "$(winpath "$dll")" "$(winpath "$client")" "$(winpath "$vbs")" "$(winpath "$doc")" \
        "$(winpath "$sorbel")" "$(winpath "$sample")" 2>&1)
rc=$?
rm -f "$doc"
echo "$out"
[ $rc -eq 77 ] && exit 77
[ $rc -ne 0 ] && { echo "FAILED: com_steps.bat exit $rc"; exit 1; }
grep -q "^com_client calls: [0-9]* checks, 0 failed" <<<"$out" || { echo "FAILED: C++ client"; exit 1; }
grep -q "^late_bound: package sequence [1-9][0-9]* rounds" <<<"$out" || { echo "FAILED: ReadBlock and Package"; exit 1; }
grep -q "^late_bound: PASS" <<<"$out" || { echo "FAILED: VBScript client"; exit 1; }
grep -q "^com_steps: done" <<<"$out" || { echo "FAILED: steps did not finish"; exit 1; }
echo "PASSED"
