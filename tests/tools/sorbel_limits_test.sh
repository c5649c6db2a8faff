#!/usr/bin/env bash
# The sorbel tool under hostile input and failing outputs: huge files, endless
# devices and pipes are refused early; a failed write leaves the old file; a
# short write to standard output is an error; only regular files are written;
# no input makes it abort. Usage: sorbel_limits_test.sh SORBEL SOURCE_DIR
set -uo pipefail
sorbel=$1 root=$2
samples=$root/samples
work=$(mktemp -d)
cleanup() { mountpoint -q "$work/full" 2>/dev/null && umount "$work/full"; rm -rf "$work"; }
trap cleanup EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# run ARGS...: runs sorbel with a time limit (a tool that reads a 3 GB file or
# /dev/zero to its end would take far longer); stdout in $out, stderr in $err.
run() {
  timeout 20 "$sorbel" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
}
expect() {  # status, needle in stdout+stderr, description
  [ "$rc" -eq "$1" ] || fail "$3: exit status $rc, expected $1 (stdout: $out; stderr: $err)"
  case "$out$err" in *"$2"*) ;; *) fail "$3: '$2' not in: $out$err" ;; esac
}
header() {  # type, size field: the first 14 bytes of a package with no texts or records
  printf "$(printf '\\x%02x' $(( ($1 >> 24) & 255 )) $(( ($1 >> 16) & 255 )) $(( ($1 >> 8) & 255 )) $(( $1 & 255 )) \
    $(( ($2 >> 24) & 255 )) $(( ($2 >> 16) & 255 )) $(( ($2 >> 8) & 255 )) $(( $2 & 255 )))"
  printf '\x00\x00\x00\x00\x00\x00'
}

# --- reads decide early: a file's size first, a stream's header first ----------
truncate -s 3G "$work/zeros.pak"
{ header 1000 14; } >"$work/huge.pak" && truncate -s 3G "$work/huge.pak"
run check "$work/zeros.pak"; expect 1 "ckxDataPak_errPackageTypeInvalid (-110)" "3 GB of zeros"
run check "$work/huge.pak"; expect 1 "ckxDataPak_errPackageSizeInvalid (-120)" "3 GB package"
run check /dev/zero; expect 1 "ckxDataPak_errPackageTypeInvalid (-110)" "check /dev/zero"
# Streams: decided by the header, read no further than its size field allows.
run check /dev/stdin < <(header 1000 1000; cat /dev/zero)
expect 1 "ckxDataPak_errPackageSizeInvalid (-120)" "endless stream after a valid header"
run check /dev/stdin < <(cat "$samples/worked-example.pak"); expect 0 "OK: package of 23 bytes" "package from a pipe"
run check /dev/stdin < <(cat "$samples/worked-example.pak"; printf x)
expect 1 "ckxDataPak_errPackageSizeInvalid (-120)" "pipe with a byte past the size field"
{ header 1000 14; printf x; } >"$work/fourteen.pak"
run check "$work/fourteen.pak"; expect 1 "ckxDataPak_errPackageSizeInvalid (-120)" "size field 14, 15 bytes"
# Documents are read only from regular files: anything else at the path is status 2.
mkfifo "$work/pipe.orl"; mkdir "$work/folder.orl"; ln -s /dev/zero "$work/zero.orl"
for f in pipe.orl folder.orl zero.orl; do
  run check "$work/$f"; expect 1 "kDocUnreadable (2)" "check $f"
done
run check "$work/absent.orl"; expect 1 "kDocMissing (1)" "check absent.orl"
# JSON and rich text: refused by size, or as soon as they cannot be what they should.
cp --sparse=always "$work/zeros.pak" "$work/zeros.json"
run pack "$work/zeros.json" -o "$work/x.pak"; expect 1 "larger than 2147483647 bytes" "pack 3 GB JSON"
run pack /dev/zero -o "$work/x.pak"; expect 1 "/dev/zero: not valid JSON" "pack /dev/zero"
run pack - -o "$work/x.pak" < <(yes '[' | tr -d '\n'); expect 1 "nested deeper than" "pack endless ["
run mkdoc --rtf "$work/zeros.pak" -o "$work/x.orl"; expect 1 "larger than 2147483647 bytes" "mkdoc 3 GB text"
run mkdoc --rtf /dev/zero -o "$work/x.orl"; expect 1 "does not start with {\\rtf" "mkdoc /dev/zero"
run mkdoc --rtf - -o "$work/piped.orl" < <(cat "$root/samples/src/short.rtf")
expect 0 "" "mkdoc text from a pipe"
text_length=$(stat -c %s "$root/samples/src/short.rtf")
cmp -s -i "$(( $(stat -c %s "$work/piped.orl") - text_length )):0" -n "$text_length" \
  "$work/piped.orl" "$root/samples/src/short.rtf" || fail "mkdoc text from a pipe: the text part differs"
[ ! -e "$work/x.pak" ] && [ ! -e "$work/x.orl" ] || fail "a refused input left an output file"

# --- JSON numbers out of range are refused input, not an abort -------------------
for number in -1e309 1e400; do
  run pack - -o "$work/x.pak" < <(printf '{"title":"x","records":[],"category":%s}' "$number")
  expect 1 "standard input: not valid JSON" "JSON number $number"
