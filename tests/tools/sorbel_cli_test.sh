#!/usr/bin/env bash
# Drives the native sorbel binary through its commands, the committed samples
# and its error paths. Usage: sorbel_cli_test.sh SORBEL SOURCE_DIR
set -uo pipefail
sorbel=$1 root=$2
samples=$root/samples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: runs sorbel, keeping stdout in $out, stderr in $err, status in $rc.
run() {
  "$sorbel" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
}
expect_rc() {  # expected status, description
  [ "$rc" -eq "$1" ] || fail "$2: exit status $rc, expected $1 (stdout: $out; stderr: $err)"
}
expect_in() {  # haystack, needle, description
  case $1 in *"$2"*) ;; *) fail "$3: '$2' not in: $1" ;; esac
}

# --- dump of the worked example package (23 bytes) --------------------------
printf '\x00\x00\x03\xE8\x00\x00\x00\x17\x00\x01\x00\x00\x00\x01\x54\x01\x00\x00\x00\x02\x6B\x01\x02' \
  >"$work/example.pak"
run dump "$work/example.pak"
expect_rc 0 "dump worked example"
expected='{
  "category": "",
  "title": "T",
  "records": [
    {
      "key": "k",
      "hex": "0102"
    }
  ]
}'
[ "$out" = "$expected" ] || fail "dump worked example printed: $out"
cmp -s "$work/example.pak" "$samples/worked-example.pak" || fail "samples/worked-example.pak differs from the worked example"

