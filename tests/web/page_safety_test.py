"""The page is safe by construction: it asks nothing of the network, keeps nothing in the browser,
runs no code from elsewhere and is allowed no connection; it works offline; and a damaged picture
inside it ends the run with one clear line. In the engine of the run (page_test.py).
"""

import base64
import json
import re
import struct
import sys
import tempfile
import time
import unittest
import urllib.request
from pathlib import Path

import browser

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "app"))
import make_page  # noqa: E402  (the page's own digest, for a page changed here)

# The main window's picture, which the page carries with the window written into it, and the result
# window's, which the program carries as its design data holds it.
PICTURE = (SOURCE / "windows/pictures/main.jpg").read_bytes()
RESULT_PICTURE = (SOURCE / "windows/pictures/result.jpg").read_bytes()
PERSISTED = b"lt\0\0" + struct.pack("<I", len(RESULT_PICTURE)) + RESULT_PICTURE
# The JPEG's bytes before its first run of zeros: its header, its tables and its frame.
HEADS = PICTURE.index(b"\0\0\0")
WRITTEN_PICTURE = re.compile(r'data-written><img alt="" src="data:image/jpeg;base64,([A-Za-z0-9+/=]+)"')
WEBASSEMBLY = re.compile(r"data:application/octet-stream;base64,([A-Za-z0-9+/=]+)")
PROGRAM = re.compile(r'<script type="text/plain" id="program">(.*?)</script>', re.DOTALL)
SOURCES_ALLOWED = re.compile(r"'none'|'sha256-[A-Za-z0-9+/=]+'|'wasm-unsafe-eval'")
# The main window's picture and face, written into the page as data.
DATA_ALLOWED = {"img-src", "font-src"}


