#!/usr/bin/python3
"""The page in Chromium, Firefox and WebKit, driven as a person drives it: where the windows and
controls stand, the flow from typing to the result and the end of the run, the entry's seven-unit
rule whatever comes in (typed, pasted, dropped, composed), and what a screen reader is told. The
same cases run in every engine; a step that an engine's driver cannot take is proved another way
there, and the test says so.

Runs the looks and safety tests too, in the same browser: page_looks_test.py, page_safety_test.py.

Usage: page_test.py PAGE.html ENGINE [unittest options]
"""

import re
import sys
import tempfile
import unittest
from pathlib import Path

from PIL import Image, ImageChops, ImageStat
from selenium.webdriver.common.keys import Keys

import browser

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "app"))
import make_page  # noqa: E402  (the page's own digest, for a page changed here)

CODE = {"0": "R", "1": "T D", "2": "N Ñ", "3": "M", "4": "C K Q", "5": "L", "6": "S Z", "7": "F", "8": "CH J G",
        "9": "V B P"}
MAX_UNITS = 7
EMPTY = [""] * MAX_UNITS
ENDED = "Tablinor - Verdusk ha terminado. Vuelva a cargar la página para iniciarlo de nuevo."

# Keys as a person presses them in the entry.
CLEAR = Keys.CONTROL + "a" + Keys.NULL + Keys.BACKSPACE
PASTE = Keys.CONTROL + "v"
SELECT_FIRST_TWO = Keys.HOME + Keys.SHIFT + Keys.RIGHT + Keys.RIGHT
CONVERT_POINT = (188, 370)  # on the head in Form1, below where the result window stands
SIZES = {"Form1": (400, 499), "Form2": (250, 151)}  # CSS pixels at 1:1
MARGIN = 8  # CSS pixels that a viewport too small for the main window keeps around it
TAP = 44  # CSS pixels each way that a finger needs to hit a control: Apple's and WCAG's AAA size
MAIN_PICTURE = Path(__file__).resolve().parents[2] / "windows/pictures/main.jpg"
TITLE_BAND = 90  # CSS pixels at the top of the main picture: its title, under no control
# Levels of a colour, on average, between the shrunk title and the title resized by PIL: 1.6 to
# 2.2 in the three engines; a shrink that drops pixels instead, as WebKit's of a layer, 3.8.
SMOOTH_LEVELS = 3
# Viewports, CSS pixels: a desktop's, phones' upright from the narrowest, and phones' on their side.
SCREENS = [("Desktop", 800, 700), ("Phone320", 320, 568), ("Phone360", 360, 640), ("Phone390", 390, 844),
           ("Phone412", 412, 915), ("Landscape640", 640, 360), ("Landscape844", 844, 390)]


def utf16_units(text):
    return [chr(unit) for unit in browser.utf16_units(text)]


def kept(text):
    """What the entry keeps of a text put into it empty: the first line, then each whole character
    that still fits in seven UTF-16 units; half a character is never kept."""
    entry = ""
    for character in re.split("[\r\n]", text, maxsplit=1)[0]:
        if not 0xD800 <= ord(character) <= 0xDFFF and len(utf16_units(entry + character)) <= MAX_UNITS:
            entry += character
    return entry


def copy(text):
    """The step that puts text on the clipboard."""
    return lambda test: test.engine.copy(text)


def expect(**expected):
    """The step that waits for the state to be as expected in every key it names."""
    return lambda test: test.assert_state(expected)


def expected_columns(entry):
    """What a fresh result window shows for a non-empty entry: column k follows its k-th unit."""
    slots = (utf16_units(entry) + [""] * MAX_UNITS)[:MAX_UNITS]
    return [f"{slot}/{CODE[slot]}" if slot in CODE else "" for slot in slots]