done

# Out of memory (here under a small address-space limit) is a message naming the input.
if grep -qa __asan_init "$sorbel"; then
  echo "skipped: out of memory (a sanitizer build needs a large address space)"
else
  { printf '{"records":[{"key":"k","hex":"'; head -c 30000000 /dev/zero | tr '\0' 7; printf '"}]}'; } >"$work/30mb.json"
  (ulimit -v 60000; exec "$sorbel" pack "$work/30mb.json" -o "$work/x.pak") >"$work/out" 2>"$work/err"
  rc=$? out=$(cat "$work/out") err=$(cat "$work/err")
  expect 1 "sorbel: $work/30mb.json: out of memory" "out of memory"
  rm -f "$work/30mb.json"
fi

# --- standard output: every write and the final flush are checked -----------------
"$sorbel" dump "$samples/long.orl" >"$work/long.json"
while IFS= read -r args; do
  eval "timeout 20 \"\$sorbel\" $args" >/dev/full 2>"$work/err"; rc=$? out='' err=$(cat "$work/err")
  expect 1 "standard output: write failed" "$args >/dev/full"
  eval "timeout 20 \"\$sorbel\" $args" >&- 2>"$work/err"; rc=$? err=$(cat "$work/err")
  expect 1 "standard output: write failed" "$args with standard output closed"
done <<LIST
dump $samples/long.orl
check $samples/long.orl
pack $work/long.json -o -
mkdoc --rtf $root/samples/src/short.rtf -o -
LIST

# --- only regular files are written; links are written through --------------------
printf 'old' >"$work/real.pak"
ln -s real.pak "$work/link.pak"
run pack "$work/long.json" -o "$work/link.pak"; expect 0 "" "pack through a link"
[ -L "$work/link.pak" ] && "$sorbel" check "$work/real.pak" >/dev/null || fail "pack replaced the link or not its target"
ln -s new.orl "$work/dangling.orl"
run mkdoc --rtf "$root/samples/src/short.rtf" -o "$work/dangling.orl"; expect 0 "" "mkdoc through a dangling link"
[ -L "$work/dangling.orl" ] && "$sorbel" check "$work/new.orl" >/dev/null || fail "mkdoc replaced the link or not its target"
# Device targets are copies of /dev/null's node made here: a tool that got this
# wrong must not be able to replace the system's own /dev/null.
mkfifo "$work/fifo"; mkdir "$work/dir"
targets=("$work/fifo:a FIFO" "$work/dir:a directory")
if mknod -m 666 "$work/device" c 1 3 2>/dev/null; then
  ln -s device "$work/device-link"
  targets+=("$work/device:a device" "$work/device-link:a device")
else
  echo "skipped: device targets (mknod is not permitted here)"
fi
for entry in "${targets[@]}"; do
  target=${entry%%:*} kind=${entry#*:}
  run pack "$work/long.json" -o "$target"; expect 1 "is $kind, not a regular file" "pack -o $target"
  run mkdoc --rtf "$root/samples/src/short.rtf" -o "$target"; expect 1 "is $kind, not a regular file" "mkdoc -o $target"
done
{ [ ! -e "$work/device" ] || [ -c "$work/device" ]; } && [ -p "$work/fifo" ] || fail "a device node or FIFO was replaced"
[ -z "$(find "$work" -name '.*.??????' -o -name '*.tmp')" ] || fail "temporary files left: $(find "$work" -name '.*')"

# --- a full disk: the old file stays as it was, nothing else is left ---------------
mkdir "$work/full"
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=64k tmpfs "$work/full" 2>/dev/null; then
  cp "$samples/worked-example.pak" "$work/full/old.pak"
  cp "$samples/short.orl" "$work/full/old.orl"
  head -c 200000 /dev/zero | tr '\0' 7 | sed 's/^/{"records":[{"key":"k","hex":"/; s/$/"}]}/' >"$work/big.json"
  { printf '{\\rtf1 '; head -c 100000 /dev/zero | tr '\0' x; printf '}'; } >"$work/big.rtf"
  run pack "$work/big.json" -o "$work/full/old.pak"; expect 1 "No space left on device" "pack on a full disk"
  cmp -s "$work/full/old.pak" "$samples/worked-example.pak" || fail "pack on a full disk changed the old file"
  run mkdoc --rtf "$work/big.rtf" -o "$work/full/old.orl"; expect 1 "No space left on device" "mkdoc on a full disk"
  cmp -s "$work/full/old.orl" "$samples/short.orl" || fail "mkdoc on a full disk changed the old file"
  run pack "$work/big.json" -o "$work/full/new.pak"; expect 1 "No space left on device" "pack of a new file"
  [ "$(ls -A "$work/full")" = "$(printf 'old.orl\nold.pak')" ] || fail "full disk: left behind: $(ls -A "$work/full")"
  umount "$work/full"
else
  echo "skipped: full disk (mounting a small tmpfs needs root and a kernel that allows it)"
fi

if [ $failures -gt 0 ]; then echo "sorbel_limits_test: $failures failures"; exit 1; fi
echo "sorbel_limits_test: all passed"
