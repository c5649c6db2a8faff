#!/usr/bin/env bash
# Main job: builds the Windows deliverables, registers the COM servers in a Wine prefix and
# starts the Navreth document viewer with the sample documents at hand.
#   - builds Navreth.exe, Sorbel.dll and DocFile.dll for x86_64 (and for i686 where that
#     toolchain is installed) into build/dist/<arch>/;
#   - runs the i686 build when this machine can run 32-bit Wine, else the x86_64 build;
#   - makes (once) a prefix build/wine-run-<arch>, registers Sorbel.dll and DocFile.dll in it,
#     copies samples/*.orl to C:\users\Public\Documents\Orlenne Samples and starts the viewer
#     there, so its Open dialog shows the samples;
#   - with a display ($DISPLAY reachable) the viewer simply runs until you close it; without
#     one, a private Xvfb display is used, with a Wine virtual desktop on it that draws the
#     windows' frames and captions as Windows would: a sample is opened through the Open
#     dialog as a person would, a screenshot is saved to build/screenshots/navreth-demo.png,
#     and the viewer is closed.
#   - the viewer's Print command prints to the "PDF" queue that scripts/start-services.sh
#     sets up (cups-pdf): the PDFs land in the folder it names (root's: /root/PDF).
# Set SORBEL_BUILD_ROOT to build somewhere other than build/ (the build trees only).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh

build_root=${SORBEL_BUILD_ROOT:-build}
targets=(Navreth Sorbel DocFileCom navreth_ui_test)

build() {  # arch, toolchain file
  local dir=$build_root/$1
  echo "run: building the $1 deliverables in $dir"
  mkdir -p "$dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" \
    >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
}

build win64 mingw-x86_64.cmake
if command -v i686-w64-mingw32-g++ >/dev/null; then
  build win32 mingw-i686.cmake || echo "run: the i686 build failed; going on with x86_64"
fi

# The 32-bit loader needs a kernel that runs 32-bit programs; many containers have none.
# Under user-mode emulation (scripts/i386-emulation.sh) it runs, but too slowly for a viewer
# a person clicks through: the x86_64 build is used then.
arch=win64
if [ -f build/dist/win32/Navreth.exe ] && [ "$(bash scripts/i386-emulation.sh --mode)" = native ] &&
   wine --version >/dev/null 2>&1; then arch=win32; fi
dist=$root/build/dist/$arch
driver=$root/$build_root/$arch/tests/viewer/navreth_ui_test.exe
prefix=$root/build/wine-run-$arch
wine=(scripts/wine.sh "$arch" "$prefix")
echo "run: running the $arch build under Wine (prefix $prefix)"

if scripts/start-services.sh; then
  echo "run: printing goes to the PDF queue; files in $(scripts/start-services.sh --pdf-dir)"
else
  echo "run: the print services did not start; Print will find no printer"
fi

source scripts/lib/wine-env.sh
source tests/viewer/ui_session.sh
trap xvfb_stop EXIT

have_display=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then have_display=1; else xvfb_start; fi

"${wine[@]}"  # makes the prefix on first use
for dll in Sorbel.dll DocFile.dll; do
  "${wine[@]}" regsvr32 /s "$(winpath "$dist/$dll")"
done
samples_dir="$prefix/drive_c/users/Public/Documents/Orlenne Samples"
mkdir -p "$samples_dir"
cp samples/*.orl "$samples_dir/"
echo "run: sample documents in C:\\users\\Public\\Documents\\Orlenne Samples ($samples_dir)"

if [ $have_display = 1 ]; then
  echo "run: starting Navreth on $DISPLAY; close its window to end"
  # Wine takes the working directory from the Unix one: the Open dialog starts in the samples.
  (cd "$samples_dir" && "$root/scripts/wine.sh" "$arch" "$prefix" "$dist/Navreth.exe")
  exit 0
fi

echo "run: no display; demonstrating on a private Xvfb display ($DISPLAY)"
# Xvfb runs no window manager, so windows would show without frame or caption. The driver
# runs in a Wine virtual desktop the size of the screen instead (Wine's per-program setting;
# the viewer it starts joins its desktop), where Wine draws frames and captions itself.
"${wine[@]}" reg add 'HKCU\Software\Wine\AppDefaults\navreth_ui_test.exe\Explorer' /v Desktop /d Navreth /f >/dev/null
"${wine[@]}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Navreth /d 1280x1024 /f >/dev/null
# Wine draws the caption buttons with its own Marlett font and its dialogs with its Tahoma,
# from the package fonts-wine, which a Wine installation recommends. Where it is missing,
# its fonts go into this prefix only, and the test prefixes keep the fonts they were
# written against.
fonts_dir=$prefix/drive_c/windows/Fonts
if [ ! -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts_dir/marlett.ttf" ]; then
  fonts_tmp=$(mktemp -d)
  if (cd "$fonts_tmp" && apt-get download fonts-wine >/dev/null 2>&1) &&
     dpkg-deb -x "$fonts_tmp"/fonts-wine_*.deb "$fonts_tmp/x"; then
    mkdir -p "$fonts_dir" && cp "$fonts_tmp"/x/usr/share/wine/fonts/*.ttf "$fonts_dir/"
  else
    echo "run: Wine's own fonts (fonts-wine) are not at hand; the caption buttons may show as digits"
  fi
  rm -rf "$fonts_tmp"
fi
UI_SHOTS=$root/build/screenshots
UI_SYNC=$(mktemp -d)
UI_PDF_DIR=$(mktemp -d)  # the demonstration prints nothing
status=0
timeout 180 "${wine[@]}" "$driver" --viewer "$(winpath "$dist/Navreth.exe")" \
    --samples 'C:\users\Public\Documents\Orlenne Samples' --sync "$(winpath "$UI_SYNC")" --demo long.orl 2>&1 |
  ui_serve_requests || status=$?
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
rm -rf "$UI_SYNC" "$UI_PDF_DIR"
if [ $status -eq 0 ] && [ -f "$UI_SHOTS/navreth-demo.png" ]; then
  echo "run: Navreth showed long.orl; screenshot: $UI_SHOTS/navreth-demo.png"
else
  echo "run: the demonstration failed (status $status)"
  exit 1
fi
