#!/usr/bin/env bash
# Runs text_view_test under Wine with Wine's null graphics driver, so that the test's windows
# need no X display.   run_text_view_test.sh WINE_SH ARCH PREFIX_DIR TEST_EXE
# Exits 77 (skipped) where wine.sh cannot run the loader for ARCH.
set -uo pipefail
wine_sh=$1 arch=$2 prefix=$3 test_exe=$4
"$wine_sh" "$arch" "$prefix" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
status=$?
[ $status -ne 0 ] && exit $status
"$wine_sh" "$arch" "$prefix" "$test_exe"
