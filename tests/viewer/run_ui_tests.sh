#!/usr/bin/env bash
# Runs the viewer's UI tests: Navreth.exe under Wine on a private Xvfb display, driven from
# outside by navreth_ui_test.exe, with printing going to the cups-pdf queue.
#   run_ui_tests.sh ARCH DIST_DIR BUILD_DIR DRIVER_EXE SAMPLES_DIR PREFIX_DIR
# A fresh Wine prefix is made, Sorbel.dll and DocFile.dll from DIST_DIR are registered in
# it, the driver runs its scenarios, and this script answers its requests (screenshots to
# BUILD_DIR/screenshots, PDF checks). Passes only when the driver prints "N passed, 0 failed".
# Exits 77 (skipped) where the Wine loader for ARCH cannot run.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
arch=$1 dist=$2 build=$3 driver=$4 samples=$5
prefix=$(mkdir -p "$6" && cd "$6" && pwd)  # wineserver wants an absolute prefix
wine=("$root/scripts/wine.sh" "$arch" "$prefix")
source "$here/ui_session.sh"

for file in Navreth.exe Sorbel.dll DocFile.dll; do
  [ -f "$dist/$file" ] || { echo "run_ui_tests: $dist/$file is missing (build the $arch tree first)"; exit 1; }
done
ls "$samples"/*.orl >/dev/null 2>&1 || { echo "run_ui_tests: no sample documents in $samples"; exit 1; }

# Printing needs the scheduler and the PDF queue; starting them is quick when they run.
if [ -x "$root/scripts/start-services.sh" ]; then
  "$root/scripts/start-services.sh" || { echo "run_ui_tests: could not start the print services"; exit 1; }
fi
UI_PDF_DIR=$("$root/scripts/start-services.sh" --pdf-dir)
UI_SHOTS=$build/screenshots
UI_SYNC=$(mktemp -d)
mkdir -p "$UI_SHOTS" "$UI_PDF_DIR"

cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  ui_stop_xvfb
  rm -rf "$UI_SYNC"
}
trap cleanup EXIT

ui_start_xvfb || exit 1
echo "run_ui_tests: display $DISPLAY, prefix $prefix"

"${wine[@]}" --fresh
status=$?
[ $status -eq 77 ] && exit 77
[ $status -eq 0 ] || { echo "run_ui_tests: could not make the Wine prefix"; exit 1; }
# Xvfb runs no window manager: with Wine's windows unmanaged, Wine does not wait (2 s each
# time) for a window manager to confirm that a closed dialog is gone.
"${wine[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null ||
  { echo "run_ui_tests: could not configure the Wine prefix"; exit 1; }
for dll in Sorbel.dll DocFile.dll; do
  "${wine[@]}" regsvr32 /s "$(ui_winpath "$dist/$dll")" ||
    { echo "run_ui_tests: regsvr32 $dll failed"; exit 1; }
done

log=$build/viewer-ui.log
timeout 300 "${wine[@]}" "$driver" --viewer "$(ui_winpath "$dist/Navreth.exe")" \
    --samples "$(ui_winpath "$samples")" --sync "$(ui_winpath "$UI_SYNC")" "${@:7}" 2>&1 |
  ui_serve_requests | tee "$log"
driver_status=${PIPESTATUS[0]}

summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
if [ -z "$summary" ]; then
  echo "run_ui_tests: the driver ended (status $driver_status) without its closing line"
  exit 1
fi
echo "run_ui_tests: screenshots in $UI_SHOTS"
[[ $summary == *" 0 failed" ]] && [ "$driver_status" -eq 0 ]