# The hostile texts of the desktop builds' test (tests/windows/hostile_input_test.cpp).
HOSTILE = [(f"EmojiAtPlace{place}", "1234567"[:place] + "\U0001F600" + "1234567"[place:]) for place in range(8)] + [
    ("Hebrew", "\u05D0\u05D1 12"),
    ("ArabicWithItsDigits", "\u0627\u0663\u06615"),
    ("DirectionMarks", "\u200F1\u200E2\u202E3"),
    ("CombiningMarks", "1\u0301\u03082"),
    ("ControlCharacters", "\x011\t2\x1B3\x7F"),
    ("NulInside", "4\x005"),
    ("FullWidthDigits", "\uFF11\uFF12\uFF13"),
    ("JoinedEmojiFamily", "\U0001F468\u200D\U0001F469\u200D\U0001F467" + "9"),
    ("LoneSurrogates", "1\uD8002\uDC003"),
    ("OnlyWideCharacters", "\U0001F600\U0001F601\U0001F602\U0001F603"),
    ("TenThousandCharacters", "8" * 5000 + "\u05D0" * 5000),
]
TYPED_AT_MOST = 3 * MAX_UNITS  # characters of a text that a person types rather than pastes


class Page(unittest.TestCase):
    """Each test starts a fresh run of the page in the one browser of the run."""

    engine = None

    @classmethod
    def setUpClass(cls):
        cls.engine = browser.shared()

    def setUp(self):
        self.reload()
        self.addCleanup(self.assert_quiet)

    def assert_quiet(self):
        said = self.engine.console()
        if said is not None:  # WebKitWebDriver reads no console: a run-time error shows on the page too
            self.assertEqual(said, [], "the page wrote to its console")
        errors = "return [...document.querySelectorAll('[role=status]')].filter(e => /error/.test(e.textContent)).length"
        self.assertEqual(self.script(errors), 0, "the page shows a run-time error")

    # What a person does.
    def reload(self):
        self.engine.open_page(browser.PAGE)

    def keys(self, keys):
        self.engine.keys(keys)

    def point(self, window, x, y):
        """Where (x, y) of the window's design is in the viewport, however large the window is shown."""
        left, top, width, _ = self.box(window)
        scale = width / SIZES[window][0]
        return left + x * scale, top + y * scale

    def click_at(self, window, x, y):
        self.engine.click(*self.point(window, x, y))

    def click(self, window, control):
        """A click at the middle of the control."""
        self.engine.click_control(window, control)

    def click_entry(self):
        self.click("Form1", "Text1")

    def convert_later(self):
        """A click on the head, which a program not yet running takes once it runs."""
        self.click_at("Form1", *CONVERT_POINT)

    def convert(self):
        self.convert_later()
        self.engine.wait_shown("Form2")

    def ok(self):
        self.click("Form2", "Command1")

    def paste(self, text):
        carried = self.engine.copy(text)
        self.click_entry()
        self.keys(PASTE)
        return carried

    def by_driver_or_event(self, step, kind, text=None, events=None):
        """The step as a person takes it, or where this engine's driver cannot take it, the input
        events the browser sends for it (those of an insertion of the kind, unless given), which
        the page hears alike; the test says which."""
        try:
            step()
        except browser.NotByDriver as reason:
            print(f"{self.engine.name}: {self.id()}: {kind} by the page's input events: {reason}", file=sys.stderr)
            (events or (lambda: self.engine.as_input_event(text, kind)))()

    def undo(self):
        self.by_driver_or_event(self.engine.undo, "historyUndo")

    def hold_enter(self, repeats=3):
        """Enter pressed and held down until the keyboard has repeated it."""
        self.by_driver_or_event(lambda: self.engine.hold_enter(repeats), "keydown",
                                events=lambda: self.engine.as_held_enter(repeats))

    def type(self, text):
        """Each character as one key."""
        self.by_driver_or_event(lambda: self.engine.type(text), "insertText", text)

    def commit(self, text):
        """Text as an input method or an on-screen keyboard commits it; returns what the engine
        carried of it, as a box with no rule of its own keeps it."""
        def step():
            self.by_driver_or_event(lambda: self.engine.commit(text), "insertText", text)
        carried = self.engine.plain_box(step)
        step()
        return carried

    def drop(self, text):
        """Text dragged from elsewhere and let go over the entry."""
        self.by_driver_or_event(lambda: self.engine.drop(text), "insertFromDrop", text)

    def compose(self, text):
        """Text composed in an input method, then committed."""
        self.by_driver_or_event(lambda: self.engine.compose(text), "insertCompositionText", text)

    def perform(self, steps):
        for step in steps:
            self.keys(step) if isinstance(step, str) else step(self)

    # What the page shows.
    def script(self, code, *arguments):
        return self.engine.script(code, *arguments)

    def entry(self):
        return self.script("return document.getElementById('Form1.Text1').value")

    def box(self, window, control=None):
        """The element's (left, top, width, height) in CSS pixels, in the viewport or, for a
        control, in its window, exactly as laid out."""
        return self.engine.box(window, control)

    def columns(self):
        """Each column of the result window as digit/consonants, or None when it is not shown."""
        if not self.engine.shown("Form2"):
            return None
        return self.script(
            "const text = n => document.getElementById('Form2.Label' + n).textContent;"
            "return [...Array(7).keys()].map(k => [text(2 * k + 1), text(2 * k + 2)])"
            "    .map(([digit, consonants]) => digit || consonants ? digit + '/' + consonants : '');")

    def state(self):
        return {"entry": self.entry(), "columns": self.columns(),
                "focus": self.script("return document.activeElement.id"),
                # Whether the control with the focus shows it with a ring.
                "ring": self.script("const e = document.activeElement; return e.matches(':focus-visible')"
                                    "    && getComputedStyle(e).outlineStyle !== 'none'"),
                # The window a click reaches at the middle of the main window, where the result window stands.
                "front": self.script(
                    "const box = document.getElementById('Form1').getBoundingClientRect();"
                    "const hit = document.elementFromPoint(box.left + box.width / 2, box.top + box.height / 2);"
                    "return hit.closest('[role=group]').id;")}

    def assert_state(self, expected):
        """Waits for the state to be as expected in every key it names."""
        def now():
            return {key: value for key, value in self.state().items() if key in expected}
        self.engine.wait(lambda: now() == expected, lambda: f"{now()}, not {expected}")

    def shown_windows(self):
        return [window for window in ("Form1", "Form2") if self.engine.shown(window)]

    def assert_converts_what_it_holds(self):
        self.convert()
        self.assertEqual(self.columns(), expected_columns(self.entry()))


