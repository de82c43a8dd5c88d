"""The page in the three engines that Debian ships, each driven as a person drives it: headless
Chromium through chromedriver, Firefox ESR over WebDriver BiDi (firefox_bidi.js, with
puppeteer-core), and WebKitGTK's MiniBrowser through WebKitWebDriver on a virtual display of its
own. Every engine starts with a profile of its own and without background connections of its own,
so that whatever it fetches is the page's doing.

Each engine offers the same steps. Where its driver cannot take one (WebKitWebDriver types no
character that no key has and holds no key down; no driver but Chromium's drops text or composes
it), it raises NotByDriver, and the caller proves the rule another way, by the input events the
browser sends (`as_input_event`, `as_held_enter`).

Beside them, a static host on this machine (Host), for a site or for a page to try to reach.
"""

import atexit
import base64
import contextlib
import functools
import http.server
import io
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time
from pathlib import Path

from PIL import Image
from selenium import webdriver
from selenium.webdriver.chrome.options import Options as ChromiumOptions
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.actions import interaction
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.pointer_input import PointerInput
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.webkitgtk.options import Options as WebKitOptions

ENGINES = ("Chromium", "Firefox", "WebKit")
DESKTOP = (800, 700)  # the viewport, CSS pixels
PHONE_RATIO = 3
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
# Even with its background networking off, Chromium looks up Google's and its search engine's
# hosts; no name but the tests' own address resolves.
QUIET_FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--disable-default-apps", "--disable-extensions", "--no-default-browser-check",
               "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"]
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
WEBKITDRIVER = "/usr/bin/WebKitWebDriver"
FIREFOX_BIDI = Path(__file__).resolve().parent / "firefox_bidi.js"
MODIFIERS = {Keys.SHIFT, Keys.CONTROL, Keys.ALT, Keys.META}

# What the browser does with text that an input method commits, done from the page's script: the
# cancellable beforeinput event, and the insertion when nothing cancels it.
INPUT_EVENT = """const [data, inputType] = arguments;
const box = document.activeElement;
const event = new InputEvent('beforeinput', {inputType, data, cancelable: true, bubbles: true});
if (box.dispatchEvent(event)) {
    if (inputType === 'historyUndo') document.execCommand('undo');
    else document.execCommand('insertText', false, data);
}"""

# A box of the page's own, with the text of the given UTF-16 code units selected in it and the
# focus, and the text it holds when it goes, the focus back where it was.
SCRATCH_BOX = """const box = Object.assign(document.createElement('textarea'), {id: 'scratch'});
box.value = String.fromCharCode(...arguments[0]);
document.body.append(box);
const focused = document.activeElement.id;
box.focus();
box.select();
return focused;"""
SCRATCH_TEXT = """const box = document.getElementById('scratch');
box.remove();
document.getElementById(arguments[0])?.focus();
return box.value;"""

# Enter as the browser sends it, pressed and held down for arguments[0] repeats of the keyboard:
# each time, a cancellable keydown at the focused element and, where nothing cancels it, the
# focused button's click.
HELD_ENTER = """for (let repeat = 0; repeat <= arguments[0]; ++repeat) {
    const target = document.activeElement, init = {key: 'Enter', repeat: repeat > 0, bubbles: true, cancelable: true};
    if (target.dispatchEvent(new KeyboardEvent('keydown', init)) && target.localName === 'button') target.click();
}"""

SHOWN = """const w = document.getElementById(arguments[0]);
return !!w && getComputedStyle(w).display !== 'none' && getComputedStyle(w).visibility === 'visible';"""

# The program has taken over the main window written into the page.
RUNNING = "return !document.querySelector('[data-written]');"

# The lines that the page shows when the run has ended or failed.
STATUS = "return [...document.querySelectorAll('[role=status]')].map(line => line.textContent)"
# How many of the program's windows are in the page.
WINDOWS = "return document.querySelectorAll('[id^=Form]').length"

