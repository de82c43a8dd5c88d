#!/usr/bin/python3
"""Writes a C++ header holding faces cut down to the characters that the given sources' UTF-16
literals (u"...") hold, each with the metrics the page spaces its lines by.

Usage: embed_face.py OUTPUT.h NOTICE.txt [--face FACE.ttf SYMBOL]... [--typed-face FACE.ttf SYMBOL]...
                     SOURCE...

A typed face keeps every printable character of Latin-1 besides: a box drawn in it shows what a
person types. NOTICE.txt gets the faces' copyrights and licences, which go with them wherever they
are shown.

Windows spaces lines by the face's Windows ascent and descent. Browsers follow the typographic
metrics where a face asks for them, as Wine's Tahoma does, and those are tighter; the cut face asks
for none, so every browser takes the ascent and descent of the horizontal header, which are the
Windows ones.
"""

import argparse
import io
import re
import sys
from pathlib import Path

from fontTools import subset
from fontTools.ttLib import TTFont

USE_TYPO_METRICS = 1 << 7
LATIN_1 = "".join(chr(code) for code in [*range(0x20, 0x7F), *range(0xA0, 0x100)])


def design_characters(sources):
    """Every character of the sources' u"..." literals, with C++'s \\uXXXX and \\UXXXXXXXX escapes."""
    characters = set()
    for source in sources:
        for literal in re.findall(r'\bu"((?:[^"\\]|\\.)*)"', Path(source).read_text(encoding="utf-8")):
            text = re.sub(r"\\u([0-9A-Fa-f]{4})|\\U([0-9A-Fa-f]{8})",
                          lambda escape: chr(int(escape.group(1) or escape.group(2), 16)), literal)
            characters.update(text)
    return "".join(sorted(characters))


def stem_width(face):
    stem = face["glyf"]["l"]
    return stem.xMax - stem.xMin


def cut_face(path, characters):
    options = subset.Options()
    options.drop_tables += ["BDF", "EBDT", "EBLC", "EBSC", "FFTM", "VDMX"]  # bitmaps browsers do not draw
    options.name_IDs = ["*"]  # the copyright and the licence stay with the face
    face = TTFont(path, recalcTimestamp=False)  # the face's own date, not the build's: the same bytes from every build
    stem = stem_width(face)
    cutter = subset.Subsetter(options)
    cutter.populate(text=characters)
    cutter.subset(face)
    windows = face["OS/2"]
    if face["hhea"].ascent != windows.usWinAscent or face["hhea"].descent != -windows.usWinDescent:
        sys.exit(f"{path}: the horizontal header's ascent and descent are not the Windows ones")
    windows.fsSelection &= ~USE_TYPO_METRICS
    return face, stem


def comment(text):
    return "\n".join("// " + line if line else "//" for line in text.splitlines())


def notice(face):
    return face["name"].getDebugName(0) + "\n\n" + face["name"].getDebugName(13)


def face_header(face, stem, symbol, source_name, characters):
    file = io.BytesIO()
    face.save(file)
    data = file.getvalue()
    rows = ",\n    ".join(", ".join(f"0x{byte:02x}" for byte in data[i:i + 16]) for i in range(0, len(data), 16))
    windows = face["OS/2"]
    return f"""// {symbol}: cut from {source_name} down to {characters!r}.
inline constexpr std::array<std::uint8_t, {len(data)}> {symbol}File{{
    {rows}
}};

inline constexpr Face {symbol}{{.unitsPerEm = {face["head"].unitsPerEm},
    .winAscent = {windows.usWinAscent}, .winDescent = {windows.usWinDescent}, .stemWidth = {stem}}};
"""


def header(faces, notices):
    return f"""// Generated at build time.
{comment(notices)}
#pragma once

#include <array>
#include <cstdint>

#include "windows/forms/web/face.h"

namespace forms::web {{

{chr(10).join(faces)}
}}  // namespace forms::web
"""


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("output")
    arguments.add_argument("notice")
    arguments.add_argument("--face", nargs=2, action="append", default=[], metavar=("FACE", "SYMBOL"))
    arguments.add_argument("--typed-face", nargs=2, action="append", default=[], metavar=("FACE", "SYMBOL"))
    arguments.add_argument("sources", nargs="+")
    options = arguments.parse_args()
    design = design_characters(options.sources)
    faces, notices = [], []
    for (path, symbol), typed in [(face, False) for face in options.face] + [(face, True) for face in options.typed_face]:
        characters = "".join(sorted(set(design + LATIN_1))) if typed else design
        face, stem = cut_face(path, characters)
        faces.append(face_header(face, stem, symbol, Path(path).name, characters))
        if notice(face) not in notices:
            notices.append(notice(face))
    Path(options.output).write_text(header(faces, "\n\n".join(notices)), encoding="utf-8")
    Path(options.notice).write_text("\n\n".join(notices) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