class SafeByConstruction(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # A server that the page may try to reach, with one file for the test to ask for.
        folder = tempfile.TemporaryDirectory()
        cls.addClassCleanup(folder.cleanup)
        (Path(folder.name) / "from-the-test").touch()
        cls.server = browser.Host(folder.name)
        cls.addClassCleanup(cls.server.stop)
        cls.engine = engine = browser.shared()
        engine.open("about:blank")
        engine.requests()  # what the browser loaded on its own before the page: its start page
        engine.console()
        engine.convert(browser.PAGE, "8294015")
        # Read with both windows up, so that the elements the program makes are counted too.
        cls.references = engine.script("""
            const urlAttributes = ['src', 'href', 'srcset', 'action', 'formaction', 'data', 'poster', 'ping'];
            const outside = [];
            for (const e of document.querySelectorAll('*'))
                for (const a of e.attributes)
                    if (urlAttributes.includes(a.name) && !/^(#|data:)/.test(a.value) || /url\\((?!data:)/i.test(a.value))
                        outside.push(`${e.tagName} ${a.name}=${a.value}`);
            for (const sheet of document.styleSheets)
                for (const rule of sheet.cssRules)
                    if (/url\\((?!"?data:)|@import/i.test(rule.cssText)) outside.push(rule.cssText);
            return {scripts: [...document.scripts].map(s => s.hasAttribute('src') ? s.src : 'inline'),
                    embedded: document.querySelectorAll('link, iframe, frame, object, embed, base').length,
                    outside, fetched: performance.getEntriesByType('resource').map(entry => entry.name)};""")
        engine.click_control("Form2", "Command1")
        engine.wait_gone("Form2")
        engine.click_control("Form1", "Label3")
        engine.wait_gone("Form1")
        cls.requests = engine.requests()
        cls.console = engine.console()

    def test_the_only_request_is_the_page_itself(self):
        # Firefox tells of no request for a file; WebKitWebDriver of none at all: there the page's
        # own resource timing, which lists every fetch it made, proves it (test_no_code_from_elsewhere).
        if self.requests is None:
            print(f"{self.engine.name}: requests as the page's resource timing lists them", file=sys.stderr)
        else:
            self.assertLessEqual({url for url in self.requests if not url.startswith("data:")}, {browser.PAGE.as_uri()})
        if self.console is not None:
            self.assertEqual(self.console, [], "the page said something, a refusal of its policy perhaps")

    def test_nothing_is_stored(self):
        # The bytes in use before the stores are looked into, which may open them.
        stored = self.engine.script(
            "return Promise.resolve(navigator.storage?.estimate() ?? {usage: 0}).then(estimate => ({"
            "    bytes: estimate.usage, serviceWorker: !!navigator.serviceWorker?.controller}))"
        ) | self.engine.script(browser.STORED)
        self.assertEqual(stored, {"cookie": "", "local": [], "session": [], "databases": [], "caches": {},
                                  "bytes": 0, "serviceWorker": False})

    def test_policy_allows_no_connection(self):
        policies = self.engine.script(
            "return [...document.querySelectorAll('meta[http-equiv=\"Content-Security-Policy\" i]')]"
            ".map(meta => meta.content)")
        self.assertEqual(len(policies), 1)
        policy = {name: sources for name, *sources in (part.split() for part in policies[0].split(";"))}
        self.assertEqual(policy["default-src"], ["'none'"])
        for name, sources in policy.items():
            with self.subTest(directive=name):
                allowed = [s for s in sources if not SOURCES_ALLOWED.fullmatch(s)
                           and not (s == "data:" and name in DATA_ALLOWED)] if name.endswith("-src") else []
                self.assertEqual(allowed, [], "a source other than the page's own script, style and data")

    def test_no_code_from_elsewhere(self):
        self.assertEqual(self.references | {"scripts": set(self.references["scripts"])},
                         {"scripts": {"inline"}, "embedded": 0, "outside": [], "fetched": []})

    def test_connections_from_the_page_are_refused(self):
        url = self.server.url
        urllib.request.build_opener(urllib.request.ProxyHandler({})).open(url + "from-the-test").close()
        self.assertEqual(self.server.paths, ["/from-the-test"], "the server does not answer")
        self.server.paths.clear()
        attempts = self.engine.script("""
            const [url, socket] = arguments;
            const refusals = [];
            document.addEventListener('securitypolicyviolation',
                                      e => refusals.push([e.effectiveDirective, e.blockedURI]));
            const outcome = (name, attempt) =>
                new Promise(attempt).then(() => name + ' answered', () => name + ' refused');
            return Promise.all([
                outcome('fetch', (ok, no) => fetch(url + 'fetch').then(ok, no)),
                outcome('XMLHttpRequest', (ok, no) => {
                    const request = new XMLHttpRequest();
                    Object.assign(request, {onload: ok, onerror: no});
                    request.open('GET', url + 'request');
                    request.send(); }),
                outcome('WebSocket', (ok, no) => Object.assign(new WebSocket(socket), {onopen: ok, onerror: no})),
                outcome('Image', (ok, no) => Object.assign(new Image(), {onload: ok, onerror: no, src: url + 'image'})),
            ]).then(outcomes => new Promise(done => setTimeout(() => done({outcomes, refusals}), 200)));""",
            url, url.replace("http", "ws"))
        self.assertEqual(attempts["outcomes"], ["fetch refused", "XMLHttpRequest refused", "WebSocket refused",
                                                "Image refused"])
        self.assertCountEqual(attempts["refusals"], [["connect-src", url + "fetch"], ["connect-src", url + "request"],
                                                     ["connect-src", url.replace("http", "ws")],
                                                     ["img-src", url + "image"]])
        self.assertEqual(self.server.paths, [], "a request reached the server")


def damaged(page, found, change):
    """The page with the base64 that `found` matched changed as `change` changes its bytes."""
    data = change(base64.b64decode(found.group(1)))
    return page[:found.start(1)] + base64.b64encode(data).decode("ascii") + page[found.end(1):]


def damaged_page(folder, where, offset, replacement):
    """The page with a picture's bytes from offset on replaced: the main window's picture in the
    page ("page"), or the result window's persisted picture inside the WebAssembly ("program"). The
    module's data leaves out runs of zeros, so the damage stays within the picture's first bytes,
    which the module holds in one piece."""
    page = browser.PAGE.read_text(encoding="utf-8")
    end = offset + len(replacement)
    if where == "page":
        return write(folder, damaged(page, WRITTEN_PICTURE.search(page),
                                     lambda jpeg: jpeg[:offset] + replacement + jpeg[end:]))

    def in_program(wasm):
        at = wasm.index(PERSISTED[:end])
        return wasm[:at + offset] + replacement + wasm[at + end:]
    changed = damaged(page, WEBASSEMBLY.search(page), in_program)
    # The policy lets the browser run only the program it was made with.
    program, changed_program = (PROGRAM.search(text).group(1) for text in (page, changed))
    return write(folder, changed.replace(make_page.digest(program), make_page.digest(changed_program)))


def write(folder, page):
    path = Path(folder) / "damaged.html"
    path.write_text(page, encoding="utf-8")
    return path


class Slow(browser.Noting):
    """Serves the page as a slow connection brings it: the program's inert script stops halfway
    for a second, time for the browser to show the main window and run what came before."""

    def do_GET(self):  # noqa: N802
        page = browser.PAGE.read_bytes()
        program = PROGRAM.search(page.decode("utf-8")).group(1).encode("utf-8")
        halfway = page.index(program) + len(program) // 2
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page[:halfway])
        self.wfile.flush()
        time.sleep(1)
        self.wfile.write(page[halfway:])


