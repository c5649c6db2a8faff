#!/usr/bin/env bash
# Runs the Windows sorbel.exe under Wine on the samples: dump, check of a good
# and a broken document, and a file name outside the ANSI code page.
# Usage: sorbel_wine_test.sh SORBEL_EXE SAMPLES_DIR PREFIX_DIR WINE_COMMAND...
# Exits 77 (skipped) when the Wine runner cannot run this architecture.
set -uo pipefail
exe=$1 samples=$2 prefix=$3
shift 3
wine=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: sorbel.exe under Wine; stdout in $out, stderr in $err, status in $rc.
run() {
  "${wine[@]}" "$prefix" "$exe" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(tr -d '\r' <"$work/out") err=$(tr -d '\r' <"$work/err")
  if [ $rc -eq 77 ]; then echo "skipped: $err"; exit 77; fi
}
# winpath: a Linux path as Wine sees it.
source "$(dirname "$0")/../../scripts/lib/wine-env.sh"

run dump "$(winpath "$samples/short.orl")"
[ $rc -eq 0 ] || fail "dump short.orl: status $rc: $err"
flat=$(printf '%s' "$out" | tr -d ' \n')
case $flat in *'"document":{"version":1,"package_offset":20,'*'"title":"Meetingnote"'*'{"key":"DocProperty_PageWidth","hex":"3132323430","text":"12240"}'*) ;;
  *) fail "dump short.orl printed: $out" ;; esac

run check "$(winpath "$samples/long.orl")"
[ $rc -eq 0 ] || fail "check long.orl: status $rc: $out $err"
case $out in *"OK: document version 1"*) ;; *) fail "check long.orl printed: $out" ;; esac

run check "$(winpath "$samples/broken-package-title.orl")"
[ $rc -eq 1 ] || fail "check broken-package-title.orl: status $rc"
case $out in *"ckxDataPak_errPackageCorrupt (-140); the viewer reports -80"*) ;;
  *) fail "check broken-package-title.orl printed: $out" ;; esac

# A name with characters outside every ANSI code page, written and read back.
run mkdoc --rtf "$(winpath "$samples/src/short.rtf")" --title "Wide name" -o "$(winpath "$work/Ωmega-文書.orl")"
[ $rc -eq 0 ] || fail "mkdoc to a Unicode name: status $rc: $err"
[ -f "$work/Ωmega-文書.orl" ] || fail "mkdoc to a Unicode name: no file $(ls "$work")"
run check "$(winpath "$work/Ωmega-文書.orl")"
[ $rc -eq 0 ] || fail "check of a Unicode name: status $rc: $out $err"
# Written again: the new document replaces the old one, and nothing else is left.
run mkdoc --rtf "$(winpath "$samples/src/short.rtf")" --title "Second" -o "$(winpath "$work/Ωmega-文書.orl")"
[ $rc -eq 0 ] || fail "mkdoc over an existing document: status $rc: $err"
run dump "$(winpath "$work/Ωmega-文書.orl")"
case $out in *'"title": "Second"'*) ;; *) fail "mkdoc over an existing document: $out" ;; esac
leftover=$(ls -A "$work" | grep -vx -e err -e out -e 'Ωmega-文書.orl')
[ -z "$leftover" ] || fail "left beside the document: $leftover"

run dump
[ $rc -eq 2 ] || fail "dump without a file: status $rc, expected 2"

if [ $failures -gt 0 ]; then echo "sorbel_wine_test: $failures failures"; exit 1; fi
echo "sorbel_wine_test: all passed"
