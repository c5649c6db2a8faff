#!/usr/bin/env python3
"""Fidelity of the viewer on real RTF documents, measured against LibreOffice.

For each RTF document of the corpus: make an .orl with `sorbel mkdoc` (page size and margins
from the RTF), open it in Navreth.exe under Wine on a private Xvfb display, read the view's
text (WM_GETTEXT), print every page to the cups-pdf queue "PDF", and compare with LibreOffice's
PDF of the same RTF: page counts, the share of the reference's words found in order
(longest common subsequence) in the printed text and in the view's text, and of the printed
words the share set in the same kind of type (serif, sans, mono, bold, italic) as the reference's.

    tools/fidelity/fidelity.py --build build/win64 [--quick N] [--only NAME ...]

Writes OUT/report.md (Markdown table and totals), OUT/results.json and, per document, the
.orl, the driver's result and log, the view's text and the printed PDF (OUT defaults to
BUILD/fidelity). See tools/fidelity/README.md.
"""

import argparse
import difflib
import json
import os
import random
import re
import shutil
import signal
import string
import subprocess
import sys
import time
import unicodedata
import xml.etree.ElementTree as ET
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# RTF's own defaults (US Letter, 1.25" left and right, 1" top and bottom), in twips.
RTF_DEFAULTS = {"paperw": 12240, "paperh": 15840, "margl": 1800, "margr": 1800, "margt": 1440, "margb": 1440}
# The first section's own page size and margins, which word processors lay its pages out with.
SECTION_KEYWORDS = {"paperw": "pgwsxn", "paperh": "pghsxn", "margl": "marglsxn", "margr": "margrsxn",
                    "margt": "margtsxn", "margb": "margbsxn"}


def log(message):
    print(message, file=sys.stderr, flush=True)


# ---- Page settings and words ------------------------------------------------------------------

def page_settings(rtf: bytes):
    """Page size and margins in twips: those of the first section (\\pgwsxn ...), else the
    document's (\\paperw ... \\margb), else RTF's defaults; a negative margin as its size.
    A section's values stand for the document's on its pages: LibreOffice, for one, writes the
    document's top margin without the header and the section's with it. Returns (settings,
    where each came from)."""
    # The first section's properties follow its \\sectd (LibreOffice's table of page styles
    # before it repeats the keywords) and end at its \\sect.
    start = re.search(rb"\\sectd(?![a-z])", rtf)
    start = start.start() if start else 0
    end = re.compile(rb"\\sect(?![a-z])").search(rtf, start)
    first_section = rtf[start: end.start() if end else len(rtf)]
    settings, source = {}, {}
    for key, default in RTF_DEFAULTS.items():
        found = re.search(rb"\\" + SECTION_KEYWORDS[key].encode() + rb"(-?\d+)", first_section)
        origin = "section"
        if not found:
            found = re.search(rb"\\" + key.encode() + rb"(-?\d+)", rtf)
            origin = "document"
        if found:
            # A negative top or bottom margin is the same margin, kept exactly (headers and
            # footers do not push the text).
            settings[key], source[key] = abs(int(found.group(1))), origin
        else:
            settings[key], source[key] = default, "default"
    return settings, source


# A word: a run of letters and digits, or a single ideograph or kana (CJK text has no spaces,
# and the two sides break its lines in different places).
_CJK = "\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\uac00-\ud7af"
_WORD = re.compile(r"[" + _CJK + r"]|[^\W_" + _CJK + r"]+")


def words(text: str):
    text = unicodedata.normalize("NFKC", text).replace("\u00ad", "").casefold()
    return _WORD.findall(text)


def lcs_length(a, b):
    """Length of the longest common subsequence of two word lists, bit-parallel over `a`
    (one bit per word of `a`), so that documents of tens of thousands of words take seconds."""
    if not a or not b:
        return 0
    masks = {}
    for i, word in enumerate(a):
        masks[word] = masks.get(word, 0) | (1 << i)
    full = (1 << len(a)) - 1
    v = full
    for word in b:
        m = masks.get(word)
        if m is None:
            continue
        u = v & m
        v = ((v + u) | (v - u)) & full
    return len(a) - v.bit_count()