class OnItsOwn(unittest.TestCase):
    """The page with the network off or slow, and pages whose picture is damaged."""

    CASES = [
        ("the image", "page", 16, bytes(range(1, 256))[:HEADS - 16], "the picture of Form1 does not decode"),
        ("the length", "program", 4, struct.pack("<I", len(RESULT_PICTURE) + 1),
         f"the design data says {len(RESULT_PICTURE) + 1} bytes, but holds {len(RESULT_PICTURE)}"),
    ]

    @classmethod
    def setUpClass(cls):
        cls.engine = browser.shared()

    def test_works_with_the_network_off(self):
        if self.engine.name != "Chromium":
            self.skipTest(f"{self.engine.name}'s driver cannot take the network away; no request is asked for")
        self.engine.cdp("Network.enable")
        self.engine.cdp("Network.emulateNetworkConditions", {
            "offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
        self.addCleanup(self.engine.cdp, "Network.emulateNetworkConditions", {
            "offline": False, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
        self.engine.convert(browser.PAGE, "8294015")
        self.assertFalse(self.engine.script("return navigator.onLine"))
        digits = self.engine.script(
            "return [...Array(7).keys()].map(k => document.getElementById(`Form2.Label${2 * k + 1}`).textContent)")
        self.assertEqual("".join(digits), "8294015")

    def test_starts_when_it_arrives_slowly(self):
        host = browser.Host(browser.PAGE.parent, Slow)
        self.addCleanup(host.stop)
        self.engine.open_page(host.url + browser.PAGE.name)

    def test_damaged_picture_ends_the_run_with_one_clear_line(self):
        engine = self.engine
        engine.console()
        with tempfile.TemporaryDirectory() as folder:
            for damage, where, offset, replacement, reason in self.CASES:
                with self.subTest(damage=damage):
                    line = "Tablinor - Verdusk: run-time error: invalid picture: " + reason
                    engine.open(damaged_page(folder, where, offset, replacement).as_uri())
                    engine.wait(lambda: engine.script(browser.STATUS), "no line on the page", timeout=5)
                    self.assertEqual(engine.script(browser.STATUS), [line])
                    said = engine.console()
                    if said is not None:
                        self.assertEqual([json.dumps(line) in e or line in e for e in said], [True],
                                         "not that one error on the console")
                    self.assert_nothing_runs(status=[line])

    def assert_nothing_runs(self, status):
        """Clicks and types where the windows would be: nothing answers, nothing shows."""
        width, height = self.engine.script(
            "return [document.documentElement.clientWidth, document.documentElement.clientHeight]")
        left, top = (width - 400) // 2, (height - 499) // 2
        for x, y in [(190, 132), (188, 320), (384, 16)]:  # the entry, the picture's head, the close mark
            self.engine.click(left + x, top + y)
            self.engine.keys("8294015")
        self.engine.next_frame()
        self.assertEqual(self.engine.script(browser.WINDOWS), 0)
        self.assertEqual(self.engine.script(browser.STATUS), status)
        self.assertEqual(self.engine.console() or [], [])

