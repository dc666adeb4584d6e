#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets from a sample HotSync base folder.

Usage: make_seeds.py SAMPLE_BASE OUT_DIR

OUT_DIR/header/   every database header file and a few record files as they are
OUT_DIR/record/   each drawing and library record in the layout of fuzz/FuzzEntries.h: its
                  shape stream, the default font's header and the glyphs its texts can use
OUT_DIR/pipeline/ the same behind an options byte (0, and 1 = substitute face for records
                  with texts)
"""
import hashlib
import os
import re
import sys

SEPARATOR = b"\n%%\n"
HEAD = 1096
MAX_SEED = 60000  # below the fuzzers' -max_len


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write_seed(folder, data):
    os.makedirs(folder, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def find_font(qndraw):
    fonts = os.path.join(qndraw, "DFNT")
    for name in sorted(os.listdir(fonts)):
        if name.lower() == "vu dedadiz":
            return os.path.join(fonts, name), os.path.join(fonts, name + ".dat")
    raise SystemExit("make_seeds.py: no default font in " + fonts)


def glyphs_by_code(font_folder):
    glyphs = {}
    for name in sorted(os.listdir(font_folder)):
        data = read(os.path.join(font_folder, name))
        code = data[0] if data else 0
        glyphs[code] = data[:1] + data[HEAD:]
    return glyphs


def record_input(stream, header, glyphs):
    # The characters of the record's strings: runs of printable bytes.
    codes = sorted({c for run in re.findall(rb"[\x20-\x7e]{3,}", stream) for c in run})
    data = stream + SEPARATOR + header
    for code in [0] + codes:
        if code in glyphs and len(data) + len(SEPARATOR) + len(glyphs[code]) <= MAX_SEED:
            data += SEPARATOR + glyphs[code]
    return data


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    base, out = sys.argv[1], sys.argv[2]
    qndraw = None
    for root, dirs, _ in os.walk(base):
        if os.path.basename(root) == "QNDraw":
            qndraw = root
            break
    if not qndraw:
        raise SystemExit("make_seeds.py: no QNDraw folder below " + base)
    font_folder, font_header = find_font(qndraw)
    header = read(font_header)
    glyphs = glyphs_by_code(font_folder)

    for kind in ("DDRW", "DLIB", "DFNT"):
        folder = os.path.join(qndraw, kind)
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and name.lower().endswith(".dat"):
                write_seed(os.path.join(out, "header"), read(path))
            if kind == "DFNT" or not os.path.isdir(path):
                continue
            for record in sorted(os.listdir(path)):
                data = read(os.path.join(path, record))
                if len(data) <= HEAD:
                    write_seed(os.path.join(out, "header"), data)
                    continue
                seed = record_input(data[HEAD:], header, glyphs)
                write_seed(os.path.join(out, "record"), seed)
                write_seed(os.path.join(out, "pipeline"), b"\x00" + seed)
                if b"x" in data[HEAD:]:
                    write_seed(os.path.join(out, "pipeline"), b"\x01" + seed)
    # Two glyph records as records of their own: a stream with only outlines.
    for code in (ord("A"), ord("g")):
        if code in glyphs:
            write_seed(os.path.join(out, "record"), glyphs[code][1:])


if __name__ == "__main__":
    main()
