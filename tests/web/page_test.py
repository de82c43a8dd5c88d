#!/usr/bin/python3
"""The page in headless Chromium, driven as a person drives it: where the windows and controls
stand, the flow from typing to the result and the end of the run, the entry's seven-unit rule
whatever comes in (typed, pasted, dropped, composed), and what a screen reader is told.

Usage: page_test.py PAGE.html
"""

import contextlib
import re
import sys
import unittest
from pathlib import Path

import browser
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.keys import Keys

PAGE = None  # the page under test, from the command line

CODE = {"0": "R", "1": "T D", "2": "N Ñ", "3": "M", "4": "C K Q", "5": "L", "6": "S Z", "7": "F", "8": "CH J G",
        "9": "V B P"}
MAX_UNITS = 7
EMPTY = [""] * MAX_UNITS
ENDED = "Tablinor - Verdusk has ended. Reload the page to start it again."

# Keys as a person presses them in the entry.
CLEAR = Keys.CONTROL + "a" + Keys.NULL + Keys.BACKSPACE
PASTE = Keys.CONTROL + "v"
UNDO = Keys.CONTROL + "z"
SELECT_FIRST_TWO = Keys.HOME + Keys.SHIFT + Keys.RIGHT + Keys.RIGHT
CONVERT_POINT = (188, 370)  # on the head in Form1, below where the result window stands


def utf16_units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [chr(int.from_bytes(data[i:i + 2], "little")) for i in range(0, len(data), 2)]


def kept(text):
    """What the entry keeps of a text put into it empty: the first line, then each whole character
    that still fits in seven UTF-16 units; half a character is never kept."""
    entry = ""
    for character in re.split("[\r\n]", text, maxsplit=1)[0]:
        if not 0xD800 <= ord(character) <= 0xDFFF and len(utf16_units(entry + character)) <= MAX_UNITS:
            entry += character
    return entry


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


CHROMIUM = contextlib.ExitStack()


def setUpModule():  # noqa: N802 (unittest's name)
    Page.driver = CHROMIUM.enter_context(browser.chromium())


def tearDownModule():  # noqa: N802
    CHROMIUM.close()


class Page(unittest.TestCase):
    """Each test starts a fresh run of the page in the one Chromium of the file."""

    driver = None

    def setUp(self):
        self.reload()
        self.addCleanup(lambda: self.assertEqual(browser.console(self.driver), [], "the page wrote to its console"))

    # What a person does.
    def reload(self):
        browser.open_page(self.driver, PAGE)

    def keys(self, keys):
        self.driver.switch_to.active_element.send_keys(keys)

    def click_at(self, window, x, y):
        """A click at (x, y) in the window's client area."""
        left, top, _, _ = self.box(window)
        self.click_in_viewport(left + x, top + y)

    def click_in_viewport(self, x, y):
        actions = ActionBuilder(self.driver, duration=0)
        actions.pointer_action.move_to_location(int(x), int(y)).click()
        actions.perform()

    def click(self, window, control):
        """A click at the middle of the control."""
        left, top, width, height = self.box(window, control)
        self.click_at(window, left + width / 2, top + height / 2)

    def click_entry(self):
        self.click("Form1", "Text1")

    def convert(self):
        self.click_at("Form1", *CONVERT_POINT)
        browser.wait_shown(self.driver, "Form2")

    def ok(self):
        self.click("Form2", "Command1")

    def paste(self, text):
        carried = browser.copy(self.driver, text)
        self.click_entry()
        self.keys(PASTE)
        return carried

    def drop(self, text):
        """Text dragged from elsewhere and let go over the entry."""
        x, y, width, height = browser.rect(self.driver, "Form1", "Text1")
        data = {"items": [{"mimeType": "text/plain", "data": text}], "dragOperationsMask": 1}
        for kind in ("dragEnter", "dragOver", "drop"):
            self.driver.execute_cdp_cmd("Input.dispatchDragEvent",
                                        {"type": kind, "x": x + width / 2, "y": y + height / 2, "data": data})

    def commit(self, text):
        browser.insert_text(self.driver, text)

    def compose(self, text):
        """Text composed in an input method, then committed."""
        end = len(utf16_units(text))
        self.driver.execute_cdp_cmd("Input.imeSetComposition",
                                    {"text": text, "selectionStart": end, "selectionEnd": end})
        self.commit(text)

    def perform(self, steps):
        for step in steps:
            self.keys(step) if isinstance(step, str) else step(self)

    # What the page shows.
    def script(self, code, *arguments):
        return self.driver.execute_script(code, *arguments)

    def entry(self):
        return self.script("return document.getElementById('Form1.Text1').value")

    def box(self, window, control=None):
        """The element's (left, top, width, height) in CSS pixels, in the viewport or, for a
        control, in its window, exactly as laid out."""
        return tuple(self.script(
            "const box = id => document.getElementById(id).getBoundingClientRect();"
            "const [outer, inner] = [box(arguments[0]), box(arguments[1])];"
            "return arguments[0] === arguments[1] ? [outer.left, outer.top, outer.width, outer.height]"
            "    : [inner.left - outer.left, inner.top - outer.top, inner.width, inner.height];",
            window, window if control is None else f"{window}.{control}"))

    def columns(self):
        """Each column of the result window as digit/consonants, or None when it is not shown."""
        if not browser.shown(self.driver, "Form2"):
            return None
        return self.script(
            "const text = n => document.getElementById('Form2.Label' + n).textContent;"
            "return [...Array(7).keys()].map(k => [text(2 * k + 1), text(2 * k + 2)])"
            "    .map(([digit, consonants]) => digit || consonants ? digit + '/' + consonants : '');")

    def state(self):
        return {"entry": self.entry(), "columns": self.columns(),
                "focus": self.script("return document.activeElement.id"),
                # The window a click reaches at the middle of the main window, where the result window stands.
                "front": self.script(
                    "const box = document.getElementById('Form1').getBoundingClientRect();"
                    "const hit = document.elementFromPoint(box.left + box.width / 2, box.top + box.height / 2);"
                    "return hit.closest('[role=group]').id;")}

    def shown_windows(self):
        return [window for window in ("Form1", "Form2") if browser.shown(self.driver, window)]

    def assert_converts_what_it_holds(self):
        self.convert()
        self.assertEqual(self.columns(), expected_columns(self.entry()))
        self.assertEqual(browser.console(self.driver), [])


