# Shell side of a UI session with the viewer, sourced by tests/viewer/run_ui_tests.sh and
# scripts/run.sh: the answers to the driver's requests (screenshots, checks of the PDFs the
# print queue writes). The driver prints "REQUEST <n> <what>" and waits for
# <sync>/<n>.reply; every other line it prints is passed through.
#
# Callers set: UI_SHOTS (folder for screenshots), UI_SYNC (reply folder), UI_PDF_DIR (where
# cups-pdf writes), and DISPLAY (scripts/lib/wine-env.sh's xvfb_start), then call
# ui_serve_requests on the driver's output.

ui_pdf_mark=

ui_screenshot() {  # name
  mkdir -p "$UI_SHOTS"
  import -window root -display "$DISPLAY" "$UI_SHOTS/$1.png" 2>/dev/null &&
    echo "ui-session: screenshot $UI_SHOTS/$1.png" >&2
}

ui_pdf_list() {
  ls -1 "$UI_PDF_DIR"/*.pdf 2>/dev/null | sort
}

# The sizes of the first `count` pages of a PDF as seen upright ("WxH" in whole points, turned
# pages given as they show), separated by spaces.
ui_pdf_page_sizes() {
  pdfinfo -f 1 -l "$2" "$1" 2>/dev/null | awk '
    /^Page +[0-9]+ size:/ { w = $4; h = $6 }
    /^Page +[0-9]+ rot:/ { if ($4 % 180) { t = w; w = h; h = t }
                           printf "%s%.0fx%.0f", sep, w, h; sep = " " }'
}

# The PDFs of print job $1 that came since the mark. cups-pdf names a job's file after its
# title, the document's file name, mostly without the extension ("long.orl" comes out as
# long-job_<n>.pdf) but not always (a5-landscape.orl_able-job_<n>.pdf). Other print jobs,
# which other programs on this machine may send at the same time, are left out.
ui_new_pdfs() {
  comm -13 <(echo "$ui_pdf_mark") <(ui_pdf_list) | grep -E "/$1(\.orl[^/]*)?-job_[0-9]+\.pdf\$"
}

# Waits for the one PDF of job $1 printed since the mark and prints its path; prints a
# "fail: ..." line and returns 1 when none came within 45 s or more than one did.
ui_wait_one_new_pdf() {
  local new= n
  for n in $(seq 1 90); do
    new=$(ui_new_pdfs "$1")
    [ -n "$new" ] && break
    sleep 0.5
  done
  [ -n "$new" ] || { echo "fail: no new PDF of job $1 in $UI_PDF_DIR after 45 s (queue: $(lpstat -o 2>&1 | head -3))"; return 1; }
  # A second job of the same document, sent by mistake, would be out within 3 s.
  local deadline=$((SECONDS + 3))
  while [ "$(echo "$new" | wc -l)" -eq 1 ] && [ $SECONDS -lt $deadline ]; do
    sleep 0.2
    new=$(ui_new_pdfs "$1")
  done
  [ "$(echo "$new" | wc -l)" -eq 1 ] || { echo "fail: more than one new PDF of job $1: $(echo $new)"; return 1; }
  echo "$new"
}

# Waits for the one PDF of job $1 printed since the mark and checks that it holds pages 2
# and 3 of the multi-page sample: two pages, the page-two marker on the first, the page-three marker on
# the second, and nothing of pages 1 and 4.
ui_check_pages_2_3() {  # job
  local new
  new=$(ui_wait_one_new_pdf "$1") || { echo "$new"; return; }
  local pages first second all
  pages=$(pdfinfo "$new" 2>/dev/null | sed -n 's/^Pages:[[:space:]]*//p')
  first=$(pdftotext -f 1 -l 1 "$new" - 2>/dev/null)
  second=$(pdftotext -f 2 -l 2 "$new" - 2>/dev/null)
  all=$(pdftotext "$new" - 2>/dev/null)
  echo "ui-session: printed $new: $pages pages" >&2
  if [ "$pages" != 2 ]; then echo "fail: $new has ${pages:-no} pages, expected 2"; return; fi
  # The document's paper, not the queue's (A4): US Letter, 612 x 792 pt, on every page.
  local sizes
  sizes=$(ui_pdf_page_sizes "$new" 2)
  if [ "$sizes" != "612x792 612x792" ]; then echo "fail: page sizes ${sizes:-unknown}, expected 612x792 (Letter)"; return; fi
  if ! grep -q PAGETWOMARK <<<"$first"; then echo "fail: PAGETWOMARK not on the first printed page"; return; fi
  if ! grep -q PAGETHREEMARK <<<"$second"; then echo "fail: PAGETHREEMARK not on the second printed page"; return; fi
  if grep -q 'Orlenne Harbour Survey' <<<"$all"; then echo "fail: page 1 text was printed"; return; fi
  if grep -q PAGEFOURMARK <<<"$all"; then echo "fail: page 4 text was printed"; return; fi
  echo ok
}