def share_in_order(reference, other):
    """Share of the reference's words found, in order, in `other` (1.0 for an empty reference)."""
    if not reference:
        return 1.0
    return lcs_length(reference, other) / len(reference)


_MONO = re.compile(r"mono|courier|consol|typewriter")
_SANS = re.compile(r"sans|arial|helvet|verdana|tahoma|calibri|carlito|gothic|trebuchet|futura|optima|segoe|grande")


def kind_of_type(family: str):
    """The kind of type a PDF font name stands for: ("mono" | "sans" | "serif", bold, italic).
    Good enough to tell Times from Arial from Courier and their styles; not a font matcher."""
    name = family.split("+", 1)[-1].casefold()
    kind = "mono" if _MONO.search(name) else "sans" if _SANS.search(name) else "serif"
    return kind, "bold" in name or "black" in name or "heavy" in name, "italic" in name or "oblique" in name


def style_share(reference, other):
    """Of the reference's words found in `other` (both lists of (word, kind of type)), paired in
    order, the share set in the same kind of type (None when no word pairs), and the most
    frequent differences as "reference's kind -> other's kind xN: first words"."""
    matcher = difflib.SequenceMatcher(None, [w for w, _ in reference], [w for w, _ in other], autojunk=False)
    paired = same = 0
    differences = {}
    for block in matcher.get_matching_blocks():
        for k in range(block.size):
            (word, theirs), (_, ours) = reference[block.a + k], other[block.b + k]
            paired += 1
            if theirs == ours:
                same += 1
            else:
                differences.setdefault((theirs, ours), []).append(word)
    top = sorted(differences.items(), key=lambda item: -len(item[1]))[:3]
    described = [f"{_describe(a)} -> {_describe(b)} x{len(w)}: {' '.join(w[:6])}" for (a, b), w in top]
    return (same / paired if paired else None), described


def _describe(kind):
    name, bold, italic = kind
    return name + " bold" * bold + " italic" * italic


def pages_close(ref, got):
    """Within one page or 5% of the reference's count."""
    return ref is not None and got is not None and abs(ref - got) <= max(1, 0.05 * ref)


# ---- Outside programs -------------------------------------------------------------------------

def pdf_pages(path):
    out = subprocess.run(["pdfinfo", str(path)], capture_output=True, text=True).stdout
    found = re.search(r"^Pages:\s*(\d+)", out, re.M)
    return int(found.group(1)) if found else None


def pdf_text(path):
    return subprocess.run(["pdftotext", "-enc", "UTF-8", str(path), "-"], capture_output=True).stdout.decode(
        "utf-8", "replace")


def pdf_styled_words(path):
    """The PDF's words with the kind of type each is set in (kind_of_type), read with pdftohtml."""
    xml = subprocess.run(["pdftohtml", "-xml", "-i", "-stdout", "-q", str(path)], capture_output=True).stdout
    try:
        root = ET.fromstring(re.sub(rb"<!DOCTYPE[^>]*>", b"", xml))
    except ET.ParseError:
        return []
    fonts, styled = {}, []
    for page in root.iter("page"):
        for spec in page.iter("fontspec"):
            fonts[spec.get("id")] = spec.get("family", "")
        for text in page.iter("text"):
            kind, bold, italic = kind_of_type(fonts.get(text.get("font"), ""))
            bold = bold or text.find(".//b") is not None
            italic = italic or text.find(".//i") is not None
            styled += [(w, (kind, bold, italic)) for w in words("".join(text.itertext()))]
    return styled