class Layout(Page):
    def test_main_window_at_start(self):
        viewport = self.script("const root = document.documentElement; return [root.clientWidth, root.clientHeight]")
        self.assertEqual(self.box("Form1"), ((viewport[0] - 400) // 2, (viewport[1] - 499) // 2, 400, 499))
        self.assertEqual(self.shown_windows(), ["Form1"])
        self.assertEqual(self.script("return document.title"), "Tablinor - Verdusk")
        self.assertEqual(self.state()["focus"], "Form1.Text1")
        for control, place, text in [("Text1", (128, 120, 129, 25), ""), ("Label1", (168, 96, 57, 17), "Números"),
                                     ("Label2", (120, 248, 137, 145), ""), ("Label3", (376, 8, 17, 17), "X")]:
            with self.subTest(control):
                self.assertEqual(self.box("Form1", control), place)
                shown_text = self.script("const e = document.getElementById(arguments[0]);"
                                         "return e.value ?? e.innerText", f"Form1.{control}")
                self.assertEqual(shown_text, text)
        cursor = self.script("return getComputedStyle(document.getElementById('Form1.Label2')).cursor")
        self.assertEqual(cursor, "pointer")

    def test_result_window_over_the_main_window(self):
        self.convert()
        left, top, _, _ = self.box("Form1")
        self.assertEqual(self.box("Form2"), (left + 75, top + 174, 250, 151))
        self.assertEqual(self.state()["front"], "Form2")
        self.assertEqual(self.state()["focus"], "Form2.Command1")
        self.assertEqual(self.box("Form2", "Command1"), (104, 120, 33, 21))
        for k in range(MAX_UNITS):
            with self.subTest(column=k):
                self.assertEqual(self.box("Form2", f"Label{2 * k + 1}"), (16 + 32 * k, 16, 17, 17))
                self.assertEqual(self.box("Form2", f"Label{2 * k + 2}"), (16 + 32 * k, 40, 17, 65 if k == 0 else 73))


class Flow(Page):
    def test_flows(self):
        main_in_front = {"focus": "Form1.Text1", "front": "Form1"}
        result_in_front = {"focus": "Form2.Command1", "ring": True, "front": "Form2"}
        flows = [
            ("OkEmptiesTheEntryAndClosesTheWindow", ["409", Page.convert, Page.ok],
             {"entry": "", "columns": None, **main_in_front}),
            ("ConvertAfterOkShowsTheLastNumber", ["409", Page.convert, Page.ok, Page.convert],
             {"entry": "", "columns": expected_columns("409"), **result_in_front}),
            ("ConvertIntoTheOpenWindowChangesOnlyItsDigits",
             ["305", Page.convert, Page.click_entry, CLEAR, "9", Page.convert],
             {"entry": "9", "columns": ["9/V B P", "0/R", "5/L"] + EMPTY[3:],
              **result_in_front}),
            ("NoDigitWritesNothing", ["305", Page.convert, Page.click_entry, CLEAR, "ab", Page.convert],
             {"columns": expected_columns("305")}),
            ("ClickOutsideTheHeadOnlyBringsTheMainWindowToFront",
             ["5", Page.convert, lambda test: test.click_at("Form1", 20, 450)],
             {"entry": "5", "columns": expected_columns("5"), **main_in_front}),
            ("ReloadStartsWithEmptySlots", ["8", Page.convert, Page.reload, Page.convert], {"columns": EMPTY}),
            ("SevenDigits", ["1234567", Page.convert],
             {"columns": ["1/T D", "2/N Ñ", "3/M", "4/C K Q", "5/L", "6/S Z", "7/F"]}),
            ("TwoDigits", ["90", Page.convert], {"columns": ["9/V B P", "0/R"] + EMPTY[2:]}),
            ("LetterBetweenDigits", ["1a3", Page.convert], {"columns": ["1/T D", "", "3/M"] + EMPTY[3:]}),
            ("LeadingSpace", [" 8", Page.convert], {"columns": ["", "8/CH J G"] + EMPTY[2:]}),
            ("EmptiedEntryKeepsTheNumber", ["1234", CLEAR, Page.convert],
             {"entry": "", "columns": expected_columns("1234")}),
            ("ShortenedNumberLeavesTheRestEmpty", ["1234" + Keys.BACKSPACE * 2, Page.convert],
             {"entry": "12", "columns": ["1/T D", "2/N Ñ"] + EMPTY[2:]}),
            ("NoEighthCharacter", ["12345678"], {"entry": "1234567"}),
            # By keys alone: Enter converts as a click on the head does, Escape closes the result
            # window as the desktop's close does, and Enter on Ok presses it.
            ("KeyboardSession",
             ["409", Keys.RETURN, expect(entry="409", columns=expected_columns("409"), **result_in_front),
              Keys.ESCAPE, expect(entry="409", columns=None, **main_in_front),
              Keys.RETURN, expect(entry="409", columns=expected_columns("409"), **result_in_front),
              Keys.RETURN, expect(entry="", columns=None, **main_in_front), "12"],
             {"entry": "12", "columns": None, **main_in_front}),
            ("KeypadEnterConverts", ["90", Keys.ENTER], {"columns": expected_columns("90"), **result_in_front}),
            ("EnterWithNoDigitConvertsAsAClickDoes", ["ab", Keys.RETURN], {"columns": EMPTY, **result_in_front}),
            ("EnterIntoTheOpenWindow", ["305", Keys.RETURN, Page.click_entry, CLEAR, "9", Keys.RETURN],
             {"entry": "9", "columns": ["9/V B P", "0/R", "5/L"] + EMPTY[3:], **result_in_front}),
            ("EscapeInTheMainWindowDoesNothing", ["5", Keys.RETURN, Page.click_entry, Keys.ESCAPE],
             {"entry": "5", "columns": expected_columns("5"), **main_in_front}),
            ("EnterHeldConvertsOnceAndLeavesOk", ["409", Page.hold_enter],
             {"entry": "409", "columns": expected_columns("409"), **result_in_front}),
            ("EnterHeldOnOkPressesItOnce", ["409", Keys.RETURN, expect(**result_in_front), Page.hold_enter],
             {"entry": "", "columns": None, **main_in_front}),
        ]
        for name, steps, expected in flows:
            with self.subTest(name):
                self.reload()
                self.perform(steps)
                self.assert_state(expected)

    def test_close_mark_ends_the_run(self):
        self.perform(["12", Page.convert])
        left, top, _, _ = self.box("Form1")
        self.script("window.removals = [];"
                    "new MutationObserver(records => {"
                    "  const removed = records.flatMap(record => [...record.removedNodes].map(node => node.id));"
                    "  if (removed.length) window.removals.push(removed.sort());"
                    "})"
                    ".observe(document.body, {childList: true});")
        self.click("Form1", "Label3")
        # Afterwards, whatever a person tries reaches no handler of the program.
        self.engine.click(left + CONVERT_POINT[0], top + CONVERT_POINT[1])
        self.keys("5" + Keys.TAB + Keys.ENTER)
        self.engine.viewport(700, 600)
        self.engine.viewport(*browser.DESKTOP)
        self.engine.next_frame()
        self.assertEqual(self.script("return window.removals"), [["Form1", "Form2"]])
        lines = self.script("return [...document.querySelectorAll('[role=group], #status')].map(e => e.textContent)")
        self.assertEqual(lines, [ENDED])


def fit(engine, width, height):
    """A phone's viewport held upright, or a screen on its side."""
    engine.viewport(width, height, phone=width <= height)


def held_page(folder):
    """The page, its entry held back from becoming a text field until the test lets it ("field"),
    and its program from starting ("start"); the entry's caret is never drawn: a caret that blinks
    between two screenshots is no change of the window."""
    page = browser.PAGE.read_text(encoding="utf-8")
    starter = next(script for script in make_page.inline(page, "script") if "takeHeldClicks" in script)
    held = starter
    for step, event in (("removeEventListener(\"keydown\"", "field"), ("const program", "start")):
        held, found = re.subn(r"afterNextFrame\(\(\) => \{(\s+)" + re.escape(step),
                              rf'addEventListener("{event}", () => {{\1{step}', held)
        if found != 1:
            raise AssertionError(f"the page's step '{event}' is no longer where the test holds it")
    held = 'document.documentElement.style.caretColor = "transparent";\n' + held
    path = Path(folder) / "held.html"
    path.write_text(page.replace(starter, held).replace(make_page.digest(starter), make_page.digest(held)),
                    encoding="utf-8")
    return path


class BeforeItRuns(Page):
    """The main window shows before the program runs: what a person does to it meanwhile is done
    once the program runs, and nothing of it before."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        folder = tempfile.TemporaryDirectory()
        cls.addClassCleanup(folder.cleanup)
        cls.held = held_page(folder.name)

    def open_held(self):
        self.engine.open(self.held.as_uri())
        self.engine.wait_shown("Form1")

    def make_field(self):
        self.script("dispatchEvent(new Event('field'))")

    def convert_as_it_takes_over(self):
        """A click on the head the moment the program takes the window over, before anything it has
        left for later."""
        self.script("new MutationObserver((_, seen) => { seen.disconnect(); document.getElementById('Form1.Label2').click(); })"
                    ".observe(document.getElementById('Form1'), {attributeFilter: ['data-written']});")

    def pressed_as_it_takes_over(self):
        """The head pressed before the program runs and let go once it has taken the window over."""
        point = self.point("Form1", *CONVERT_POINT)
        self.engine.press(*point)
        self.start()
        self.engine.release(*point)

    def start(self):
        if self.script("return !!document.querySelector('[data-stand-in]')"):
            self.make_field()
        self.script("dispatchEvent(new Event('start'))")
        self.engine.wait(lambda: self.script(browser.RUNNING), "the program did not start")

    def outcome(self):
        """The lines of a run that has ended, and the windows left; or the entry, the result's
        columns and the window in front."""
        ended = self.script(browser.STATUS)
        if ended:
            return {"ended": ended, "windows": self.script(browser.WINDOWS)}
        return {key: value for key, value in self.state().items() if key not in ("focus", "ring")}

    def test_what_comes_before_the_program_runs(self):
        field = BeforeItRuns.make_field
        converted = {"entry": "8294015", "columns": expected_columns("8294015"), "front": "Form2"}
        cases = [
            ("TypedAndConverted", [field, "8294015", Page.convert_later], converted),
            ("TypedBeforeTheEntryIsAField", ["829x" + Keys.BACKSPACE, field, "4015", Page.convert_later], converted),
            ("TypedPastTheMaximum", ["1234", field, "56789a"], {"entry": "1234567", "columns": None, "front": "Form1"}),
            ("EnterPressed", [field, "8294015" + Keys.RETURN], converted),
            ("EnterPressedBeforeTheEntryIsAField", ["8294015" + Keys.RETURN, field], converted),
            ("TypedAndConvertedAsItTakesOver", [field, "8294015", BeforeItRuns.convert_as_it_takes_over], converted),
            ("PressedBeforeAndReleasedAfterItTakesOver", [field, "8294015", BeforeItRuns.pressed_as_it_takes_over],
             converted),
            ("ConvertedTwice", [field, "90", Page.convert_later, Page.convert_later],
             {"entry": "90", "columns": expected_columns("90"), "front": "Form2"}),
            ("Closed", [lambda test: test.click("Form1", "Label3")], {"ended": [ENDED], "windows": 0}),
        ]
        for name, steps, expected in cases:
            with self.subTest(name):
                self.open_held()
                self.perform(steps)  # once a field, the entry has the keyboard focus
                self.engine.next_frame()
                if not self.script(browser.RUNNING):  # unless a step has let it run
                    self.assertEqual([self.script("return document.getElementById('Form2')"),
                                      self.script(browser.STATUS)], [None, []], "handled before")
                    self.start()
                self.engine.wait(lambda: self.outcome() == expected,
                                 lambda: f"{name}: {self.outcome()}, not {expected}")

    def test_the_program_takes_over_the_window_as_it_shows(self):
        """On every screen the page shows the window before the program runs where and as large as
        the program shows it, a phone's shrunk to fit: nothing moves or changes as it takes over."""
        self.addCleanup(self.engine.viewport, *browser.DESKTOP)
        for name, width, height in SCREENS:
            with self.subTest(name):
                if width < self.engine.narrowest:
                    self.skipTest(f"{self.engine.name}'s window is never narrower than {self.engine.narrowest} px")
                fit(self.engine, width, height)
                self.open_held()
                before = self.engine.screenshot()
                self.start()
                changed = ImageChops.difference(before, self.engine.screenshot()).convert("L").point(
                    lambda level: 255 * (level > SMOOTH_LEVELS)).getbbox()
                self.assertIsNone(changed, "the window changed as the program took it over")


class Entry(Page):
    def test_hostile_texts_typed_and_pasted(self):
        for name, text in HOSTILE:
            for way in ("typed", "pasted"):
                with self.subTest(f"{name} {way}"):
                    self.reload()
                    if way == "pasted":
                        carried = self.paste(text)
                    elif any(0xD800 <= ord(character) <= 0xDFFF for character in text):
                        self.skipTest("no keyboard or input method commits half a character")
                    else:
                        carried = self.commit(text[:TYPED_AT_MOST])
                    self.assertEqual(self.entry(), kept(carried))
                    self.assert_converts_what_it_holds()

    def test_seven_unit_rule(self):
        rules = [
            # One key that types a wide character, which an engine may hand the page in halves.
            ("WideCharacterThatDoesNotFitIsRefused", ["123456", lambda test: test.type("😀")], "123456"),
            ("WideCharacterThatFits", ["12345", lambda test: test.type("😀")], "12345😀"),
            ("WideCharacterCommittedThatFits", ["12345", lambda test: test.commit("😀")], "12345😀"),
            ("PasteKeepsTheFirstLine", [lambda test: test.paste("98\n76")], "98"),
            # The paste takes the selection's room and no more: the text after it stays, as in a
            # Windows box, and the second wide character does not fit.
            ("PasteReplacesTheSelection",
             ["1234567", copy("😀😀"), Page.click_entry, SELECT_FIRST_TWO, PASTE],
             "😀34567"),
            # A refused paste is no edit: undo takes back the last key, which the browser's undo
            # keeps as the page made it, never an edit from before put together with later text.
            # Copied first: WebKit keeps one undo history for the whole page, the scratch box's too.
            ("UndoAfterARefusedPaste", [copy("😀"), Page.click_entry, "123456", PASTE, Page.undo], "12345"),
            ("UndoAfterTypingOverADeletion",
             [copy("😀"), Page.click_entry, "999", CLEAR, "123456", PASTE, Page.undo], "12345"),
            ("DropKeepsSevenUnits", [lambda test: test.drop("1234567890")], "1234567"),
            ("ComposedWideCharacterThatDoesNotFit", ["123456", lambda test: test.compose("😀")], "123456"),
            ("ComposedTextOverASelection", ["55555", Keys.CONTROL + "a", lambda test: test.compose("8日本")],
             "8日本"),
        ]
        for name, steps, entry in rules:
            with self.subTest(name):
                self.reload()
                self.perform(steps)
                self.assertEqual(self.entry(), entry)
                self.assert_converts_what_it_holds()


class Screens(Page):
    """The page on screens of every size: the whole scene shrinks to fit a viewport smaller than
    the main window with its margin, proportions kept; a larger one shows it at 1:1."""

    def tearDown(self):
        self.engine.viewport(*browser.DESKTOP)

    def fit(self, width, height):
        fit(self.engine, width, height)

    def show(self, width, height):
        self.fit(width, height)
        self.reload()

    def scale(self, width, height):
        return min(1, (width - 2 * MARGIN) / SIZES["Form1"][0], (height - 2 * MARGIN) / SIZES["Form1"][1])

    def hits(self, window, control):
        """How far a tap reaches the control, (width, height) in CSS pixels of the viewport,
        through its middle; and whether the middle is on the screen."""
        return self.script(
            "const e = document.getElementById(arguments[0]), box = e.getBoundingClientRect();"
            "const [x, y] = [box.left + box.width / 2, box.top + box.height / 2];"
            "const hit = (dx, dy) => document.elementFromPoint(x + dx, y + dy) === e;"
            "const reach = step => { let d = 0; while (d < 100 && step(d + 1)) ++d; return d; };"
            "return [reach(d => hit(d, 0)) + reach(d => hit(-d, 0)) + 1,"
            "        reach(d => hit(0, d)) + reach(d => hit(0, -d)) + 1, hit(0, 0)];", f"{window}.{control}")

    def assert_on_screen(self, width, height):
        """Both windows wholly in the viewport, nothing to scroll to sideways, the result window
        in the middle of the main window, each in proportion."""
        self.assertLessEqual(self.script("return document.documentElement.scrollWidth"), width, "sideways scrolling")
        s = self.scale(width, height)
        for window in self.shown_windows():
            left, top, shown_width, shown_height = self.box(window)
            with self.subTest(window=window):
                self.assertGreaterEqual(min(left, top), 0)
                self.assertLessEqual((left + shown_width, top + shown_height), (width, height))
                self.assertAlmostEqual(shown_width, SIZES[window][0] * s, delta=1)
                self.assertAlmostEqual(shown_height, SIZES[window][1] * s, delta=1)
        centre = [[left + w / 2, top + h / 2] for left, top, w, h in map(self.box, self.shown_windows())]
        self.assertLessEqual(max(abs(a - b) for a, b in zip(centre[0], centre[-1])), 1, "not over the main window")

    def test_every_screen_shows_the_whole_scene(self):
        for name, width, height in SCREENS:
            with self.subTest(name):
                if width < self.engine.narrowest:
                    self.skipTest(f"{self.engine.name}'s window is never narrower than {self.engine.narrowest} px")
                self.show(width, height)
                self.assert_on_screen(width, height)
                self.assertEqual(self.hits("Form1", "Label3")[2], True, "the close mark is not there to tap")
                self.perform([Page.click_entry, "409", Page.convert])
                self.assert_on_screen(width, height)
                self.assertEqual(self.state()["columns"], expected_columns("409"))
                self.assertEqual(self.hits("Form2", "Command1")[2], True, "Ok is not there to tap")

    def test_taps_convert_press_ok_and_end_the_run(self):
        self.show(360, 640)
        taps = {control: self.engine.centre(window, control)
                for window, control in (("Form1", "Text1"), ("Form1", "Label2"), ("Form1", "Label3"))}
        self.engine.tap(*taps["Text1"])
        self.keys("8294015")
        self.engine.tap(*taps["Label2"])
        self.engine.wait_shown("Form2")
        self.assertEqual(self.state()["columns"], expected_columns("8294015"))
        self.engine.tap(*self.engine.centre("Form2", "Command1"))
        self.engine.wait_gone("Form2")
        self.assertEqual(self.entry(), "")
        self.engine.tap(*taps["Label3"])
        self.engine.wait_gone("Form1")

    def test_close_mark_and_ok_are_large_enough_to_tap(self):
        if self.engine.name != "Chromium":
            self.skipTest(f"{self.engine.name}'s driver makes no touch screen, where taps need room")
        self.show(320, 568)
        reached = {"Label3": self.hits("Form1", "Label3")}
        self.perform([Page.convert])
        reached["Command1"] = self.hits("Form2", "Command1")
        print(f"{self.engine.name}: at 320 px a tap reaches the close mark and Ok over {reached}", file=sys.stderr)
        for control, (across, down, _) in reached.items():
            with self.subTest(control):
                # Within its window: the close mark stands in the main window's corner.
                self.assertGreaterEqual(min(across, down), TAP * 3 // 4 if control == "Label3" else TAP)

    def test_turning_and_the_keyboard_keep_the_windows_placed(self):
        self.show(360, 640)
        self.perform([Page.click_entry, "12", Page.convert, Page.click_entry])
        for name, width, height in [("TurnedOnItsSide", 640, 360), ("TurnedBack", 360, 640),
                                    ("KeyboardTakesTheLowerHalf", 360, 330)]:
            with self.subTest(name):
                self.fit(width, height)
                self.engine.next_frame()
                self.assert_on_screen(width, height)
                self.assertEqual(self.state()["focus"], "Form1.Text1")
                self.keys("3")
        self.assertEqual(self.entry(), "12333")

    def test_shrunk_picture_is_smoothed(self):
        """The main picture's title, shrunk on a phone, is the title resized smoothly, its thin
        lines kept: on average within a few levels of each colour, as resampling filters differ."""
        self.show(360, 640)
        image = self.engine.screenshot()
        ratio = image.width / 360
        left, top, width, _ = self.box("Form1")
        band = [round(v * ratio) for v in (left, top, left + width, top + TITLE_BAND * width / SIZES["Form1"][0])]
        shown = image.crop(band)
        expected = Image.open(MAIN_PICTURE).convert("RGB").crop((0, 0, SIZES["Form1"][0], TITLE_BAND))
        difference = ImageStat.Stat(ImageChops.difference(shown, expected.resize(shown.size, Image.LANCZOS))).mean
        self.assertLessEqual(sum(difference) / 3, SMOOTH_LEVELS)

    def test_entry_asks_for_digits_and_takes_any_text(self):
        self.assertEqual(self.script("return document.getElementById('Form1.Text1').inputMode"), "numeric")
        self.perform([Page.click_entry, "a1ñ"])
        self.assertEqual(self.entry(), "a1ñ")


class Accessibility(Page):
    def test_names_roles_and_reading_order(self):
        self.perform(["8294015", Page.convert])
        for control, role, name in [("Form1.Text1", "textbox", "Números"), ("Form1.Label2", "button", "Convertir"),
                                    ("Form1.Label3", "button", "Cerrar"), ("Form2.Command1", "button", "Ok")]:
            with self.subTest(name):
                self.assertEqual(self.engine.named(role, name), [control])
        if self.engine.name != "Chromium":
            self.skipTest(f"{self.engine.name}'s driver reads no accessibility tree in its order")
        tree = self.engine.cdp("Accessibility.getFullAXTree")
        nodes = {node["nodeId"]: node for node in tree["nodes"]}

        def spoken(node):
            return (node["role"]["value"], node.get("name", {}).get("value"))

        def read(node):
            """The texts a screen reader reads in the node, in its order."""
            own = [node["name"]["value"]] if node["role"]["value"] == "StaticText" else []
            return own + [text for child in node.get("childIds", []) for text in read(nodes[child])]

        result = next(node for node in nodes.values() if spoken(node) == ("group", "Form2"))
        self.assertEqual(read(result), [text for k in "8294015" for text in (k, CODE[k])] + ["Ok"])

    def test_tab_never_reaches_the_clickable_labels(self):
        """Neither Tab nor Shift+Tab lands on the head or the close mark, from the entry or from Ok."""
        for steps in ([], ["409", Keys.RETURN, expect(focus="Form2.Command1")]):
            for tab in (Keys.TAB, Keys.SHIFT + Keys.TAB):
                self.reload()
                self.perform(steps)
                reached = [self.keys(tab) or self.script("return document.activeElement.id") for _ in range(4)]
                self.assertFalse({"Form1.Label2", "Form1.Label3"} & set(reached), reached)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: page_test.py PAGE.html ENGINE [unittest options]")
    browser.share(sys.argv.pop(1), sys.argv.pop(1))
    unittest.main(module=None, argv=sys.argv[:1] + (sys.argv[1:] or ["page_test", "page_looks_test",
                                                                     "page_safety_test", "site_test"]))
