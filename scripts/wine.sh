#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build tree.
#   wine.sh win32|win64 PREFIX_DIR [--fresh] PROGRAM [ARGS...]
#   wine.sh win32|win64 PREFIX_DIR --stop      ends the prefix's Wine session, if any
# win32 uses a 32-bit prefix and the 32-bit loader, win64 a 64-bit prefix and wine64.
# Exits 77 (a skipped test to CTest) when the machine cannot run the loader, as on a
# kernel without 32-bit execution and no emulator (scripts/i386-emulation.sh): the
# caller's test is then reported as skipped, with the reason on stderr.
# The prefix is created on first use (--fresh wipes it first) as a copy of one template
# prefix per folder of prefixes, made once by `wineboot -i`; the copies share the template's
# program images through hard links, so a prefix costs megabytes rather than 1.3 GB. The
# wineserver is waited for afterwards so that registry writes are on disk before the next step.
#
# Where the 32-bit loader runs under user-mode emulation (qemu-i386 through binfmt_misc),
# starting Wine costs what emulating its start-up code costs, so the emulated runs differ:
#   - each prefix keeps one Wine session: a persistent wineserver (it ends
#     SORBEL_WINE_LINGER seconds, 300 by default, after its last program) whose services
#     (services.exe, winedevice, plugplay, svchost, rpcss: about 10 s emulated) start
#     once, with their output going to PREFIX/wine-session.log rather than to the pipe
#     of whichever test came first. Registry writes are then not waited for on disk:
#     programs see them through the running wineserver; --stop writes them out;
#     SORBEL_WINE_LINGER=0 keeps no session: every program then starts Wine afresh (and
#     its services) and the registry is on disk after it, as without emulation;
#   - the session's start is bounded (SORBEL_WINE_START_LIMIT seconds, 600 by default):
#     a Wine that cannot start is reported as a skip with the reason, never as a pass;
#   - everything emulated runs under `nice -n 10`: the machine is shared.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=$1 prefix=$2
shift 2
fresh=0 stop=0
if [ "${1:-}" = --fresh ]; then fresh=1; shift; fi
if [ "${1:-}" = --stop ]; then stop=1; shift; fi

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX
WINEPREFIX=$(mkdir -p "$prefix" && cd "$prefix" && pwd)
case $arch in
  win32) export WINEARCH=win32; loader=wine ;;
  win64) export WINEARCH=win64; loader=/usr/lib/wine/wine64 ;;
  *) echo "wine.sh: unknown arch '$arch' (win32 or win64)" >&2; exit 2 ;;
esac

emulated=0
if [ $arch = win32 ] && [ "$(bash "$here/i386-emulation.sh" --mode)" = emulated ]; then emulated=1; fi

