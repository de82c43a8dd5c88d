"""How the page looks in the engine of the run (page_test.py), read from screenshots at one and two
device pixels to the CSS pixel: the result window's colours, bold stems, wrapping and line spacing,
the main picture drawn unscaled, and the same look as Chromium's, whose render of both windows the
run in Chromium keeps in the build folder for the runs in the other engines.
"""

import itertools
import statistics
import sys
import unittest
from pathlib import Path

from PIL import Image

import browser

PICTURE = Path(__file__).resolve().parents[2] / "windows/pictures/main.jpg"
TEXTS = ["Form1.Text1", "Form1.Label1", "Form1.Label3", "Form2.Command1"] + [f"Form2.Label{n}" for n in range(1, 15)]
BOXES = ["Form1", "Form2"] + TEXTS
# CSS pixels of the entry's and Ok's own frames, and of Ok's focus rectangle, which are no text.
FRAMES = {"Form1.Text1": 3, "Form2.Command1": 5}
# How much more or less ink a text may have than in Chromium, ink being how much of its pixels the
# text covers, summed. Chromium and Firefox fit stems to whole pixels and darken their smoothed
# edges; WebKit places glyphs between pixels and does not, so its texts have 2 to 11 % less ink
# than Chromium's, and its regular 11-pixel entry, whose stems are one pixel, 20 %. A bold stem a
# pixel thinner takes a third of the ink away, as does a face other than the page's.
INK_TOLERANCE = {"Form1.Text1": 0.25, "Form2.Command1": 0.25}
BOLD_INK_TOLERANCE = 0.15
PICTURE_TOLERANCE = 3  # levels of a colour: decoders round the same JPEG alike to within this
COLUMNS = range(7)
LINE_HEIGHT = 15  # CSS pixels: Windows' line spacing of the consonants' 12-pixel Tahoma Bold
BOLD_STEM = 2  # pixels at 96 dpi, as Windows draws a bold stem


def ink(pixel):
    """Covered more than half by text, which is darker than the pale picture under it."""
    return min(pixel) < 128


def core(pixel):
    """Covered nearly whole: the text's own colour, barely mixed with the picture's."""
    return min(pixel) < 64


def stretches(flags):
    """The runs of true flags, as (first index, length)."""
    found, at = [], 0
    for flag, run in itertools.groupby(flags):
        length = len(list(run))
        found += [(at, length)] if flag else []
        at += length
    return found


class Screen:
    """The result window over the main window, in device pixels, and where each control is."""

    def __init__(self, ratio, image, boxes):
        self.ratio, self.image, self.boxes = ratio, image, boxes

    @classmethod
    def taken(cls, engine, ratio):
        engine.viewport(*browser.DESKTOP, ratio)
        engine.convert(browser.PAGE, "8294015")
        return cls(ratio, engine.screenshot(), {name: engine.rect(*name.split(".")) for name in BOXES})

    def of(self, image):
        """Another render of the same layout."""
        return Screen(self.ratio, image, self.boxes)

    def rows(self, name, inset=0):
        left, top, width, height = (self.ratio * v for v in self.boxes[name])
        return [[self.image.getpixel((x, y)) for x in range(left + inset, left + width - inset)]
                for y in range(top + inset, top + height - inset)]

    def ink(self, name):
        """How much of its box's pixels a text covers, summed: each pixel's darkening of the pale
        ground it is drawn on, which is the box's palest pixel, against the text's own colour,
        whose darkest channel is 0."""
        pixels = [min(pixel) for pixel in itertools.chain(*self.rows(name, FRAMES.get(name, 0)))]
        ground = max(pixels)
        return sum(ground - pixel for pixel in pixels) / ground

    def label(self, column, consonants):
        return self.rows(f"Form2.Label{2 * column + 1 + consonants}")

    def lines(self, column):
        """The stretches of a consonant label's rows that hold ink: (top, height)."""
        return stretches(any(map(ink, row)) for row in self.label(column, 1))