def make_references(docs, refdir: Path, profile: Path, timeout):
    """LibreOffice's PDF of each RTF, made again only when missing or older than the RTF.

    `timeout` is the time allowed for one document."""
    refdir.mkdir(parents=True, exist_ok=True)

    def fresh(d):
        ref = refdir / (d.stem + ".pdf")
        return ref.exists() and ref.stat().st_mtime >= d.stat().st_mtime

    todo = [d for d in docs if not fresh(d)]
    if not todo:
        return
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        sys.exit("fidelity: soffice not found (apt-get install libreoffice-writer-nogui)")
    log(f"fidelity: LibreOffice makes {len(todo)} reference PDF(s)")

    def convert(batch):
        # A profile of our own: another soffice running on the machine does not take our request.
        try:
            subprocess.run([soffice, f"-env:UserInstallation=file://{profile}", "--headless", "--convert-to",
                            "pdf", "--outdir", str(refdir)] + [str(d) for d in batch],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout * len(batch) + 60)
        except subprocess.TimeoutExpired:
            pass

    # One soffice run stops at the first document that crashes it, so documents go in batches,
    # and what a batch left out is tried once more on its own: a bad file costs only its own
    # reference.
    batch_size = 25
    for start in range(0, len(todo), batch_size):
        batch = todo[start:start + batch_size]
        convert(batch)
        for d in batch:
            if not fresh(d):
                convert([d])
    left = [d for d in todo if not fresh(d)]
    if left:
        log(f"fidelity: LibreOffice made no reference for {len(left)} document(s), e.g. {left[0].name}")


class Build:
    """Where the programs of one Windows build tree are."""

    def __init__(self, build: Path, dist: Path | None):
        self.build = build
        cache = (build / "CMakeCache.txt").read_text(errors="replace") if (build / "CMakeCache.txt").exists() else ""
        compiler = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", cache, re.M)
        self.arch = "win32" if compiler and "i686" in compiler.group(1) else "win64"
        source = re.search(r"^CMAKE_HOME_DIRECTORY:\w+=(.*)$", cache, re.M)
        source_dir = Path(source.group(1)) if source else ROOT
        candidates = [dist] if dist else [source_dir / "build" / "dist" / self.arch, build.parent / "dist" / self.arch]
        self.dist = next((c for c in candidates if c and (c / "Navreth.exe").exists()), None)
        if not self.dist:
            sys.exit(f"fidelity: no Navreth.exe in {', '.join(str(c) for c in candidates)} (build {build} first)")
        self.driver = build / "tests" / "viewer" / "navreth_ui_test.exe"
        if not self.driver.exists():
            sys.exit(f"fidelity: {self.driver} is missing (build the navreth_ui_test target)")
        for name in ("Sorbel.dll", "DocFile.dll"):
            if not (self.dist / name).exists():
                sys.exit(f"fidelity: {self.dist / name} is missing")
        self.loader = "/usr/lib/wine/wine64" if self.arch == "win64" else "wine"