# --- dump then pack reproduces every loadable sample byte for byte ----------
for f in "$samples"/*.pak "$samples"/short.orl "$samples"/long.orl "$samples"/a5-landscape.orl \
         "$samples"/broken-text-*.orl; do
  name=$(basename "$f")
  "$sorbel" dump "$f" >"$work/$name.json" 2>"$work/err" || { fail "dump $name: $(cat "$work/err")"; continue; }
  "$sorbel" pack "$work/$name.json" -o "$work/$name.pak" 2>"$work/err" || { fail "pack $name: $(cat "$work/err")"; continue; }
  case $name in
    *.pak) cmp -s "$f" "$work/$name.pak" || fail "dump/pack of $name is not byte-identical" ;;
    *.orl)
      length=$(grep -o '"package_length": [0-9]*' "$work/$name.json" | grep -o '[0-9]*$')
      [ "$length" = "$(stat -c %s "$work/$name.pak")" ] || fail "$name: package_length $length"
      cmp -s -i 20:0 -n "$length" "$f" "$work/$name.pak" ||
        fail "dump/pack of the package of $name is not byte-identical" ;;
  esac
done
# ... also through standard input and output.
"$sorbel" dump "$samples/mixed-records.pak" | "$sorbel" pack - -o - >"$work/piped.pak" 2>"$work/err"
cmp -s "$samples/mixed-records.pak" "$work/piped.pak" || fail "dump | pack - -o - differs: $(cat "$work/err")"

# A package with a byte after its last record (size field counting it) loads; dump
# says that pack will not reproduce that byte, and pack gives the package without it.
printf '\x00\x00\x03\xE8\x00\x00\x00\x18\x00\x01\x00\x00\x00\x01\x54\x01\x00\x00\x00\x02\x6B\x01\x02\xFF' \
  >"$work/trailing.pak"
run dump "$work/trailing.pak"
expect_rc 0 "dump trailing byte"
expect_in "$err" "$work/trailing.pak: warning: the package holds bytes that the loader ignores" "dump trailing byte"
printf '%s' "$out" | "$sorbel" pack - -o "$work/trailing-packed.pak"
cmp -s "$work/trailing-packed.pak" "$work/example.pak" || fail "pack of the trailing-byte dump is not the worked example"
run dump "$work/example.pak"
[ -z "$err" ] || fail "dump of the worked example warned: $err"

# --- the document object of dump ---------------------------------------------
run dump "$samples/short.orl"
expect_rc 0 "dump short.orl"
text_length=$(stat -c %s "$root/samples/src/short.rtf")
package_length=$(( $(stat -c %s "$samples/short.orl") - 20 - text_length ))
flat=$(printf '%s' "$out" | tr -d ' \n')
expect_in "$flat" "\"document\":{\"version\":1,\"package_offset\":20,\"package_length\":$package_length,\"text_offset\":$((20 + package_length)),\"text_length\":$text_length}" "dump document object"
expect_in "$flat" '"title":"Meetingnote"' "dump short.orl title"

# --- check: accepted files, and each broken sample with its viewer status ----
for f in short.orl long.orl a5-landscape.orl worked-example.pak mixed-records.pak; do
  run check "$samples/$f"
  expect_rc 0 "check $f"
  expect_in "$out" "OK" "check $f"
done
while IFS='|' read -r file message; do
  run check "$samples/$file"
  expect_rc 1 "check $file"
  expect_in "$out" "$samples/$file: $message" "check $file"
done <<'LIST'
broken-signature.orl|document refused: kDocNotDocument (3)
broken-version.orl|document refused: kDocUnsupportedVersion (4)
broken-package-outside.orl|document refused: kDocPackageOutside (5)
broken-truncated.orl|document refused: kDocPackageOutside (5)
broken-package-title.orl|package refused: ckxDataPak_errPackageCorrupt (-140); the viewer reports -80
broken-package-type.orl|package refused: ckxDataPak_errPackageTypeInvalid (-110); the viewer reports -80
broken-text-not-rtf.orl|the text part is not rich text
broken-text-empty.orl|the text part is empty; the viewer reports -72
LIST
for f in broken-signature.orl broken-version.orl broken-package-outside.orl broken-truncated.orl; do
  run check "$samples/$f"; expect_in "$out" "the viewer reports -60" "check $f"
done
# Package refusals, one per test of the loader, with name and number.
head -c 13 "$work/example.pak" >"$work/short.pak"
run check "$work/short.pak"; expect_rc 1 "check 13 bytes"
expect_in "$out" "ckxDataPak_errPackageTooSmall (-100)" "check 13 bytes"
{ cat "$work/example.pak"; printf 'x'; } >"$work/extra.pak"
run check "$work/extra.pak"; expect_in "$out" "ckxDataPak_errPackageSizeInvalid (-120)" "check extra byte"
printf '\x00\x00\x03\xE8\x00\x00\x00\x0E\x05\x00\x00\x00\x00\x00' >"$work/incomplete.pak"
run check "$work/incomplete.pak"; expect_in "$out" "ckxDataPak_errPackageImcomplete (-130)" "check category past end"
# Missing files are named with the reason.
run check "$work/missing.pak"; expect_rc 1 "check missing"
expect_in "$err" "$work/missing.pak: cannot open" "check missing"
run dump "$work/missing.orl"; expect_rc 1 "dump missing"
expect_in "$err" "$work/missing.orl" "dump missing"
run dump "$samples/broken-package-title.orl"; expect_rc 1 "dump refused package"
expect_in "$err" "ckxDataPak_errPackageCorrupt (-140)" "dump refused package"

# --- mkdoc -------------------------------------------------------------------
run mkdoc --rtf "$root/samples/src/short.rtf" -o "$work/defaults.orl"
expect_rc 0 "mkdoc defaults"
flat=$("$sorbel" dump "$work/defaults.orl" | tr -d ' \n')
expect_in "$flat" '"category":"","title":"","records":[{"key":"DocProperty_PageMarginL","hex":"31343430","text":"1440"},{"key":"DocProperty_PageMarginR","hex":"31343430","text":"1440"},{"key":"DocProperty_PageMarginT","hex":"31343430","text":"1440"},{"key":"DocProperty_PageMarginB","hex":"31343430","text":"1440"},{"key":"DocProperty_PageHeight","hex":"3135383430","text":"15840"},{"key":"DocProperty_PageWidth","hex":"3132323430","text":"12240"}]' "mkdoc defaults"
# The text part is the document's last bytes. Compared in place, without a pipe whose writer
# could die of SIGPIPE when cmp stops reading.
cmp -s -i "$(( $(stat -c %s "$work/defaults.orl") - text_length )):0" -n "$text_length" \
  "$work/defaults.orl" "$root/samples/src/short.rtf" || fail "mkdoc: the text part is not the RTF file"

run mkdoc --rtf "$root/samples/src/short.rtf" --page-width 11906 --page-height 8391 --margin-left 0 \
  --margin-right 10 --margin-top 20 --margin-bottom 30 --title "A title" --prop "Author=Me" --prop "Empty=" \
  --prop "Eq=a=b" -o "$work/custom.orl"
expect_rc 0 "mkdoc custom"
flat=$("$sorbel" dump "$work/custom.orl" | tr -d '\n' | sed 's/  */ /g')
expect_in "$flat" '"title": "A title"' "mkdoc title"
for pair in PageMarginL:0 PageMarginR:10 PageMarginT:20 PageMarginB:30 PageHeight:8391 PageWidth:11906; do
  expect_in "$flat" "\"key\": \"DocProperty_${pair%%:*}\", \"hex\": \"$(printf '%s' "${pair#*:}" | od -An -tx1 | tr -d ' \n')\", \"text\": \"${pair#*:}\"" "mkdoc $pair"
done
expect_in "$flat" '"text": "11906" }, { "key": "Author", "hex": "4d65", "text": "Me" }, { "key": "Empty", "hex": "", "text": "" }, { "key": "Eq", "hex": "613d62", "text": "a=b" }' "mkdoc --prop order"

run mkdoc --rtf "$root/samples/src/plain-text.txt" -o "$work/plain.orl"
expect_rc 1 "mkdoc non-RTF"
expect_in "$err" "$root/samples/src/plain-text.txt: the file does not start with {\\rtf" "mkdoc non-RTF"
[ ! -e "$work/plain.orl" ] || fail "mkdoc non-RTF wrote a file"
run mkdoc --rtf "$root/samples/src/short.rtf" --title $'Tab\there' -o "$work/tab.orl"
expect_rc 1 "mkdoc control character in title"
expect_in "$err" "ckxDataPak_errPackageCorrupt (-140)" "mkdoc control character in title"
run mkdoc --rtf "$root/samples/src/short.rtf" -o "$work/no-such-dir/x.orl"
expect_rc 1 "mkdoc into a missing directory"
expect_in "$err" "$work/no-such-dir/x.orl" "mkdoc into a missing directory"

# --- pack refusals -------------------------------------------------------------
printf '{"title": "T", "records": [' >"$work/bad.json"
run pack "$work/bad.json" -o "$work/bad.pak"; expect_rc 1 "pack invalid JSON"
expect_in "$err" "$work/bad.json: not valid JSON" "pack invalid JSON"
printf '{"title": "Bell\\u0007"}' >"$work/bell.json"
run pack "$work/bell.json" -o "$work/bell.pak"; expect_rc 1 "pack unloadable title"
expect_in "$err" "ckxDataPak_errPackageCorrupt (-140)" "pack unloadable title"
[ ! -e "$work/bell.pak" ] || fail "pack wrote a package it refused"
run pack --force "$work/bell.json" -o "$work/bell.pak"; expect_rc 0 "pack --force"
run check "$work/bell.pak"; expect_in "$out" "ckxDataPak_errPackageCorrupt (-140)" "check forced package"
printf '{"records": [{"key": "k", "hex": "4f4b", "text": "NO"}]}' >"$work/disagree.json"
run pack "$work/disagree.json" -o "$work/disagree.pak"; expect_rc 1 "pack hex/text disagree"
expect_in "$err" "$work/disagree.json: record 0" "pack hex/text disagree"

# --- Unicode file names --------------------------------------------------------
cp "$samples/short.orl" "$work/résumé Ω.orl"
run check "$work/résumé Ω.orl"; expect_rc 0 "check Unicode name"
run mkdoc --rtf "$root/samples/src/short.rtf" -o "$work/ünïcode.orl"; expect_rc 0 "mkdoc Unicode name"
[ -f "$work/ünïcode.orl" ] || fail "mkdoc Unicode name: file not there"

# --- usage errors exit 2, --help exits 0 ---------------------------------------
while IFS= read -r args; do
  eval "run $args"
  expect_rc 2 "usage: $args"
  [ -n "$err" ] || fail "usage: $args printed no message"
done <<'LIST'

frobnicate
dump
dump a b
pack x.json
check --bogus x
mkdoc -o x.orl
mkdoc --rtf x.rtf -o x.orl --page-width abc
mkdoc --rtf x.rtf -o x.orl --margin-left -5
mkdoc --rtf x.rtf -o x.orl --page-height 99999999999
mkdoc --rtf x.rtf -o x.orl --prop novalue
mkdoc --rtf x.rtf -o x.orl --prop DocProperty_PageWidth=5
mkdoc --rtf x.rtf -o x.orl --prop A=1 --prop A=2
mkdoc --rtf x.rtf -o x.orl --page-width 2000
LIST
for sub in "" dump pack check mkdoc; do
  run $sub --help; expect_rc 0 "$sub --help"; expect_in "$out" "Usage: sorbel" "$sub --help"
done

# --- the committed samples are what make-samples.sh produces -------------------
SORBEL=$sorbel bash "$root/scripts/make-samples.sh" "$work/samples" >/dev/null 2>"$work/err" ||
  fail "make-samples.sh: $(cat "$work/err")"
for f in "$work"/samples/*; do
  cmp -s "$f" "$samples/$(basename "$f")" || fail "samples/$(basename "$f") is not what make-samples.sh writes"
done

if [ $failures -gt 0 ]; then echo "sorbel_cli_test: $failures failures"; exit 1; fi
echo "sorbel_cli_test: all passed"
