#!/usr/bin/python3
"""Writes a C++ header holding a face cut down to the characters that the given sources' UTF-16
literals (u"...") hold, with the metrics the page spaces its lines by.

Usage: embed_face.py FACE.ttf SYMBOL OUTPUT.h NOTICE.txt SOURCE...

NOTICE.txt gets the face's copyright and licence, which go with it wherever it is shown.

Windows spaces lines by the face's Windows ascent and descent. Browsers follow the typographic
metrics where a face asks for them, as Wine's Tahoma does, and those are tighter; the cut face asks
for none, so every browser takes the ascent and descent of the horizontal header, which are the
Windows ones.
"""

import io
import re
import sys
from pathlib import Path

from fontTools import subset
from fontTools.ttLib import TTFont

USE_TYPO_METRICS = 1 << 7


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
    face = TTFont(path)
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


def header(face, stem, symbol, source_name, characters):
    file = io.BytesIO()
    face.save(file)
    data = file.getvalue()
    rows = ",\n    ".join(", ".join(f"0x{byte:02x}" for byte in data[i:i + 16]) for i in range(0, len(data), 16))
    windows = face["OS/2"]
    return f"""// Generated at build time from {source_name}, cut down to {characters!r}.
{comment(notice(face))}
#pragma once

#include <array>
#include <cstdint>

#include "windows/forms/web/face.h"

namespace forms::web {{

inline constexpr std::array<std::uint8_t, {len(data)}> {symbol}File{{
    {rows}
}};

inline constexpr Face {symbol}{{.file = {symbol}File, .unitsPerEm = {face["head"].unitsPerEm},
    .winAscent = {windows.usWinAscent}, .winDescent = {windows.usWinDescent}, .stemWidth = {stem}}};

}}  // namespace forms::web
"""


def main():
    path, symbol, output, notice_output, *sources = sys.argv[1:]
    characters = design_characters(sources)
    face, stem = cut_face(path, characters)
    Path(output).write_text(header(face, stem, symbol, Path(path).name, characters), encoding="utf-8")
    Path(notice_output).write_text(notice(face) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