class Layout(Page):
    def test_main_window_at_start(self):
        viewport = self.script("const root = document.documentElement; return [root.clientWidth, root.clientHeight]")
        self.assertEqual(self.box("Form1"), ((viewport[0] - 400) // 2, (viewport[1] - 499) // 2, 400, 499))
        self.assertEqual(self.shown_windows(), ["Form1"])
        self.assertEqual(self.driver.title, "Tablinor - Verdusk")
        self.assertEqual(self.state()["focus"], "Form1.Text1")
        for control, place, text in [("Text1", (128, 120, 129, 25), ""), ("Label1", (168, 96, 57, 17), "Números"),
                                     ("Label2", (120, 248, 137, 145), ""), ("Label3", (376, 8, 17, 17), "X")]:
            with self.subTest(control):
                self.assertEqual(self.box("Form1", control), place)
                shown_text = self.script("const e = arguments[0]; return e.value ?? e.innerText",
                                         browser.element(self.driver, "Form1", control))
                self.assertEqual(shown_text, text)
        cursor = self.script("return getComputedStyle(arguments[0]).cursor",
                             browser.element(self.driver, "Form1", "Label2"))
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
        result_in_front = {"focus": "Form2.Command1", "front": "Form2"}
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
        ]
        for name, steps, expected in flows:
            with self.subTest(name):
                self.reload()
                self.perform(steps)
                self.assertEqual({key: self.state()[key] for key in expected}, expected)

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
        self.click_in_viewport(left + CONVERT_POINT[0], top + CONVERT_POINT[1])
        self.keys("5" + Keys.TAB + Keys.ENTER)
        size = self.driver.get_window_size()
        self.driver.set_window_size(size["width"] - 100, size["height"] - 100)
        self.driver.set_window_size(size["width"], size["height"])
        browser.next_frame(self.driver)
        self.assertEqual(self.script("return window.removals"), [["Form1", "Form2"]])
        lines = self.script("return [...document.querySelectorAll('[role=group], #status')].map(e => e.textContent)")
        self.assertEqual(lines, [ENDED])


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
                    else:  # committed at once, as an input method does; the rule keeps the same of it typed piecemeal
                        carried = text
                        self.commit(text)
                    self.assertEqual(self.entry(), kept(carried))
                    self.assert_converts_what_it_holds()

    def test_seven_unit_rule(self):
        rules = [
            ("WideCharacterThatDoesNotFitIsRefused", ["123456", lambda test: test.commit("😀")], "123456"),
            ("WideCharacterThatFits", ["12345", lambda test: test.commit("😀")], "12345😀"),
            ("PasteKeepsTheFirstLine", [lambda test: test.paste("98\n76")], "98"),
            # The paste takes the selection's room and no more: the text after it stays, as in a
            # Windows box, and the second wide character does not fit.
            ("PasteReplacesTheSelection",
             ["1234567", lambda test: browser.copy(test.driver, "😀😀"), Page.click_entry, SELECT_FIRST_TWO, PASTE],
             "😀34567"),
            # A refused paste is no edit: undo takes back the last key, which the browser's undo
            # keeps as the page made it, never an edit from before put together with later text.
            ("UndoAfterARefusedPaste", ["123456", lambda test: test.paste("😀"), UNDO], "12345"),
            ("UndoAfterTypingOverADeletion", ["999", CLEAR, "123456", lambda test: test.paste("😀"), UNDO], "12345"),
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


class Accessibility(Page):
    def test_names_roles_and_reading_order(self):
        self.perform(["8294015", Page.convert])
        tree = self.driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})
        nodes = {node["nodeId"]: node for node in tree["nodes"]}

        def spoken(node):
            return (node["role"]["value"], node.get("name", {}).get("value"))

        def read(node):
            """The texts a screen reader reads in the node, in its order."""
            own = [node["name"]["value"]] if node["role"]["value"] == "StaticText" else []
            return own + [text for child in node.get("childIds", []) for text in read(nodes[child])]

        shown = [spoken(node) for node in nodes.values() if not node.get("ignored")]
        for role_and_name in [("textbox", "Números"), ("button", "Convert"), ("button", "Close"), ("button", "Ok")]:
            with self.subTest(role_and_name):
                self.assertIn(role_and_name, shown)
        result = next(node for node in nodes.values() if spoken(node) == ("group", "Form2"))
        self.assertEqual(read(result), [text for k in "8294015" for text in (k, CODE[k])] + ["Ok"])

    def test_tab_never_reaches_the_clickable_labels(self):
        reached = []
        for _ in range(4):
            self.keys(Keys.TAB)
            reached.append(self.script("return document.activeElement.id"))
        self.assertFalse({"Form1.Label2", "Form1.Label3"} & set(reached), reached)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: page_test.py PAGE.html [unittest options]")
    PAGE = Path(sys.argv.pop(1)).resolve()
    unittest.main()
