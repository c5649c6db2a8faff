#!/usr/bin/env bash
# Builds the release artefacts of Orlenne into build/release/:
#   Orlenne-<version>-win32.msi   installer for 32-bit Windows (Program Files (x86) on 64-bit)
#   Orlenne-<version>-win64.msi   installer for 64-bit Windows
#   Orlenne-<version>-win32.zip   the same files without an installer (register the two
#   Orlenne-<version>-win64.zip   DLLs with regsvr32 yourself; see docs/installing.md)
#   SHA256SUMS                    checksums of the four files
#
#   scripts/release.sh [win32|win64]...      (default: both)
#
# Each architecture is configured in build/release-<arch> (Release build, mingw-w64
# toolchain) and its `msi` target builds the deliverables into build/dist/<arch>/ and
# the package from them (installer/msi.cmake, wixl). The zip holds exactly the files the
# package installs. Installs the Debian packages it needs first (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

arches=("$@")
[ ${#arches[@]} -eq 0 ] && arches=(win32 win64)
for arch in "${arches[@]}"; do
  case $arch in
    win32|win64) ;;
    *) echo "release.sh: unknown architecture '$arch' (win32 or win64)" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh
out=build/release
mkdir -p "$out"
jobs=$(nproc)

for arch in "${arches[@]}"; do
  case $arch in
    win32) toolchain=mingw-i686.cmake ;;
    win64) toolchain=mingw-x86_64.cmake ;;
  esac
  dir=build/release-$arch
  echo "=== $arch: configure and build in $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; exit 1; }
  # A clean build: the dist folder is shared with the other build trees, whose newer
  # files would otherwise pass for this build's.
  cmake --build "$dir" -j "$jobs" --clean-first --target msi

  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
  name=Orlenne-$version-$arch
  cp "$dir/installer/$name.msi" "$out/$name.msi"

  # The zip: the package's files under one folder of the release's name.
  staging=$dir/installer/zip
  rm -rf "$staging" "$out/$name.zip"
  mkdir -p "$staging"
  cp -r "$dir/installer/msi/payload" "$staging/$name"
  (cd "$staging" && zip -q -r -X "$root/$out/$name.zip" "$name")
  echo "=== $arch: $out/$name.msi, $out/$name.zip"
done

(cd "$out" && sha256sum Orlenne-*.msi Orlenne-*.zip >SHA256SUMS)
ls -l "$out"
