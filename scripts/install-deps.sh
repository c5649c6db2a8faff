#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the viewer's demonstration need.
# Safe to run again: it only installs what is missing. Needs root (or sudo).
# Where the kernel cannot run 32-bit programs, scripts/i386-emulation.sh then sets up qemu's
# user-mode emulation for the 32-bit Wine loader (nothing is done where it runs natively).
set -euo pipefail

# libcups2:i386: the 32-bit Wine finds the CUPS queues (the viewer's Print) only through it.
# Caladea has the widths of Cambria, Word's default heading face since 2007: the viewer sets
# Cambria in it where Cambria is not installed.
packages=(
  cmake ninja-build g++ clang libclang-rt-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  libmsgpack-cxx-dev nlohmann-json3-dev libcli11-dev
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev
  wine wine64 wine32:i386 libcups2:i386
  xvfb xauth x11-utils xdotool imagemagick
  cups printer-driver-cups-pdf poppler-utils
  fonts-liberation2 fonts-dejavu-core fonts-wqy-microhei fonts-crosextra-caladea
  msitools wixl zip
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror in the middle of a sync fails one index now and then; the packages are then
  # still found through the others, so a failed update is retried and then only reported.
  for attempt in 1 2 3; do
    if "${sudo_cmd[@]}" apt-get update -qq; then
      break
    fi
    echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -eq 3 ] || sleep 15
  done
  # When one architecture's security index could not be fetched, the 64-bit libraries come from
  # the security suite and their 32-bit twins only from the release, and the two must be the
  # same version: apt then finds no solution. The install is then made again from the release's
  # own versions, which exist for both architectures.
  if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || exit 1
    echo "install-deps: installing again from $codename's own versions" >&2
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends --no-remove -t "$codename" "${missing[@]}" >/dev/null
  fi
fi

bash "$(dirname "$0")/i386-emulation.sh"
