#!/usr/bin/env bash
# Installs the Orlenne package under Wine and checks what a user and an administrator
# rely on:
#   1. msiexec /i ... /qn installs the files, the Start-menu shortcut and the COM
#      registration; the three classes are created by name from a script and work,
#      including on the installed sample documents;
#   2. the installed viewer starts, shows its window and opens an installed sample
#      (under Xvfb);
#   3. version 1.0.1 installed over 1.0.0 replaces it: one product afterwards, files
#      of the new version, the same registration, classes working; 1.0.0 over 1.0.1
#      is refused;
#   4. msiexec /x removes every file and every registry entry it made;
#   5. the registration the package writes is exactly what the servers' own
#      DllRegisterServer writes (regsvr32 of the same files at the same place).
#
#   installer_test.sh WINE_SH ARCH PREFIX_DIR DIST_DIR SOURCE_DIR WORK_DIR [CMAKE]
# WINE_SH ARCH is the project's Wine runner and architecture (win32|win64). The packages
# are built first, so that a broken package fails even where Wine cannot run; the test
# then exits 77 (skipped) when the runner reports that this machine cannot run ARCH.
set -uo pipefail

wine_sh=$1 arch=$2 prefix=$3 dist=$4 src=$5 work=$6 cmake=${7:-cmake}
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# --- the packages: the release version and a later one -------------------------------
rm -rf "$work"
mkdir -p "$work"
build_msi() {
  "$cmake" -DARCH="$arch" -DDIST_DIR="$dist" -DSOURCE_DIR="$src" -DVERSION="$1" \
    -DOUTPUT="$work/Orlenne-$1.msi" -DWORK_DIR="$work/msi-$1" -P "$src/installer/msi.cmake" \
    >"$work/msi-$1.log" 2>&1 || { cat "$work/msi-$1.log"; echo "FAIL: building the $1 package"; exit 1; }
}
build_msi 1.0.0
build_msi 1.0.1
ok "built Orlenne-1.0.0.msi and Orlenne-1.0.1.msi for $arch"

# This test reads the prefix's registry files: under emulation the Wine runner must then
# keep no session, whose registry would stay in memory (see wine.sh).
export SORBEL_WINE_LINGER=0

# --- a fresh Wine prefix, with its own X display -----------------------------------------
source "$here/../../scripts/lib/wine-env.sh"
trap xvfb_stop EXIT
if command -v Xvfb >/dev/null; then xvfb_start 1024x768x24 || true; fi

# No host menu entries for the Start-menu shortcut: winemenubuilder would write them
# into this user's ~/.local/share/applications and ~/.config/menus.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winemenubuilder.exe=d"
"$wine_sh" "$arch" "$prefix" --fresh
status=$?
[ $status -eq 77 ] && exit 77
[ $status -eq 0 ] || { echo "FAIL: creating the Wine prefix ($status)"; exit 1; }
prefix=$(cd "$prefix" && pwd)

wine_run() { "$wine_sh" "$arch" "$prefix" "$@"; }
install_dir="$prefix/drive_c/Program Files/Orlenne"
install_dir_win='C:\Program Files\Orlenne'

# The registry flattened to sorted lines, and the files of drive C.
registry() {
  { awk -v prefix='HKLM\\' -f "$here/reg_flatten.awk" "$prefix/system.reg"
    awk -v prefix='HKCU\\' -f "$here/reg_flatten.awk" "$prefix/user.reg"; } | LC_ALL=C sort >"$1"
}
files() { (cd "$prefix/drive_c" && find . \( -type f -o -type l \) | LC_ALL=C sort) >"$1"; }
# What the registry may differ in without the package being at fault: device data that
# Wine rewrites at every start, the printers Wine mirrors from the print system (their status
# follows the queue, and a queue seen later appears then), the console defaults Wine writes the
# first time a console program starts, the file dialog's per-user history of folders (written
# when the viewer opens a sample; Windows keeps it after an uninstall too), and the empty root
# keys Windows Installer makes for its own bookkeeping the first time it runs (values below
# them still count).
volatile='^\[HKLM\\system\\\\currentcontrolset\\\\control\\\\class\\\\|^\[HKLM\\system\\\\currentcontrolset\\\\control\\\\print\\\\printers\\\\|^\[HKCU\\console\]|^\[HKLM\\software\\\\microsoft\\\\windows nt\\\\currentversion\\\\networkcards|^\[HKCU\\software\\\\microsoft\\\\windows\\\\currentversion\\\\explorer\\\\comdlg32\\\\'
installer_roots='classes\\\\installer\\\\(features|products|upgradecodes)|microsoft\\\\windows\\\\currentversion\\\\installer\\\\(upgradecodes|userdata\\\\s-1-5-18\\\\(components|products))'
volatile="$volatile|^\\[HKLM\\\\software\\\\\\\\($installer_roots)\\]\$"
stable() { grep -Ev "$volatile" "$1"; }
# The COM part of a registry difference: HKCR (both views) without Windows Installer's own data.
com_part() { grep -E '^\[HKLM\\software\\\\classes\\\\' | grep -Ev '^\[HKLM\\software\\\\classes\\\\installer\\\\'; }

