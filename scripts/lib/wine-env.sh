# Shell helpers for running Windows programs under Wine, sourced by the test runners and
# scripts/run.sh: Linux paths as Wine sees them, a private Xvfb display, and a Wine
# prefix made fresh with the project's COM servers registered in it.
#   source scripts/lib/wine-env.sh
# Needs nothing from the caller; the prefix helper takes scripts/wine.sh and its arch.

# A Linux path as Wine sees it through its Z: drive. The folder part is made absolute
# when it exists (the file itself need not).
winpath() {
  local p=$1 dir
  dir=$(dirname "$p")
  [ -d "$dir" ] && p=$(cd "$dir" && pwd)/$(basename "$p")
  printf 'Z:%s\n' "${p//\//\\}"
}

xvfb_pid=

# Starts Xvfb on a display it picks itself (-displayfd) and exports DISPLAY.
#   xvfb_start [SCREEN]   SCREEN as Xvfb takes it, 1280x1024x24 by default
xvfb_start() {
  local fdfile display
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  # Xvfb writes the display number once it accepts connections.
  local deadline=$((SECONDS + 10))
  while [ ! -s "$fdfile" ] && kill -0 "$xvfb_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
    sleep 0.1
  done
  display=$(head -n 1 "$fdfile" 2>/dev/null)
  rm -f "$fdfile"
  if [ -z "$display" ]; then
    echo "wine-env: Xvfb did not start" >&2
    xvfb_stop
    return 1
  fi
  export DISPLAY=":$display"
}

xvfb_stop() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  fi
}

# Makes PREFIX afresh and registers each DLL in it with regsvr32 /s. Windows are left
# unmanaged: Xvfb runs no window manager, and Wine would otherwise wait (2 s each time)
# for one to confirm that a closed dialog is gone.
#   wine_prefix_setup WINE_SH ARCH PREFIX [DLL...]
# Returns 77 when the Wine runner cannot run ARCH here (a skip to CTest), 1 on failure.
wine_prefix_setup() {
  local wine_sh=$1 arch=$2 prefix=$3 status=0 dll
  shift 3
  bash "$wine_sh" "$arch" "$prefix" --fresh || status=$?
  [ $status -eq 77 ] && return 77
  [ $status -eq 0 ] || { echo "wine-env: could not make the Wine prefix $prefix (exit $status)" >&2; return 1; }
  bash "$wine_sh" "$arch" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null ||
    { echo "wine-env: could not configure the Wine prefix $prefix" >&2; return 1; }
  for dll in "$@"; do
    bash "$wine_sh" "$arch" "$prefix" regsvr32 /s "$(winpath "$dll")" ||
      { echo "wine-env: regsvr32 $dll failed" >&2; return 1; }
  done
}