# What the page has stored: cookies, local and session storage, databases, and each cache's
# requests. A store that an engine offers no page opened from disk holds nothing either.
STORED = """return Promise.all([indexedDB.databases(), self.caches?.keys() ?? []])
    .then(([databases, names]) => Promise.all(names.map(name => caches.open(name)
        .then(cache => cache.keys()).then(requests => [name, requests.map(request => request.url).sort()])))
    .then(kept => ({cookie: document.cookie, local: Object.keys(localStorage), session: Object.keys(sessionStorage),
                    databases: databases.map(d => d.name), caches: Object.fromEntries(kept)})));"""

# Whether the site's worker is in place, its files kept.
SITE_KEPT = "return navigator.serviceWorker.ready.then(registration => !!registration.active)"

# The border box of an element in CSS pixels of the viewport, or for a control in its window.
BOX = """const box = id => document.getElementById(id).getBoundingClientRect();
const [outer, inner] = [box(arguments[0]), box(arguments[1])];
return arguments[0] === arguments[1] ? [outer.left, outer.top, outer.width, outer.height]
    : [inner.left - outer.left, inner.top - outer.top, inner.width, inner.height];"""


class NotByDriver(Exception):
    """A step this engine's driver cannot take as a person would."""


def utf16_units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [int.from_bytes(data[i:i + 2], "little") for i in range(0, len(data), 2)]


