#!/usr/bin/env bash
# Lets this machine run 32-bit x86 Linux programs (the i686 Wine loader) where the kernel
# refuses them: registers qemu's i386 user-mode emulator with binfmt_misc (flag F, so that
# the interpreter is opened once at registration and works in every mount namespace).
#   i386-emulation.sh           set up when needed; idempotent, quick when nothing is to do
#   i386-emulation.sh --mode    print how 32-bit programs run here: native, emulated or none
# Where the kernel runs 32-bit programs itself nothing is installed or registered. The
# registration is machine-wide: it matches only 32-bit little-endian i386 ELF files
# (executables and shared objects), so 64-bit programs, wine64 among them, are not touched.
# A registration that does not make a 32-bit program run is removed again, so nothing is
# left half-registered.
#
# The emulator must be qemu 8 or later: qemu 7.2 (Debian 12's own) takes MAP_FIXED_NOREPLACE
# for a mere hint, and Wine's 32-bit loader, which reserves its address space with it,
# then splits every refused range down to 64 KiB pieces: tens of thousands of mmap calls
# that take minutes for every Wine process. Debian 12 gets a later qemu from its backports.
# Needs root (or sudo) to set up; without it the 32-bit Wine tests report as skipped.
# SORBEL_I386_EMULATE=1 sets up the emulator even where the kernel runs 32-bit programs, to
# try the emulated stage on such a machine: run it in a user namespace of its own
# (`unshare --user --map-root-user --mount`, kernel 6.7 or later), whose binfmt_misc mount
# is private, so that the machine's other 32-bit programs keep running natively.
set -uo pipefail

name=qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
min_qemu_major=8

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# A 96-byte static i386 program that exits with status 42 (exit through int 0x80): runs
# wherever 32-bit programs run, natively or through an emulator, and needs no 32-bit libraries.
probe=$(mktemp "${TMPDIR:-/tmp}/i386-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'\
'\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'\
'\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
runs_32bit() { "$probe" 2>/dev/null; [ $? -eq 42 ]; }
force=${SORBEL_I386_EMULATE:-0}
registered() { [ -f "$binfmt/$name" ] && head -n 1 "$binfmt/$name" | grep -qx enabled; }
registered_interpreter() { sed -n 's/^interpreter //p' "$binfmt/$name" 2>/dev/null; }
# qemu_major FILE: the major version of a qemu user-mode emulator, empty when it does not run.
qemu_major() { "$1" --version 2>/dev/null | sed -n '1s/.*version \([0-9]\+\)\..*/\1/p'; }
recent_qemu() { local v; v=$(qemu_major "$1"); [ -n "$v" ] && [ "$v" -ge $min_qemu_major ]; }

if [ "${1:-}" = --mode ]; then
  if ! runs_32bit; then echo none; elif registered; then echo emulated; else echo native; fi
  exit 0
fi

[ "$(uname -m)" = x86_64 ] || exit 0
if runs_32bit && { ! registered || recent_qemu "$(registered_interpreter)"; } &&
   { [ "$force" != 1 ] || registered; }; then
  exit 0   # natively, or through a registration that is fit for Wine
fi

skip() { echo "i386-emulation: $*; 32-bit Wine tests will report as skipped" >&2; exit 0; }

# One set-up at a time on this machine.
exec 9>/tmp/.i386-emulation.lock
flock 9

# The emulator: qemu-user's static qemu-i386 (qemu 8 and later), from the backports where
# the release's own is older.
interpreter=
for candidate in /usr/bin/qemu-i386 /usr/bin/qemu-i386-static; do
  if recent_qemu "$candidate"; then interpreter=$candidate; break; fi
done
if [ -z "$interpreter" ]; then
  export DEBIAN_FRONTEND=noninteractive
  target=()
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  if [ "$codename" = bookworm ]; then
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null
    fi
    target=(-t bookworm-backports)
  fi
  echo "i386-emulation: installing qemu-user ${target[*]}"
  # An index that fails to download (a mirror in the middle of a sync) does not keep the
  # emulator from being found through the others: the install is tried all the same.
  "${sudo_cmd[@]}" apt-get update -qq || echo "i386-emulation: apt-get update failed; installing all the same" >&2
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${target[@]}" qemu-user >/dev/null ||
    skip "qemu-user could not be installed"
  recent_qemu /usr/bin/qemu-i386 || skip "no qemu-i386 of version $min_qemu_major or later"
  interpreter=/usr/bin/qemu-i386
fi

if [ ! -e "$binfmt/register" ]; then
  "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    skip "binfmt_misc cannot be mounted here"
fi
if registered && recent_qemu "$(registered_interpreter)" && runs_32bit; then
  exit 0   # set up meanwhile by another run
fi

# An entry of this name that does not serve (disabled, an old qemu, an interpreter that is
# gone) is replaced.
if [ -e "$binfmt/$name" ]; then
  echo "i386-emulation: replacing the binfmt_misc entry $name:" >&2
  sed 's/^/  /' "$binfmt/$name" >&2
  echo -1 | "${sudo_cmd[@]}" tee "$binfmt/$name" >/dev/null || skip "cannot remove the entry $name"
fi
if [ "$force" != 1 ] && runs_32bit; then
  echo "i386-emulation: the kernel runs 32-bit programs itself; no emulator registered"
  exit 0
fi
printf ':%s:M::%s:%s:%s:F' "$name" "$magic" "$mask" "$interpreter" |
  "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null 2>&1 || skip "cannot register $name with binfmt_misc"
if ! runs_32bit; then
  echo -1 | "${sudo_cmd[@]}" tee "$binfmt/$name" >/dev/null 2>&1
  skip "the registration of $interpreter did not make 32-bit programs run; removed it again"
fi
echo "i386-emulation: 32-bit programs run through $interpreter (binfmt_misc entry $name)"
