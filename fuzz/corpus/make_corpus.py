#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

The files are committed; run this again only to change them. Packages are
written here independently of the library so that the seeds do not depend on
the code under test.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIGNATURE = b"\x89ORL\r\n\x1a\n"


def be32(value):
    return struct.pack(">i", value)


def package(category=b"", title=b"", records=(), extra=b"", count=None):
    body = bytearray()
    for key, data in records:
        body += bytes([len(key)]) + be32(len(data)) + key + data
    rest = category + title + bytes(body) + extra
    size = 14 + len(rest)
    n = len(records) if count is None else count
    return be32(1000) + be32(size) + bytes([len(category), len(title)]) + be32(n) + rest


def document(pak, rtf):
    return SIGNATURE + be32(1) + be32(20) + be32(len(pak)) + pak + rtf


PAGE = [
    (b"DocProperty_PageMarginL", b"1440"),
    (b"DocProperty_PageMarginR", b"1440"),
    (b"DocProperty_PageMarginT", b"1080"),
    (b"DocProperty_PageMarginB", b"1080"),
    (b"DocProperty_PageHeight", b"15840"),
    (b"DocProperty_PageWidth", b"12240"),
]

SEEDS = {
    "fuzz_package": {
        "empty.pak": package(),
        "worked_example.pak": package(title=b"T", records=[(b"k", b"\x01\x02")]),
        "three_records.pak": package(
            category=b"Letters", title=b"To the board",
            records=[(b"Name", b"Ada"), (b"", b""), (b"bin", bytes([0, 255, 127, 128, 10, 13]))]),
        "duplicate_keys.pak": package(records=[(b"k", b"first"), (b"k", b"second"), (b"K", b"")]),
        "trailing_bytes.pak": package(title=b"T", records=[(b"k", b"\x01\x02")], extra=b"\xff\x00"),
        "page_settings.pak": package(category=b"Document", title=b"Sample", records=PAGE),
    },
    "fuzz_docfile": {
        "empty_package.orl": document(package(), b"{\\rtf1 Hello}"),
        "page_settings.orl": document(
            package(category=b"Document", title=b"Sample", records=PAGE),
            b"{\\rtf1\\ansi{\\fonttbl\\f0 Arial;}\\f0 A short letter.\\par}"),
        "no_text.orl": document(package(title=b"T", records=[(b"k", b"\x01\x02")]), b""),
    },
}

for target, files in SEEDS.items():
    directory = os.path.join(HERE, target)
    os.makedirs(directory, exist_ok=True)
    for name, content in files.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(content)