class Engine:
    """The steps a person takes, and what the tests read of the page, in every engine."""

    name = None
    narrowest = 0  # CSS pixels: the narrowest viewport the engine can have

    def open(self, url):
        raise NotImplementedError

    def script(self, code, *arguments):
        """Runs a function body with `arguments` in the page; a promise it returns is awaited."""
        raise NotImplementedError

    def keys(self, keys):
        """Keys pressed into the focused element, as WebDriver's send keys types them."""
        raise NotImplementedError

    def click(self, x, y):
        raise NotImplementedError

    def press(self, x, y):
        """The mouse's button pressed at (x, y) and held, until release."""
        raise NotImplementedError

    def release(self, x, y):
        raise NotImplementedError

    def tap(self, x, y):
        raise NotImplementedError

    def png(self):
        raise NotImplementedError

    def viewport(self, width, height, ratio=1, phone=False):
        """The viewport's size in CSS pixels; a phone's has three device pixels to the CSS pixel
        where the engine can have them, and is a touch screen where it can be one."""
        raise NotImplementedError

    def console(self):
        """What the page wrote to its console, or threw, since the last call; None where the
        driver cannot read it."""
        return None

    def requests(self):
        """The addresses the browser asked for since the last call; None where the driver cannot
        see them."""
        return None

    def type(self, text):
        """Text typed, each character as one key, as an on-screen keyboard sends it."""
        self.keys(text)

    def commit(self, text):
        """Text as an input method or an on-screen keyboard commits it."""
        self.type(text)

    def plain_box(self, step):
        """What a box with no rule of its own keeps of the text that the step puts in it, such as
        the part of a text that a driver can commit."""
        focused = self.script(SCRATCH_BOX, [])
        step()
        return self.script(SCRATCH_TEXT, focused)

    def undo(self):
        self.keys(Keys.CONTROL + "z")

    def hold_enter(self, repeats):
        """Enter pressed into the focused element and held down until the keyboard has repeated it
        that many times."""
        raise NotByDriver(f"{self.name}'s driver holds no key down: it drops a key pressed again")

    def drop(self, text):
        raise NotByDriver(f"{self.name}'s driver drags no text into the page")

    def compose(self, text):
        raise NotByDriver(f"{self.name}'s driver has no input method")

    # Made of the steps above.
    def as_input_event(self, text, kind="insertText"):
        """Text inserted by the events the browser sends for an input method's commit."""
        self.script(INPUT_EVENT, text, kind)

    def as_held_enter(self, repeats):
        """Enter held down, by the events the browser sends for it."""
        self.script(HELD_ENTER, repeats)

    def leave(self):
        """A person leaving the page, as for another site."""
        self.open("about:blank")

    def open_page(self, page):
        """Opens the page, from disk or a URL, and waits for the program to run its main window:
        the window shows, and the program has taken over the one written into the page."""
        self.open(page if isinstance(page, str) else Path(page).as_uri())
        self.wait(lambda: self.shown("Form1") and self.script(RUNNING), "the program did not take over its main window")

    def shown(self, window):
        return self.script(SHOWN, window)

    def wait(self, condition, message, timeout=10):
        """Waits for the condition; the message may be a function, to say what the page shows then."""
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() > deadline:
                raise AssertionError(f"{self.name}: {message() if callable(message) else message}")
            time.sleep(0.02)

    def wait_shown(self, window):
        self.wait(lambda: self.shown(window), f"{window} did not show")

    def wait_gone(self, window):
        self.wait(lambda: not self.shown(window), f"{window} did not go")

    def box(self, window, control=None):
        return tuple(self.script(BOX, window, window if control is None else f"{window}.{control}"))

    def rect(self, window, control=None):
        """An element's (left, top, width, height) in whole CSS pixels of the viewport."""
        name = f"{window}.{control}" if control else window
        return tuple(round(v) for v in self.script(BOX, name, name))

    def centre(self, window, control=None):
        left, top, width, height = self.rect(window, control)
        return left + width / 2, top + height / 2

    def click_control(self, window, control=None):
        self.click(*self.centre(window, control))

    def copy(self, text):
        """Puts text on the browser's clipboard with Ctrl+C from a scratch box of the page, as a
        person copies it from another page, and returns what the clipboard carries of it (Ctrl+V
        into that box): a clipboard cannot hold every text."""
        focused = self.script(SCRATCH_BOX, utf16_units(text))
        for keys in (Keys.CONTROL + "c", Keys.DELETE, Keys.CONTROL + "v"):
            self.keys(keys)
        return self.script(SCRATCH_TEXT, focused)

    def convert(self, page, number):
        """Opens the page, types the number into the entry and clicks the picture's head."""
        self.open_page(page)
        self.click_control("Form1", "Text1")
        self.type(number)
        self.click_control("Form1", "Label2")
        self.wait_shown("Form2")

    def next_frame(self):
        """Waits until the browser has painted what the last event changed."""
        self.script("return new Promise(done => requestAnimationFrame(() => requestAnimationFrame(done)));")

    def screenshot(self):
        """The viewport as the screen shows it, in device pixels."""
        self.next_frame()
        return Image.open(io.BytesIO(self.png())).convert("RGB")


class Selenium(Engine):
    """An engine driven through WebDriver classic by selenium."""

    def __init__(self, driver):
        self.driver = driver

    def open(self, url):
        self.driver.get(url)

    def script(self, code, *arguments):
        return self.driver.execute_script(code, *arguments)

    def keys(self, keys):
        self.driver.switch_to.active_element.send_keys(keys)

    def pointer(self, kind, x, y):
        actions = ActionBuilder(self.driver, mouse=PointerInput(kind, kind), duration=0)
        actions.pointer_action.move_to_location(int(x), int(y)).click()
        actions.perform()

    def click(self, x, y):
        self.pointer(interaction.POINTER_MOUSE, x, y)

    def mouse(self, act):
        actions = ActionBuilder(self.driver, mouse=PointerInput(interaction.POINTER_MOUSE, "mouse"), duration=0)
        act(actions.pointer_action)
        actions.perform()

    def press(self, x, y):
        self.mouse(lambda pointer: pointer.move_to_location(int(x), int(y)).pointer_down())

    def release(self, x, y):
        self.mouse(lambda pointer: pointer.move_to_location(int(x), int(y)).pointer_up())

    def tap(self, x, y):
        self.pointer(interaction.POINTER_TOUCH, x, y)

    def png(self):
        return self.driver.get_screenshot_as_png()

    def named(self, role, name):
        """The ids of the elements that the engine's accessibility tree gives the role and name."""
        return [element.get_attribute("id") for element in self.driver.find_elements(By.CSS_SELECTOR, "[id]")
                if element.aria_role == role and element.accessible_name == name]


