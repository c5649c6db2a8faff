#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build tree.
#   wine.sh win32|win64 PREFIX_DIR [--fresh] PROGRAM [ARGS...]
# win32 uses a 32-bit prefix and the 32-bit loader, win64 a 64-bit prefix and wine64.
# Exits 77 (a skipped test to CTest) when the machine cannot run the loader, as on a
# kernel without 32-bit execution: the caller's test is then reported as skipped.
# The prefix is created on first use (--fresh wipes it first); the wineserver is
# waited for afterwards so that registry writes are on disk before the next step.
set -euo pipefail
arch=$1 prefix=$2
shift 2
fresh=0
if [ "${1:-}" = --fresh ]; then fresh=1; shift; fi

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX
WINEPREFIX=$(mkdir -p "$prefix" && cd "$prefix" && pwd)
case $arch in
  win32) export WINEARCH=win32; loader=wine ;;
  win64) export WINEARCH=win64; loader=/usr/lib/wine/wine64 ;;
  *) echo "wine.sh: unknown arch '$arch' (win32 or win64)" >&2; exit 2 ;;
esac

if ! "$loader" --version >/dev/null 2>&1; then
  echo "wine.sh: this machine cannot run the $arch Wine loader ($loader); skipping" >&2
  exit 77
fi

if [ $fresh = 1 ]; then
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$loader" wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
[ $# -eq 0 ] && exit 0
status=0
"$loader" "$@" || status=$?
wineserver -w
exit $status
