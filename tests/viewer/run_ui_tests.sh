#!/usr/bin/env bash
# Runs the viewer's UI tests: Navreth.exe under Wine on a private Xvfb display, driven from
# outside by navreth_ui_test.exe, with printing going to the cups-pdf queue.
#   run_ui_tests.sh ARCH DIST_DIR PREFIX_DIR --prefix
#       makes the prefix afresh and registers Sorbel.dll and DocFile.dll from DIST_DIR in it
#       (the CTest fixture of the scenarios), and starts the print services;
#   run_ui_tests.sh ARCH DIST_DIR PREFIX_DIR BUILD_DIR DRIVER_EXE SAMPLES_DIR [DRIVER_ARGS...]
#       runs the driver (a GoogleTest program; DRIVER_ARGS select its scenarios) on a display
#       of its own and answers its requests (screenshots to BUILD_DIR/screenshots, PDF checks).
#       Passes only when the driver passed and ran at least one test.
# Exits 77 (skipped) where the Wine loader for ARCH cannot run.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/lib/wine-env.sh"
source "$here/ui_session.sh"
arch=$1 dist=$2
prefix=$(mkdir -p "$3" && cd "$3" && pwd)  # wineserver wants an absolute prefix
wine=("$root/scripts/wine.sh" "$arch" "$prefix")

for file in Navreth.exe Sorbel.dll DocFile.dll; do
  [ -f "$dist/$file" ] || { echo "run_ui_tests: $dist/$file is missing (build the $arch tree first)"; exit 1; }
done

if [ "${4:-}" = --prefix ]; then
  # Printing needs the scheduler and the PDF queue.
  "$root/scripts/start-services.sh" || { echo "run_ui_tests: could not start the print services"; exit 1; }
  wine_prefix_setup "$root/scripts/wine.sh" "$arch" "$prefix" "$dist/Sorbel.dll" "$dist/DocFile.dll"
  exit
fi

build=$4 driver=$5 samples=$6
ls "$samples"/*.orl >/dev/null 2>&1 || { echo "run_ui_tests: no sample documents in $samples"; exit 1; }
"$root/scripts/start-services.sh" || { echo "run_ui_tests: could not start the print services"; exit 1; }
UI_PDF_DIR=$("$root/scripts/start-services.sh" --pdf-dir)
UI_SHOTS=$build/screenshots
UI_SYNC=$(mktemp -d)
log=$(mktemp)
mkdir -p "$UI_SHOTS" "$UI_PDF_DIR"

cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  xvfb_stop
  rm -rf "$UI_SYNC" "$log"
}
trap cleanup EXIT

xvfb_start || exit 1
echo "run_ui_tests: display $DISPLAY, prefix $prefix"

timeout 240 "${wine[@]}" "$driver" --viewer "$(winpath "$dist/Navreth.exe")" \
    --samples "$(winpath "$samples")" --sync "$(winpath "$UI_SYNC")" "${@:7}" 2>&1 |
  ui_serve_requests | tee "$log"
driver_status=${PIPESTATUS[0]}
[ "$driver_status" -eq 77 ] && exit 77
echo "run_ui_tests: screenshots in $UI_SHOTS"
if ! tr -d '\r' <"$log" | grep -qE '^\[  PASSED  \] [1-9][0-9]* tests?\.'; then
  echo "run_ui_tests: the driver (status $driver_status) passed no test"
  exit 1
fi
[ "$driver_status" -eq 0 ]