same_as_before() {  # $1 label, $2 registry before, $3 files before
  registry "$work/reg-now"
  files "$work/files-now"
  if diff <(stable "$2") <(stable "$work/reg-now") >"$work/reg-left"; then
    ok "$1: the registry is as it was before installing"
  else
    fail "$1: the registry differs from before installing:"
    head -40 "$work/reg-left"
  fi
  if diff "$3" "$work/files-now" >"$work/files-left"; then
    ok "$1: drive C holds the same files as before installing"
  else
    fail "$1: files differ from before installing:"
    head -20 "$work/files-left"
  fi
  [ -e "$install_dir" ] && fail "$1: $install_dir is still there"
}

installed_products() {  # DisplayVersion of every installed product named "Orlenne Document Viewer"
  awk -f "$here/reg_flatten.awk" "$prefix/system.reg" |
    grep -E '^\[software\\\\microsoft\\\\windows\\\\currentversion\\\\uninstall\\\\\{' |
    awk '{ key = $1 } /"DisplayName"="Orlenne Document Viewer"$/ { named[key] = 1 }
         /"DisplayVersion"=/ { v = $0; sub(/.*"DisplayVersion"="/, "", v); sub(/"$/, "", v); version[key] = v }
         END { for (k in named) print version[k] }'
}

run_script() {  # the COM round trip through cscript; its last line says whether it passed
  wine_run cscript //nologo "$(winpath "$here/com_roundtrip.vbs")" "$install_dir_win" >"$work/script.log" 2>&1
  tr -d '\r' <"$work/script.log" | grep -E '^(FAILED|com_roundtrip):'
  if tr -d '\r' <"$work/script.log" | tail -1 | grep -qx 'com_roundtrip: PASS'; then
    ok "$1: Sorbel.ckxDataPak, DocFile.ckxDocHeader and DocFile.ckxFileBlock work by name ($(grep -c '^ok: ' "$work/script.log") checks)"
  else
    fail "$1: the COM round trip stopped after \"$(tr -d '\r' <"$work/script.log" | grep -E '^(ok|FAILED): ' | tail -1)\""
    grep -m1 '^Unhandled exception' "$work/script.log"
  fi
}

msi() {  # msiexec with a log; $1 /i or /x, $2 package
  local log
  log="$work/msiexec-$(basename "$2" .msi)-${1#/}.log"
  wine_run msiexec "$1" "$(winpath "$2")" /qn /l*v "$(winpath "$log")"
}

# --- 1. install -----------------------------------------------------------------------------
# Wine's script host registers its own type library when it first runs: once before
# the registry is taken, so that only the package's changes remain.
printf 'Set fso = CreateObject("Scripting.FileSystemObject")\r\nWScript.Echo "ready"\r\n' >"$work/warm_up.vbs"
wine_run cscript //nologo "$(winpath "$work/warm_up.vbs")" >/dev/null 2>&1
registry "$work/reg-0"
files "$work/files-0"
if msi /i "$work/Orlenne-1.0.0.msi"; then ok "msiexec /i Orlenne-1.0.0.msi /qn"; else fail "msiexec /i exited $?"; fi
registry "$work/reg-1"
for f in Navreth.exe sorbel.exe Sorbel.dll Sorbel.tlb DocFile.dll DocFile.tlb ReadMe.txt; do
  if cmp -s "$install_dir/$f" "$work/msi-1.0.0/payload/$f"; then :; else fail "$f not installed as packaged"; fi