# Checks that no PDF of job $1 comes since the mark.
ui_check_no_new_pdf() {  # job
  # Watches for 8 s, long enough for a job that was sent to reach the queue and come out.
  local new= deadline=$((SECONDS + 8))
  while [ -z "$new" ] && [ $SECONDS -lt $deadline ]; do
    sleep 0.2
    new=$(ui_new_pdfs "$1")
  done
  if [ -n "$new" ]; then
    echo "fail: something was printed: $new"
  else
    echo ok
  fi
}

# Waits for the one PDF of job $2 printed since the mark and checks that it has one page of
# the size $1 ("WxH" in points, upright), give or take a point for rounding.
ui_check_one_page() {  # size job
  local new
  new=$(ui_wait_one_new_pdf "$2") || { echo "$new"; return; }
  local pages size
  pages=$(pdfinfo "$new" 2>/dev/null | sed -n 's/^Pages:[[:space:]]*//p')
  if [ "$pages" != 1 ]; then echo "fail: $new has ${pages:-no} pages, expected 1"; return; fi
  size=$(ui_pdf_page_sizes "$new" 1)
  echo "ui-session: printed $new: $size" >&2
  local w=${size%x*} h=${size#*x} ew=${1%x*} eh=${1#*x}
  if [ -z "$size" ] || [ $((w - ew)) -lt -1 ] || [ $((w - ew)) -gt 1 ] || [ $((h - eh)) -lt -1 ] || [ $((h - eh)) -gt 1 ]; then
    echo "fail: page size ${size:-unknown}, expected $1"; return
  fi
  echo ok
}

# Reads the driver's output on stdin, answers its requests, passes every line through.
ui_serve_requests() {
  local line id what answer
  while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
      "REQUEST "*)
        read -r _ id what <<<"$line"
        case $what in
          "screenshot "*) if ui_screenshot "${what#screenshot }"; then answer=ok; else answer="fail: import failed"; fi ;;
          pdf-mark) ui_pdf_mark=$(ui_pdf_list); answer=ok ;;
          "pdf-pages-2-3 "*) answer=$(ui_check_pages_2_3 "${what#pdf-pages-2-3 }") ;;
          "pdf-none "*) answer=$(ui_check_no_new_pdf "${what#pdf-none }") ;;
          "pdf-one-page "*) answer=$(ui_check_one_page ${what#pdf-one-page }) ;;
          "pdf-any "*) if new=$(ui_wait_one_new_pdf "${what#pdf-any }"); then answer=ok; else answer=$new; fi ;;
          *) answer="fail: unknown request '$what'" ;;
        esac
        echo "$line -> $answer"
        printf '%s\n' "$answer" >"$UI_SYNC/$id.reply.tmp" && mv "$UI_SYNC/$id.reply.tmp" "$UI_SYNC/$id.reply"
        ;;
      "wine: Read access denied for device"*) ;;  # Wine's noise when a dialog looks at Z:\
      *) printf '%s\n' "$line" ;;
    esac
  done
}