class Wine:
    """A Wine prefix of our own with the COM servers registered, its wineserver kept running."""

    def __init__(self, build: Build, prefix: Path, display: str):
        self.build, self.prefix = build, prefix
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        WINEARCH=build.arch, DISPLAY=display)

    @staticmethod
    def winpath(path: Path):
        return "Z:" + str(path.resolve()).replace("/", "\\")

    def run(self, *args, timeout=120, **kwargs):
        return subprocess.run([self.build.loader, *args], env=self.env, timeout=timeout, **kwargs)

    def setup(self):
        self.prefix.mkdir(parents=True, exist_ok=True)
        if not (self.prefix / "system.reg").exists():
            log(f"fidelity: making the Wine prefix {self.prefix}")
            self.run("wineboot", "-i", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
        subprocess.run(["wineserver", "-p"], env=self.env)
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # No window manager under Xvfb: unmanaged windows close without waiting for one.
        self.run("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f", **quiet)
        # A crash ends the process instead of waiting behind Wine's crash dialog.
        self.run("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                 "/d", "0", "/f", **quiet)
        for dll in ("Sorbel.dll", "DocFile.dll"):
            if self.run("regsvr32", "/s", self.winpath(self.build.dist / dll), **quiet).returncode != 0:
                sys.exit(f"fidelity: regsvr32 {dll} failed")

    def kill_all(self):
        """Ends every process of this prefix (ours alone) and starts its wineserver again."""
        subprocess.run(["wineserver", "-k"], env=self.env)
        time.sleep(1)
        subprocess.run(["wineserver", "-p"], env=self.env)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env)


def start_xvfb():
    read, write = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    deadline = time.time() + 15
    while time.time() < deadline and not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            break
        number += chunk
    os.close(read)
    if not number.strip():
        proc.kill()
        sys.exit("fidelity: Xvfb did not start")
    return proc, ":" + number.decode().strip()


# ---- One document -------------------------------------------------------------------------------

def make_orl(sorbel, wine, rtf: Path, orl: Path, settings):
    args = ["mkdoc", "--rtf", str(rtf), "-o", str(orl),
            "--page-width", str(settings["paperw"]), "--page-height", str(settings["paperh"]),
            "--margin-left", str(settings["margl"]), "--margin-right", str(settings["margr"]),
            "--margin-top", str(settings["margt"]), "--margin-bottom", str(settings["margb"])]
    if sorbel.suffix == ".exe":
        args = [wine.winpath(Path(a)) if a in (str(rtf), str(orl)) else a for a in args]
        done = wine.run(str(sorbel), *args, capture_output=True, text=True)
    else:
        done = subprocess.run([str(sorbel), *args], capture_output=True, text=True)
    return done.returncode == 0 and orl.exists(), (done.stdout + done.stderr).strip()


def wait_for_pdf(pdf_dir: Path, token: str, timeout):
    """The PDF that cups-pdf wrote for our job: its name carries the document's unique token."""
    deadline = time.time() + timeout
    token = token.lower()
    while time.time() < deadline:
        found = [p for p in pdf_dir.glob("*.pdf") if token in p.name.lower()]
        if found:
            path = found[0]
            size = -1
            while time.time() < deadline and path.exists() and path.stat().st_size != size:
                size = path.stat().st_size
                time.sleep(1)
            return path if path.exists() else None
        time.sleep(1)
    return None


def read_result(path: Path):
    result = {}
    if path.exists():
        for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
            key, _, value = line.partition("=")
            result[key] = value
    return result


def measure(doc: Path, index, args, build, wine, sorbel, out: Path, pdf_dir: Path, run_id):
    row = {"document": doc.name}
    rtf = doc.read_bytes()
    settings, source = page_settings(rtf)
    row["page_settings"] = settings
    row["page_settings_from"] = source
    token = f"F{run_id}D{index:03d}"
    docs_dir = out / "docs"
    orl = docs_dir / f"{token}-{doc.stem}.orl"
    ok, message = make_orl(sorbel, wine, doc, orl, settings)
    if not ok:
        row.update(opened="no", message=f"mkdoc failed: {message}")
        return row

    result_file = out / "results" / f"{doc.stem}.txt"
    result_file.unlink(missing_ok=True)
    driver_log = out / "results" / f"{doc.stem}.log"
    command = [build.loader, str(build.driver), "--viewer", wine.winpath(build.dist / "Navreth.exe"),
               "--samples", wine.winpath(docs_dir), "--fidelity", orl.name, "--out", wine.winpath(result_file),
               "--timeout", str(args.timeout)]
    # The driver writes a result whatever the viewer does; one that ends within seconds with
    # neither a result nor a word of output did not start (seen once in a few hundred runs
    # under Wine) and is run once more on a fresh wineserver. The row says so.
    for attempt in (1, 2):
        started = time.time()
        with open(driver_log, "wb") as logfile:
            proc = subprocess.Popen(command, env=wine.env, stdout=logfile, stderr=subprocess.STDOUT,
                                    start_new_session=True)
            try:
                proc.wait(timeout=2 * args.timeout + 90)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
                wine.kill_all()
                row.update(opened="hang", message="the driver did not finish in time")
                return row
        row["seconds"] = round(time.time() - started, 1)
        result = read_result(result_file)
        if result:
            break
        silent = driver_log.stat().st_size == 0 and row["seconds"] < 15
        wine.kill_all()
        if attempt == 1 and silent:
            row["driver_retried"] = f"the first run ended at once without a result (exit {proc.returncode})"
            continue
        row.update(opened="no", message=f"the driver wrote no result (exit {proc.returncode})")
        return row
    row["opened"] = result.get("opened", "?")
    for key in ("message", "open_ms", "print_ms", "view_pages", "printed", "print_message", "printer"):
        if key in result:
            row[key] = result[key]

    ref_pdf = out / "refs" / f"{doc.stem}.pdf"
    ref_words = words(pdf_text(ref_pdf)) if ref_pdf.exists() else []
    row["pages_ref"] = pdf_pages(ref_pdf) if ref_pdf.exists() else None
    row["words_ref"] = len(ref_words)
    if row["opened"] != "yes":
        return row
    view_text = Path(str(result_file) + ".view.txt")
    view_words = words(view_text.read_text(encoding="utf-8", errors="replace")) if view_text.exists() else []
    row["words_view"] = round(100 * share_in_order(ref_words, view_words), 1)
    if result.get("printed") == "yes":
        pdf = wait_for_pdf(pdf_dir, token, args.pdf_timeout)
        if pdf:
            kept = out / "printed" / f"{doc.stem}.pdf"
            shutil.move(str(pdf), kept)
            row["pages_print"] = pdf_pages(kept)
            row["words_print"] = round(100 * share_in_order(ref_words, words(pdf_text(kept))), 1)
            if ref_pdf.exists():
                share, differences = style_share(pdf_styled_words(ref_pdf), pdf_styled_words(kept))
                row["style_print"] = None if share is None else round(100 * share, 1)
                row["style_differences"] = differences
        else:
            row["printed"] = f"no PDF named {token}* within {args.pdf_timeout} s"
    return row


# ---- Report --------------------------------------------------------------------------------------

def fmt(value, suffix=""):
    return "-" if value is None else f"{value}{suffix}"


def report(rows, command):
    lines = [f"Command: `{command}`", "",
             "| document | opened | pages ref/print | % words print | % words view | % type print | notes |",
             "|---|---|---|---|---|---|---|"]
    for r in rows:
        notes = []
        if r.get("message"):
            notes.append(r["message"])
        if r.get("driver_retried"):
            notes.append("run twice: " + r["driver_retried"])
        if r.get("words_ref") == 0:
            notes.append("the reference has no words")
        if r.get("opened") == "yes" and r.get("printed") != "yes":
            notes.append(f"printed: {r.get('printed', '?')}")
        if r.get("print_message"):
            notes.append(r["print_message"])
        if r.get("view_pages") and r.get("pages_print") is not None and str(r["pages_print"]) != r["view_pages"]:
            notes.append(f"view says {r['view_pages']} pages")
        if r.get("open_ms"):
            notes.append(f"open {int(r['open_ms']) / 1000:.1f} s")
        if r.get("print_ms"):
            notes.append(f"print {int(r['print_ms']) / 1000:.1f} s")
        pages = f"{fmt(r.get('pages_ref'))}/{fmt(r.get('pages_print'))}"
        lines.append(f"| {r['document']} | {r.get('opened', '?')} | {pages} | {fmt(r.get('words_print'))} | "
                     f"{fmt(r.get('words_view'))} | {fmt(r.get('style_print'))} | {'; '.join(notes).replace('|', '/')} |")
    n = len(rows)
    opened = sum(r.get("opened") == "yes" for r in rows)
    crashed = sum(r.get("opened", "").startswith("crash") or r.get("printed", "").startswith("crash") for r in rows)
    hung = sum(r.get("opened") in ("hang", "timeout") or r.get("printed") in ("hang", "timeout") for r in rows)
    pages_ok = sum(pages_close(r.get("pages_ref"), r.get("pages_print")) for r in rows)
    pages_equal = sum(r.get("pages_ref") is not None and r.get("pages_ref") == r.get("pages_print") for r in rows)

    def average(key):
        # A document that did not open or print counts as 0% of its words.
        return sum(r.get(key) or 0 for r in rows) / n if n else 0

    def weighted(key):
        total = sum(r.get("words_ref", 0) for r in rows)
        return 100 * sum((r.get(key) or 0) / 100 * r.get("words_ref", 0) for r in rows) / total if total else 0

    at99 = lambda key: sum((r.get(key) or 0) >= 99 for r in rows)  # noqa: E731
    lines += ["", f"Totals over {n} documents:", "",
              f"- opened: {opened}/{n}; crashed: {crashed}; hung or timed out: {hung}",
              f"- page count equal to the reference: {pages_equal}/{n}; within 1 page or 5%: {pages_ok}/{n}",
              f"- words in print: mean {average('words_print'):.1f}%, over all words {weighted('words_print'):.1f}%, "
              f"documents at 99% or more: {at99('words_print')}/{n}",
              f"- words in the view: mean {average('words_view'):.1f}%, over all words "
              f"{weighted('words_view'):.1f}%, documents at 99% or more: {at99('words_view')}/{n}",
              f"- words in the reference's kind of type, in print: documents at 95% or more: "
              f"{sum((r.get('style_print') or 0) >= 95 for r in rows)}/"
              f"{sum(r.get('style_print') is not None for r in rows)} of those with words to compare"]
    return "\n".join(lines) + "\n"


# ---- Main ----------------------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build/win64", help="Windows build tree (default build/win64)")
    parser.add_argument("--dist", help="folder of Navreth.exe, Sorbel.dll, DocFile.dll (default: the tree's dist)")
    parser.add_argument("--corpus", default=str(ROOT / "tests" / "corpus"), help="folder of the RTF documents")
    parser.add_argument("--out", help="output folder (default BUILD/fidelity)")
    parser.add_argument("--quick", type=int, metavar="N", help="only the N smallest documents (a smoke run)")
    parser.add_argument("--only", nargs="+", metavar="NAME", help="only these documents (file names or stems)")
    parser.add_argument("--timeout", type=int, default=180,
                        help="seconds allowed for the open and again for the print of one document (default 180)")
    parser.add_argument("--pdf-timeout", type=int, default=120, help="seconds to wait for the printed PDF")
    parser.add_argument("--sorbel", help="sorbel tool (default build/dist/linux/sorbel, else the tree's sorbel.exe)")
    args = parser.parse_args()

    build = Build(Path(args.build).resolve(), Path(args.dist).resolve() if args.dist else None)
    out = Path(args.out).resolve() if args.out else build.build / "fidelity"
    corpus = Path(args.corpus).resolve()
    docs = sorted(corpus.glob("*.rtf"))
    if args.only:
        wanted = set(args.only)
        docs = [d for d in docs if d.name in wanted or d.stem in wanted]
    if args.quick:
        docs = sorted(sorted(docs, key=lambda d: d.stat().st_size)[: args.quick])
    if not docs:
        sys.exit(f"fidelity: no documents in {corpus}")
    native = ROOT / "build" / "dist" / "linux" / "sorbel"
    sorbel = Path(args.sorbel) if args.sorbel else native if native.exists() else build.dist / "sorbel.exe"

    for sub in ("docs", "results", "printed", "refs"):
        (out / sub).mkdir(parents=True, exist_ok=True)
    for old in (out / "docs").glob("*.orl"):
        old.unlink()
    make_references(docs, out / "refs", out / "lo-profile", timeout=60)

    services = ROOT / "scripts" / "start-services.sh"
    if subprocess.run(["bash", str(services)]).returncode != 0:
        sys.exit("fidelity: could not start the print services")
    pdf_dir = Path(subprocess.run(["bash", str(services), "--pdf-dir"], capture_output=True,
                                  text=True).stdout.strip())
    xvfb, display = start_xvfb()
    wine = Wine(build, out / "wineprefix", display)
    run_id = "".join(random.choices(string.ascii_lowercase + string.digits, k=6))
    rows = []
    try:
        wine.setup()
        for index, doc in enumerate(docs, 1):
            log(f"fidelity: [{index}/{len(docs)}] {doc.name}")
            row = measure(doc, index, args, build, wine, sorbel, out, pdf_dir, run_id)
            log(f"fidelity:     opened {row.get('opened')}, pages {row.get('pages_ref')}/{row.get('pages_print')}, "
                f"words print {row.get('words_print')}%, view {row.get('words_view')}%"
                + (f" ({row['message']})" if row.get("message") else ""))
            rows.append(row)
    finally:
        wine.stop()
        xvfb.terminate()
        xvfb.wait()

    command = "tools/fidelity/fidelity.py " + " ".join(sys.argv[1:])
    text = report(rows, command)
    (out / "report.md").write_text(text)
    (out / "results.json").write_text(json.dumps(rows, indent=1, ensure_ascii=False))
    print(text)
    log(f"fidelity: report in {out / 'report.md'}")


if __name__ == "__main__":
    main()