class PageLooks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.engine = engine = browser.shared()
        cls.screens = [Screen.taken(engine, 1)]
        try:
            cls.screens.append(Screen.taken(engine, 2))
        except browser.NotByDriver as reason:
            print(f"{engine.name}: the looks at ratio 1 only: {reason}", file=sys.stderr)
        finally:
            engine.viewport(*browser.DESKTOP)

    def test_digits_are_blue_consonants_red_captions_dark(self):
        blue = lambda p: p[0] < 80 and p[1] < 80 and p[2] > 170  # noqa: E731
        red = lambda p: p[0] > 170 and p[1] < 80 and p[2] < 80  # noqa: E731
        dark = lambda p: max(p) < 100  # noqa: E731
        for screen in self.screens:
            labels = [(f"column {k} {('digit', 'consonants')[c]}", screen.label(k, c), (blue, red)[c])
                      for k in COLUMNS for c in (0, 1)]
            for name, rows, colour in labels + [(n, screen.rows(n), dark) for n in ("Form1.Label1", "Form1.Label3")]:
                with self.subTest(ratio=screen.ratio, label=name):
                    text = [p for row in rows for p in row if core(p)]
                    self.assertGreater(len(text), 4 * screen.ratio**2, "hardly any text drawn")
                    self.assertEqual([p for p in text if not colour(p)], [], "text of another colour")

    def test_bold_stems_are_two_pixels_wide_at_96_dpi(self):
        for screen in self.screens:
            for consonants in (0, 1):
                with self.subTest(ratio=screen.ratio, consonants=bool(consonants)):
                    stems = [length for k in COLUMNS for row in screen.label(k, consonants)
                             for _, length in stretches(map(ink, row))]
                    self.assertGreaterEqual(statistics.median(stems), BOLD_STEM * screen.ratio)

    def test_ch_fits_its_column(self):
        for screen in self.screens:
            with self.subTest(ratio=screen.ratio):
                rows = screen.label(0, 1)
                self.assertTrue(any(map(ink, rows[screen.lines(0)[0][0]])), "no CH drawn")
                self.assertEqual([y for y, row in enumerate(rows) if ink(row[-1])], [], "CH clipped on the right")

    def test_consonants_stand_on_lines_of_windows_spacing(self):
        for screen in self.screens:
            line = LINE_HEIGHT * screen.ratio
            with self.subTest(ratio=screen.ratio, column="CH J G"):
                tops = [top for top, _ in screen.lines(0)]
                self.assertEqual([b - a for a, b in zip(tops, tops[1:])], [line, line])
            with self.subTest(ratio=screen.ratio, column="N Ñ"):
                (n_top, n_height), *below = screen.lines(1)
                self.assertLessEqual(n_top + n_height, line, "the Ñ touches the N above it")
                self.assertTrue(below, "no Ñ under the N")

    def test_main_picture_is_drawn_unscaled(self):
        picture = Image.open(PICTURE).convert("RGB")
        for screen in self.screens:
            r = screen.ratio
            with self.subTest(ratio=r):
                # Where the screen is denser, the browser smooths the picture as a bilinear enlargement does.
                expected = picture.resize((picture.width * r, picture.height * r), Image.BILINEAR)
                left, top, width, height = screen.boxes["Form1"]
                covered = [screen.boxes[name] for name in ("Form1.Text1", "Form1.Label1", "Form1.Label3", "Form2")]
                points = [(x, y) for x in range(3, width, 7) for y in range(3, height, 7)
                          if not any(l - 2 <= left + x < l + w + 2 and t - 2 <= top + y < t + h + 2
                                     for l, t, w, h in covered)]
                self.assertGreater(len(points), 1000)
                shown = screen.image.crop((r * left, r * top, r * (left + width), r * (top + height)))
                wrong = [(x, y) for x, y in points for dx in range(r) for dy in range(r)
                         if max(abs(a - b) for a, b in zip(shown.getpixel((r * x + dx, r * y + dy)),
                                                            expected.getpixel((r * x + dx, r * y + dy)))) > 3]
                self.assertEqual(wrong, [], "the picture differs from main.jpg there")

    def test_looks_as_in_chromium(self):
        """The pictures are the same to the pixel outside the controls, where nothing is drawn
        over them, each text has as much ink as in Chromium, and the controls without a face of
        their own are drawn in the page's Tahoma at 8 points, as Windows draws them, in black."""
        screen = self.screens[0]
        chromium = Path(browser.PAGE).parent / "looks-in-Chromium.png"
        if self.engine.name == "Chromium":
            screen.image.save(chromium)
        reference = Image.open(chromium).convert("RGB")
        inks = {name: (screen.ink(name), screen.of(reference).ink(name)) for name in TEXTS}
        spread = [round(100 * (ours - theirs) / theirs) for ours, theirs in inks.values()]
        print(f"{self.engine.name}: text ink {min(spread)} % to {max(spread)} % of Chromium's", file=sys.stderr)
        for name, (ours, theirs) in inks.items():
            with self.subTest(text=name):
                self.assertLessEqual(abs(ours - theirs), INK_TOLERANCE.get(name, BOLD_INK_TOLERANCE) * theirs,
                                     f"{ours:.0f} pixels of ink, not {theirs:.0f}")
        controls = [screen.boxes[name] for name in TEXTS]
        windows = [screen.boxes[name] for name in ("Form1", "Form2")]
        differ = [(x, y) for x in range(screen.image.width) for y in range(screen.image.height)
                  if any(inside(x, y, box) for box in windows) and not any(inside(x, y, box, 1) for box in controls)
                  and max(abs(a - b) for a, b in zip(screen.image.getpixel((x, y)), reference.getpixel((x, y))))
                  > PICTURE_TOLERANCE]
        print(f"{self.engine.name}: {len(differ)} pixels of the pictures differ from Chromium's", file=sys.stderr)
        self.assertEqual(differ[:10], [], "the pictures differ from Chromium's there")
        for name in FRAMES:
            with self.subTest(face=name):
                self.assertEqual(self.engine.script(
                    "const style = getComputedStyle(document.getElementById(arguments[0]));"
                    "return [style.fontFamily.split(',')[0], style.fontSize, style.fontWeight, style.color];", name),
                    ['"MS Shell Dlg"', "11px", "400", "rgb(0, 0, 0)"])


def inside(x, y, box, margin=0):
    left, top, width, height = box
    return left - margin <= x < left + width + margin and top - margin <= y < top + height + margin