# The pid of the wineserver of this prefix, if one runs (it works in a folder named after
# the prefix's device and inode).
server_pid() {
  local id pid
  id=$(stat -c 'server-%D-' "$WINEPREFIX")$(printf '%x' "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep wineserver 2>/dev/null); do
    case $(readlink "/proc/$pid/cwd" 2>/dev/null) in */"$id") echo "$pid"; return 0 ;; esac
  done
  return 1
}
stop_session() {
  server_pid >/dev/null || return 0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

if [ $stop = 1 ]; then stop_session; exit 0; fi

if ! "$loader" --version >/dev/null 2>&1; then
  echo "wine.sh: this machine cannot run the $arch Wine loader ($loader); skipping" >&2
  exit 77
fi

limit=${SORBEL_WINE_START_LIMIT:-600}
skip() {
  local how=""
  [ $emulated = 1 ] && how=" (32-bit Wine under qemu-i386 emulation)"
  echo "wine.sh: $*$how; skipping" >&2
  exit 77
}

# Copies the template prefix into $WINEPREFIX. The program images that wineboot put into
# drive_c/windows (about 1.3 GB a prefix, and Wine never writes them again while the
# prefix is up to date) become hard links to the template's; every other file, the
# registry and the .ini files that Wine rewrites in place among them, is a copy of its own.
clone_template() {
  local template=$1
  if ! cp -a --link "$template/." "$WINEPREFIX/" 2>/dev/null; then
    # A file system without hard links: a full copy of its own.
    rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX"
    cp -a "$template/." "$WINEPREFIX/"
    return
  fi
  find "$WINEPREFIX" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' \
      -o -iname '*.sys' -o -iname '*.ocx' -o -iname '*.acm' -o -iname '*.cpl' -o -iname '*.ds' \
      -o -iname '*.tlb' -o -iname '*.nls' -o -iname '*.ax' -o -iname '*.vxd' -o -iname '*.com' \
      -o -iname '*.msstyles' \) -exec sh -c \
      'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f"; done' sh {} +
}

# Makes $WINEPREFIX from the folder's template prefix, which one `wineboot -i` makes the
# first time any prefix of the folder is needed (under a lock, for tests run in parallel).
make_prefix() {
  local template
  template=$(dirname "$WINEPREFIX")/.template-$arch
  (
    flock 8
    if [ ! -f "$template/system.reg" ]; then
      rm -rf "$template"; mkdir -p "$template"
      local started=$SECONDS status=0
      WINEPREFIX=$template timeout "$limit" nice -n 10 "$loader" wineboot -i \
        </dev/null >"$template.log" 2>&1 || status=$?
      [ $status = 124 ] || WINEPREFIX=$template wineserver -w
      if [ $status = 124 ] || [ ! -f "$template/system.reg" ]; then
        WINEPREFIX=$template wineserver -k 2>/dev/null || true
        rm -rf "$template"
        [ $status = 124 ] && skip "wineboot -i of the template prefix did not finish within $limit s"
        echo "wine.sh: wineboot -i of the template prefix failed (exit $status); see $template.log" >&2
        exit 1
      fi
      echo "wine.sh: template prefix $template made in $((SECONDS - started)) s" >&2
    fi
    stop_session
    rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX"
    clone_template "$template"
  ) 8>"$(dirname "$WINEPREFIX")/.template-$arch.lock"
}

if [ $emulated = 0 ]; then
  if [ $fresh = 1 ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX"
  fi
  [ -f "$WINEPREFIX/system.reg" ] || make_prefix
  [ $# -eq 0 ] && exit 0
  status=0
  "$loader" "$@" || status=$?
  wineserver -w
  exit $status
fi

# --- the 32-bit loader under emulation ------------------------------------------------
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
linger=${SORBEL_WINE_LINGER:-300}
emulate() { nice -n 10 "$@"; }

if [ $fresh = 1 ]; then
  stop_session
  rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX"
fi
[ -f "$WINEPREFIX/system.reg" ] || make_prefix
if [ "$linger" = 0 ]; then
  # No session kept: each program's wineserver ends with it and writes the registry out.
  [ $# -eq 0 ] && exit 0
  status=0
  emulate "$loader" "$@" || status=$?
  wineserver -w
  exit $status
fi
if ! server_pid >/dev/null; then
  started=$SECONDS
  # Fails only where a wineserver of this prefix runs out of this process's sight (one
  # started in another user namespace): the programs then use that one.
  emulate wineserver -p"$linger" </dev/null >>"$WINEPREFIX/wine-session.log" 2>&1 || true
  status=0
  timeout "$limit" nice -n 10 "$loader" cmd.exe /c exit </dev/null >>"$WINEPREFIX/wine-session.log" 2>&1 ||
    status=$?
  if [ $status != 0 ]; then
    stop_session
    [ $status = 124 ] && skip "the Wine session of $WINEPREFIX did not start within $limit s"
    echo "wine.sh: the Wine session of $WINEPREFIX did not start (exit $status);" \
         "see $WINEPREFIX/wine-session.log" >&2
    exit 1
  fi
  echo "wine.sh: Wine session of $(basename "$WINEPREFIX") started in $((SECONDS - started)) s" >&2
fi
[ $# -eq 0 ] && exit 0
emulate "$loader" "$@"