class Chromium(Selenium):
    name = "Chromium"

    def cdp(self, command, parameters=None):
        return self.driver.execute_cdp_cmd(command, parameters or {})

    def console(self):
        return [entry["message"] for entry in self.driver.get_log("browser")]

    def requests(self):
        events = (json.loads(entry["message"])["message"] for entry in self.driver.get_log("performance"))
        return [event["params"]["request"]["url"] for event in events if event["method"] == "Network.requestWillBeSent"]

    def type(self, text):
        """Each character as one key: chromedriver types only the Basic Multilingual Plane, so
        each is sent as Chromium's own key event with its text."""
        for character in text:
            for kind in ("keyDown", "keyUp"):
                self.cdp("Input.dispatchKeyEvent", {"type": kind, "key": character,
                                                    "text": character if kind == "keyDown" else ""})

    def commit(self, text):
        """Text as an input method commits it, whole: chromedriver would type it key by key."""
        self.cdp("Input.insertText", {"text": text})

    def hold_enter(self, repeats):
        """Chromium's own key events: chromedriver repeats no key."""
        enter = {"key": "Enter", "code": "Enter", "windowsVirtualKeyCode": 13}
        for repeat in range(repeats + 1):
            self.cdp("Input.dispatchKeyEvent", {"type": "keyDown", "text": "\r", "autoRepeat": repeat > 0, **enter})
        self.cdp("Input.dispatchKeyEvent", {"type": "keyUp", **enter})

    def drop(self, text):
        """Text dragged from elsewhere and let go over the focused element."""
        x, y = self.script("const box = document.activeElement.getBoundingClientRect();"
                           "return [box.left + box.width / 2, box.top + box.height / 2];")
        data = {"items": [{"mimeType": "text/plain", "data": text}], "dragOperationsMask": 1}
        for kind in ("dragEnter", "dragOver", "drop"):
            self.cdp("Input.dispatchDragEvent", {"type": kind, "x": x, "y": y, "data": data})

    def compose(self, text):
        """Text composed in an input method, then committed."""
        end = len(utf16_units(text))
        self.cdp("Input.imeSetComposition", {"text": text, "selectionStart": end, "selectionEnd": end})
        self.commit(text)

    def viewport(self, width, height, ratio=1, phone=False):
        """A phone's is touch, and says so in its user agent."""
        self.cdp("Emulation.setDeviceMetricsOverride",
                 {"width": width, "height": height, "deviceScaleFactor": PHONE_RATIO if phone else ratio,
                  "mobile": phone})
        self.cdp("Emulation.setTouchEmulationEnabled", {"enabled": phone, "maxTouchPoints": 5 if phone else 1})
        self.cdp("Emulation.setUserAgentOverride", {"userAgent": PHONE_AGENT if phone else ""})

    def click(self, x, y):
        """Chromium's own mouse input, as the benchmarks have always sent it: chromedriver's
        actions would wait for the start of a frame, which would then wait in every click."""
        self.press(x, y)
        self.release(x, y)

    def press(self, x, y):
        self.cdp("Input.dispatchMouseEvent", {"type": "mousePressed", "x": x, "y": y, "button": "left", "clickCount": 1})

    def release(self, x, y):
        self.cdp("Input.dispatchMouseEvent", {"type": "mouseReleased", "x": x, "y": y, "button": "left", "clickCount": 1})

    def tap(self, x, y):
        for kind, points in (("touchStart", [{"x": x, "y": y}]), ("touchEnd", [])):
            self.cdp("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})


PHONE_AGENT = ("Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) "
               "Chrome/156.0.0.0 Mobile Safari/537.36")


class WebKit(Selenium):
    name = "WebKit"
    narrowest = 334  # MiniBrowser's window, even full screen

    def undo(self):
        raise NotByDriver("MiniBrowser binds no key to undo")

    def viewport(self, width, height, ratio=1, phone=False):
        if ratio != 1:
            raise NotByDriver("WebKitGTK takes its ratio from the display, GDK_SCALE, at start")
        self.driver.set_window_rect(width=width, height=height)  # full screen: no toolbar
        self.wait(lambda: self.script("return [innerWidth, innerHeight]") == [width, height], "no such viewport")

    def leave(self):
        """WebKit, as Firefox, keeps a page left in the same tab alive in its back-forward cache,
        where it still counts as open: a person closes the tab."""
        left = self.driver.current_window_handle
        self.driver.switch_to.new_window("tab")
        opened = self.driver.current_window_handle
        self.driver.switch_to.window(left)
        self.driver.close()
        self.driver.switch_to.window(opened)

    def type(self, text):
        if any(ord(character) > 0xFFFF or ord(character) < 0x20 or character == "\x7F" for character in text):
            raise NotByDriver("WebKitWebDriver types no character that no key has")
        self.keys(text)


class Firefox(Engine):
    """Firefox ESR over WebDriver BiDi, through firefox_bidi.js."""

    name = "Firefox"

    def __init__(self, width, height, ratio):
        self.process = subprocess.Popen(["node", str(FIREFOX_BIDI), str(width), str(height), str(ratio)],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.call("start")

    def call(self, *command):
        self.process.stdin.write(json.dumps(command) + "\n")
        self.process.stdin.flush()
        answer = json.loads(self.process.stdout.readline() or '{"error": "firefox_bidi.js ended"}')
        if "error" in answer:
            raise RuntimeError(f"Firefox: {command[0]}: {answer['error']}")
        return answer["value"]

    def quit(self):
        with contextlib.suppress(RuntimeError, BrokenPipeError):
            self.call("stop")
        self.process.stdin.close()
        self.process.wait(30)

    def open(self, url):
        self.call("open", url)

    def leave(self):
        """Firefox keeps a page left in the same tab alive in its back-forward cache, where it
        still counts as open: a person closes the tab."""
        self.call("reopen")

    def script(self, code, *arguments):
        return self.call("script", code, list(arguments))

    def keys(self, keys):
        """WebDriver's send keys: a modifier stays down until it is pressed again or NULL."""
        actions, held = [], []
        for key in keys:
            if key == Keys.NULL:
                actions += [("up", k) for k in reversed(held)]
                held = []
            elif key in MODIFIERS:
                actions.append(("up" if key in held else "down", key))
                held = [k for k in held if k != key] if key in held else held + [key]
            elif actions and actions[-1][0] == "type":
                actions[-1] = ("type", actions[-1][1] + key)
            else:
                actions.append(("type", key))
        actions += [("up", k) for k in reversed(held)]
        self.call("keys", actions)

    def hold_enter(self, repeats):
        self.call("keys", [("down", Keys.RETURN)] * (repeats + 1) + [("up", Keys.RETURN)])

    def named(self, role, name):
        return self.call("named", role, name)

    def click(self, x, y):
        self.call("click", x, y)

    def press(self, x, y):
        self.call("press", x, y)

    def release(self, x, y):
        self.call("release", x, y)

    def tap(self, x, y):
        self.call("tap", x, y)

    def png(self):
        return base64.b64decode(self.call("screenshot"))

    def viewport(self, width, height, ratio=1, phone=False):
        self.call("viewport", width, height, PHONE_RATIO if phone else ratio)

    def console(self):
        return self.call("said")

    def requests(self):
        return self.call("requested")


class Noting(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):  # noqa: N802
        self.server.paths.append(self.path)
        super().do_GET()

    def log_message(self, *args):
        pass


class Host(http.server.ThreadingHTTPServer):
    """A web server on 127.0.0.1 that serves a folder as any static host would, and notes the path
    of every request that reaches it; the handler, a kind of Noting, may serve it otherwise."""

    def __init__(self, folder, handler=Noting):
        self.folder = Path(folder)
        self.paths = []
        super().__init__(("127.0.0.1", 0), functools.partial(handler, directory=str(folder)))
        self.url = f"http://127.0.0.1:{self.server_port}/"
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def stop(self):
        self.shutdown()
        self.server_close()


@contextlib.contextmanager
def virtual_display(width, height):
    """An X server of its own for WebKitGTK, which draws only on a display."""
    with tempfile.TemporaryFile() as number:
        server = subprocess.Popen(["Xvfb", "-displayfd", str(number.fileno()), "-screen", "0",
                                   f"{width}x{height}x24", "-nolisten", "tcp"], pass_fds=[number.fileno()],
                                  stderr=subprocess.DEVNULL)
        try:
            for _ in range(100):
                number.seek(0)
                if (display := number.read().strip()):
                    break
                time.sleep(0.05)
            yield f":{display.decode()}"
        finally:
            server.terminate()
            server.wait()


@contextlib.contextmanager
def start(name, width=800, height=700, ratio=1):
    """One of ENGINES, its viewport width x height CSS pixels at that device pixel ratio."""
    if name == "Firefox":
        firefox = Firefox(width, height, ratio)
        try:
            yield firefox
        finally:
            firefox.quit()
    elif name == "WebKit":
        with virtual_display(1280, 1024) as display:
            os.environ["DISPLAY"] = display
            options = WebKitOptions()
            options.binary_location = MINIBROWSER
            for argument in ("--automation", "--full-screen", "--private"):
                options.add_argument(argument)
            webkit = WebKit(webdriver.WebKitGTK(executable_path=WEBKITDRIVER, options=options))
            try:
                webkit.viewport(width, height, ratio)
                yield webkit
            finally:
                webkit.driver.quit()
    else:
        with chromium(log_network=True) as driver:
            engine = Chromium(driver)
            engine.viewport(width, height, ratio)
            yield engine


@contextlib.contextmanager
def chromium(scale=1, width=800, height=700, headless=True, log_network=False, wait_for_load=True):
    """A Chromium at that device pixel ratio, its window width x height CSS pixels; headless, or on
    the display with no word that software drives it. Without wait_for_load, a page being opened
    runs the scripts sent to it as soon as its document is there, before it has loaded."""
    profile = tempfile.mkdtemp(prefix="tablinor-chromium-")
    options = ChromiumOptions()
    options.binary_location = CHROMIUM
    options.page_load_strategy = "normal" if wait_for_load else "none"
    for flag in QUIET_FLAGS + [f"--user-data-dir={profile}", f"--force-device-scale-factor={scale}",
                               f"--window-size={width},{height}"] + (["--headless=new"] if headless else []):
        options.add_argument(flag)
    options.add_experimental_option("excludeSwitches", ["enable-automation"])
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", **({"performance": "ALL"} if log_network else {})})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


PAGE = None  # the page that the test files share, and the engine they share it in
_engine = None
_session = contextlib.ExitStack()


def share(page, name):
    global PAGE, _engine
    if name not in ENGINES:
        raise SystemExit(f"unknown engine {name}; the engines are {', '.join(ENGINES)}")
    PAGE, _engine = Path(page).resolve(), name
    atexit.register(_session.close)


def shared():
    """The engine of the run, started on first use and ended with the run."""
    global _engine
    if isinstance(_engine, str):
        _engine = _session.enter_context(start(_engine, *DESKTOP))
    return _engine
