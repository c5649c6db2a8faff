#!/usr/bin/env bash
# Starts the services the tests need and that a bare container does not run on its own:
# the CUPS scheduler with a "PDF" queue (cups-pdf) as the default printer, so that the
# viewer's Print command can be tested end to end (print jobs become PDF files).
# Idempotent and quick when everything is already in place. Needs root (or sudo).
# Prints where cups-pdf puts the jobs of the calling user: scripts/start-services.sh --pdf-dir
set -euo pipefail

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# cups-pdf writes a user's jobs to the "Out" directory of its configuration, with ${HOME}
# standing for that user's home directory (root's jobs land in /root/PDF).
pdf_dir() {
  local out
  out=$(sed -n 's/^[[:space:]]*Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf 2>/dev/null | tail -n 1)
  [ -n "$out" ] || out='${HOME}/PDF'
  local home
  home=$(getent passwd "$(id -un)" | cut -d: -f6)
  echo "${out//\$\{HOME\}/$home}"
}
if [ "${1:-}" = --pdf-dir ]; then pdf_dir; exit 0; fi

if ! command -v cupsd >/dev/null || [ ! -x /usr/lib/cups/backend/cups-pdf ]; then
  echo "start-services: cups or cups-pdf is not installed (scripts/install-deps.sh installs them)" >&2
  exit 1
fi

scheduler_up() { lpstat -r 2>/dev/null | grep -q 'is running'; }

if ! scheduler_up; then
  # A stale pid file from a container restart would keep cupsd from starting.
  pgrep -x cupsd >/dev/null || "${sudo_cmd[@]}" rm -f /run/cups/cupsd.pid
  pgrep -x cupsd >/dev/null || "${sudo_cmd[@]}" cupsd
  for _ in $(seq 1 50); do scheduler_up && break; sleep 0.1; done
  scheduler_up || { echo "start-services: cupsd did not start" >&2; exit 1; }
fi

# The queue's PPD, less its claim that the printer rasterizes TrueType (Type 42) fonts. With
# that claim, Wine's PostScript driver sends every face a page uses whole, on every page (a
# 134-page manual made 35 s of PostScript); without it, only the glyphs a page uses, as Type 1
# outlines (1.6 s), and the PDF looks the same.
if ! lpstat -v PDF >/dev/null 2>&1 || grep -q '^\*TTRasterizer:.*Type42' /etc/cups/ppd/PDF.ppd 2>/dev/null; then
  ppd=$(mktemp)
  trap 'rm -f "$ppd"' EXIT
  sed 's/^\*TTRasterizer:.*/*TTRasterizer: None/' /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd >"$ppd"
  chmod 644 "$ppd"
  # lpadmin warns on every run that PPD drivers are deprecated: keep only real errors.
  "${sudo_cmd[@]}" lpadmin -p PDF -E -v cups-pdf:/ -P "$ppd" 2>&1 |
    { grep -v 'deprecated' >&2 || true; }
  lpstat -v PDF >/dev/null 2>&1 || { echo "start-services: could not add the PDF queue" >&2; exit 1; }
fi
if [ "$(lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p')" != PDF ]; then
  "${sudo_cmd[@]}" lpadmin -d PDF
fi
# A queue stopped by an earlier failed job would hold every later job.
if lpstat -p PDF 2>/dev/null | grep -q disabled; then
  "${sudo_cmd[@]}" cupsenable PDF
fi
mkdir -p "$(pdf_dir)"
