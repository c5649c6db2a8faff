#!/usr/bin/env bash
# Regenerates the sample packages and documents of samples/ from samples/src with
# the native sorbel tool. The output is deterministic: run it after changing a
# source file and commit the result (a test compares the committed files with a
# fresh run).
#   scripts/make-samples.sh [OUTDIR]     (default: samples)
# SORBEL=/path/to/sorbel uses that tool; otherwise the native tool is built in
# build/h5-native (configured there when needed) and build/dist/linux/sorbel is used.
set -euo pipefail
# Paths given by the caller are taken relative to the caller's directory.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
[ -n "${SORBEL:-}" ] && SORBEL=$(absolute "$SORBEL")
out=$( [ $# -gt 0 ] && absolute "$1" || echo samples )
cd "$(dirname "$0")/.."
src=samples/src
if [ -z "${SORBEL:-}" ]; then
  [ -f build/h5-native/build.ninja ] || cmake -S . -B build/h5-native -G Ninja >/dev/null
  cmake --build build/h5-native --target sorbel_cli -j2 >/dev/null
  SORBEL=build/dist/linux/sorbel
fi
mkdir -p "$out"

# Overwrites bytes of a file in place: patch FILE OFFSET '\xHH...'
patch() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

# A package on its own: the worked example of the package format (23 bytes).
"$SORBEL" pack "$src/worked-example.json" -o "$out/worked-example.pak"
# A package with records of every kind: text, binary, empty data, repeated key, empty key.
"$SORBEL" pack "$src/mixed-records.json" -o "$out/mixed-records.pak"

# Documents the viewer opens.
"$SORBEL" mkdoc --rtf "$src/short.rtf" --title "Meeting note" \
  --prop "DocProperty_Author=Harbour office" -o "$out/short.orl"
"$SORBEL" mkdoc --rtf "$src/long.rtf" --title "Orlenne Harbour Survey" --category "Report" \
  -o "$out/long.orl"
"$SORBEL" mkdoc --rtf "$src/a5-landscape.rtf" --title "Notice of Closure" \
  --page-width 11906 --page-height 8391 \
  --margin-left 2160 --margin-right 2160 --margin-top 1800 --margin-bottom 1800 \
  --prop "DocProperty_PaperName=A5 landscape" -o "$out/a5-landscape.orl"

# Broken documents, each named for the step of opening that fails.
# Leading part (-60): wrong signature, unknown version, package beyond the end, cut short.
cp "$out/short.orl" "$out/broken-signature.orl"
patch "$out/broken-signature.orl" 1 'X'
cp "$out/short.orl" "$out/broken-version.orl"
patch "$out/broken-version.orl" 8 '\x00\x00\x00\x02'
cp "$out/short.orl" "$out/broken-package-outside.orl"
patch "$out/broken-package-outside.orl" 16 '\x00\x10\x00\x00'
head -c 60 "$out/short.orl" >"$out/broken-truncated.orl"
# Package refused (-80): a title with a control character, a wrong type identifier.
"$SORBEL" mkdoc --force --rtf "$src/short.rtf" --title $'Bad\x01Title' \
  -o "$out/broken-package-title.orl" 2>/dev/null
cp "$out/short.orl" "$out/broken-package-type.orl"
patch "$out/broken-package-type.orl" 23 '\xE9'
# Text the view cannot load (-72): plain text instead of rich text, no text at all.
"$SORBEL" mkdoc --force --rtf "$src/plain-text.txt" -o "$out/broken-text-not-rtf.orl" 2>/dev/null
"$SORBEL" mkdoc --force --rtf "$src/empty.txt" -o "$out/broken-text-empty.orl" 2>/dev/null
echo "make-samples: wrote $(ls "$out"/*.orl "$out"/*.pak | wc -l) files to $out"