done
ok "installed: $(cd "$install_dir" && find . -type f | wc -l) files in C:\\Program Files\\Orlenne"
samples=$(find "$install_dir/Samples" -name '*.orl' 2>/dev/null | wc -l)
[ "$samples" -gt 0 ] && ok "$samples sample documents installed" || fail "no sample documents installed"
shortcut=$(find "$prefix/drive_c" -name 'Orlenne Document Viewer.lnk' | head -1)
[ -n "$shortcut" ] && ok "Start-menu shortcut ${shortcut#"$prefix/drive_c/"}" || fail "no Start-menu shortcut"
LC_ALL=C comm -13 "$work/reg-0" "$work/reg-1" | com_part >"$work/com-msi"
ok "the package registered $(wc -l <"$work/com-msi") COM registry values"

run_script "installed 1.0.0"

# --- 2. the viewer starts -------------------------------------------------------------
# The share of dark pixels below the viewer's button row: a document's text on a white
# page gives a few percent; an empty or hidden view next to nothing, a window not yet
# painted all of it.
ink() {
  import -window "$1" png:- 2>/dev/null |
    convert - -crop +0+40 +repage -colorspace Gray -threshold 50% -format '%[fx:1-mean]' info: 2>/dev/null
}
text_shown() { awk -v a="${1:-0}" 'BEGIN { exit !(a > 0.005 && a < 0.5) }'; }
# Opens the first installed sample as a user does: Alt+O, the path in the file dialog,
# Enter. Passes when the dialog closes, no "Open Document" message comes, and text
# shows in the window.
open_sample() {
  local window=$1 sample dialog message after
  if ! command -v import >/dev/null || ! command -v convert >/dev/null; then
    echo "note: no ImageMagick here, opening a sample in the viewer is not checked"
    return
  fi
  sample=$(cd "$install_dir/Samples" && ls *.orl | head -1)
  # Alt+O; when no dialog comes (the keyboard focus is not always the viewer's under a
  # bare X server), a click on the Open button, the first of the row.
  xdotool windowfocus "$window" 2>/dev/null
  xdotool key alt+o
  for i in $(seq 60); do
    dialog=$(xdotool search --name '^Open Orlenne Document$' 2>/dev/null | head -1)
    [ -n "$dialog" ] && break
    [ "$i" = 10 ] && xdotool mousemove --window "$window" 30 14 click 1
    sleep 0.5
  done
  if [ -z "$dialog" ]; then fail "neither Alt+O nor a click on Open showed the \"Open Orlenne Document\" dialog"; return; fi
  xdotool type --delay 10 "$install_dir_win\\Samples\\$sample"
  xdotool key Return
  for _ in $(seq 40); do
    sleep 0.5
    message=$(xdotool search --name '^Open Document$' 2>/dev/null | head -1)
    [ -n "$message" ] && break
    xdotool search --name '^Open Orlenne Document$' >/dev/null 2>&1 && continue
    after=$(ink "$window")
    text_shown "$after" && break
  done
  if [ -n "$message" ]; then
    fail "the viewer refused the installed sample $sample (an \"Open Document\" message)"
    xdotool key Return
  elif text_shown "$after"; then
    ok "the viewer opens the installed sample $sample (text on $after of the window)"
  else
    fail "the viewer shows no text after opening $sample ($after of the window dark)"
  fi
}
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
  wine_run "$install_dir_win\\Navreth.exe" >"$work/viewer.log" 2>&1 &
  viewer=$!
  window=
  for _ in $(seq 60); do
    window=$(xdotool search --name '^Orlenne Document Viewer v 1\.01$' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    kill -0 $viewer 2>/dev/null || break
    sleep 0.5
  done
  if [ -n "$window" ]; then
    ok "the installed viewer shows its window \"Orlenne Document Viewer v 1.01\""
    open_sample "$window"
  else
    fail "the installed viewer showed no window \"Orlenne Document Viewer v 1.01\""
    cat "$work/viewer.log"
  fi
  wine_run taskkill /im Navreth.exe >/dev/null 2>&1
  for _ in $(seq 40); do kill -0 $viewer 2>/dev/null || break; sleep 0.25; done
  if kill -0 $viewer 2>/dev/null; then
    fail "the viewer did not close on WM_CLOSE"
    WINEPREFIX="$prefix" wineserver -k
  fi
  wait $viewer 2>/dev/null
else
  echo "note: no Xvfb/xdotool here, the viewer start is not checked"
fi

# --- 3. upgrade, and no downgrade -------------------------------------------------------
[ "$(installed_products)" = "1.0.0" ] || fail "after installing 1.0.0 the products are: $(installed_products)"
if msi /i "$work/Orlenne-1.0.1.msi"; then ok "msiexec /i Orlenne-1.0.1.msi /qn over 1.0.0"; else fail "installing 1.0.1 exited $?"; fi
products=$(installed_products | tr '\n' ' ')
[ "$products" = "1.0.1 " ] && ok "one product installed afterwards, version 1.0.1" || fail "installed products after the upgrade: $products"
head -1 "$install_dir/ReadMe.txt" | tr -d '\r' | grep -qx 'Orlenne Document Viewer 1.0.1' &&
  ok "ReadMe.txt is the 1.0.1 one" || fail "ReadMe.txt was not updated: $(head -1 "$install_dir/ReadMe.txt")"
registry "$work/reg-upgraded"
if LC_ALL=C comm -13 "$work/reg-0" "$work/reg-upgraded" | com_part | diff -q - "$work/com-msi" >/dev/null; then
  ok "the upgraded installation has the same COM registration"
else
  fail "the COM registration after the upgrade differs from a fresh installation's"
fi
run_script "upgraded to 1.0.1"
# An older package over a newer one is refused and changes nothing.
if msi /i "$work/Orlenne-1.0.0.msi"; then fail "installing 1.0.0 over 1.0.1 was not refused"
else ok "installing 1.0.0 over 1.0.1 is refused"; fi
[ "$(installed_products)" = "1.0.1" ] || fail "after the refused downgrade the products are: $(installed_products)"
head -1 "$install_dir/ReadMe.txt" | tr -d '\r' | grep -qx 'Orlenne Document Viewer 1.0.1' ||
  fail "the refused downgrade changed ReadMe.txt"

# --- 4. uninstall -------------------------------------------------------------------------
if msi /x "$work/Orlenne-1.0.1.msi"; then ok "msiexec /x Orlenne-1.0.1.msi /qn"; else fail "msiexec /x exited $?"; fi
same_as_before "uninstalled" "$work/reg-0" "$work/files-0"
[ -z "$(installed_products)" ] || fail "products left after uninstalling: $(installed_products)"
registry "$work/reg-2"

# --- 5. the same registration as DllRegisterServer -------------------------------------
# The servers, where the package puts them, registered by regsvr32. HELPDIR is their
# folder, which RegisterTypeLib writes without a final backslash and the package as
# [INSTALLDIR], with one (Windows Installer has no other form for a folder); that is
# the one difference allowed. A type library registered from a .tlb file gets the \\?\
# prefix from Wine, which Windows does not write; it is taken off too.
mkdir -p "$install_dir"
libs=$(cd "$work/msi-1.0.0/payload" && ls *.tlb | sed 's/\.tlb$//')
for lib in $libs; do
  cp "$work/msi-1.0.0/payload/$lib.dll" "$work/msi-1.0.0/payload/$lib.tlb" "$install_dir/"
  wine_run regsvr32 /s "$install_dir_win\\$lib.dll" || fail "regsvr32 $lib.dll exited $?"
done
registry "$work/reg-3"
LC_ALL=C comm -13 "$work/reg-2" "$work/reg-3" | com_part |
  sed -E -e 's/@="\\\\\\\\\?\\\\/@="/' -e '/\\\\helpdir\] @=/ s/([^\\])"$/\1\\\\"/' |
  LC_ALL=C sort >"$work/com-regsvr32"
if diff "$work/com-regsvr32" "$work/com-msi" >"$work/com-diff"; then
  ok "the package's registration equals DllRegisterServer's ($(wc -l <"$work/com-msi") values)"
else
  fail "the package's registration differs from DllRegisterServer's (< regsvr32, > package):"
  cat "$work/com-diff"
fi
rm -rf "$install_dir"

if [ $failures -eq 0 ]; then echo "installer_test: PASS"; exit 0; fi
echo "installer_test: $failures checks failed"
exit 1
