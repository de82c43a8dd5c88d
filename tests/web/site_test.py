"""The site that the build writes beside the page, served from this machine as any static host
would serve it: the browser may install it, it opens and runs with the server gone after a first
visit, a new version reaches a person on the visit after next and never meets the old one, and it
asks for nothing but its own files and keeps nothing but them. In the engine of the run
(page_test.py), as far as its driver lets a test see.
"""

import functools
import http.server
import json
import re
import shutil
import sys
import tempfile
import threading
import unittest
from pathlib import Path

import browser

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "app"))
import make_page  # noqa: E402  (a new version of the site, made as the build makes it)

NUMBER = "8294015"
DIGITS = "return [...Array(7).keys()].map(k => document.getElementById(`Form2.Label${2 * k + 1}`).textContent).join('')"
STATUS = "return [...document.querySelectorAll('[role=status]')].map(line => line.textContent)"
# The worker that keeps the site, once it has kept the site's files.
KEPT = "return navigator.serviceWorker.ready.then(registration => !!registration.active)"
# Whether the worker of a newer version than the page's is kept, waiting for the page to go, or
# already in charge of the next visit.
NEW_WORKER = """return navigator.serviceWorker.getRegistration().then(registration =>
    !!registration.waiting || registration.active !== navigator.serviceWorker.controller)"""
# Which version of the site's script the page loaded, and which version ran.
VERSION = "return [document.querySelector('script[src]').src.split('/').pop(), self.siteVersion ?? 'A']"
STORED = """return Promise.all([indexedDB.databases(), caches.keys()])
    .then(([databases, names]) => Promise.all(names.map(name => caches.open(name)
        .then(cache => cache.keys()).then(requests => [name, requests.map(request => request.url).sort()])))
    .then(kept => ({cookie: document.cookie, local: Object.keys(localStorage), session: Object.keys(sessionStorage),
                    databases: databases.map(d => d.name), caches: Object.fromEntries(kept)})));"""


def policy_of(page):
    """A page's Content-Security-Policy, each directive's sources but the hashes of inline code."""
    policy = re.search(r'http-equiv="Content-Security-Policy" content="([^"]*)"', page).group(1)
    return {name: {source for source in sources if not source.startswith("'sha256-")}
            for name, *sources in (part.split() for part in policy.split(";"))}


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):  # noqa: N802
        self.server.paths.append(self.path)
        super().do_GET()

    def log_message(self, *args):
        pass


class Host:
    """A static host on 127.0.0.1 for a copy of the site, which notes every request, and which a
    test may stop and start again at the same address."""

    def __init__(self, site):
        self.folder = Path(tempfile.mkdtemp(prefix="tablinor-site-"))
        shutil.copytree(site, self.folder, dirs_exist_ok=True)
        self.paths = []
        self.port = 0
        self.start()
        self.url = f"http://127.0.0.1:{self.port}/"

    def start(self):
        self.server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", self.port), functools.partial(Handler, directory=str(self.folder)))
        self.server.paths = self.paths
        self.port = self.server.server_port
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()

    def close(self):
        self.stop()
        shutil.rmtree(self.folder)

    def files(self):
        """The site's own files, as the worker lists them."""
        worker = (self.folder / "service-worker.js").read_text(encoding="utf-8")
        return json.loads(worker[worker.index("const files = ") + 14:].split(";", 1)[0])

    def replace_with_new_version(self):
        """The site as the build writes it from a changed script, whose run says it is version B."""
        built = browser.PAGE.parent
        manifest = json.loads((self.folder / "manifest.webmanifest").read_text(encoding="utf-8"))
        code = next(self.folder.glob("tablinor-verdusk.*.js")).read_text(encoding="utf-8")
        make_page.write_site(
            self.folder, (SOURCE / "app/page.html.in").read_text(encoding="utf-8"),
            (built / "app/first-window.html").read_text(encoding="utf-8"),
            (built / "windows/generated/windows/forms/web/faces-notice.txt").read_text(encoding="utf-8"),
            manifest["name"], manifest["description"], "self.siteVersion = 'B';\n" + code,
            (SOURCE / "app/manifest.webmanifest.in").read_text(encoding="utf-8"),
            (SOURCE / "app/service-worker.js.in").read_text(encoding="utf-8"),
            sorted((SOURCE / "app/icons/web").glob("*.png")))
        return next(self.folder.glob("tablinor-verdusk.*.js")).name


class Site(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.engine = browser.shared()

    def setUp(self):
        # Each test has a host of its own, an origin that this browser has never seen.
        self.host = Host(browser.PAGE.parent / "site")
        self.addCleanup(self.host.close)
        self.engine.open("about:blank")
        self.engine.requests()
        self.engine.console()

    def visit(self):
        """A person opening the site, after leaving the page of it that was open."""
        self.engine.leave()
        self.engine.open_page(self.host.url)

    def first_visit(self):
        self.visit()
        self.engine.wait(lambda: self.engine.script(KEPT), "the site's worker kept nothing")

    def run_the_flow(self):
        """Convert, Ok, convert again, and the close mark."""
        engine = self.engine
        engine.click_control("Form1", "Text1")
        engine.type(NUMBER)
        engine.click_control("Form1", "Label2")
        engine.wait_shown("Form2")
        self.assertEqual(engine.script(DIGITS), NUMBER)
        engine.click_control("Form2", "Command1")
        engine.wait_gone("Form2")
        self.assertEqual(engine.script("return document.getElementById('Form1.Text1').value"), "")
        engine.click_control("Form1", "Label3")
        engine.wait_gone("Form1")
        self.assertEqual(engine.script(STATUS), ["Tablinor - Verdusk has ended. Reload the page to start it again."])

    def test_installable(self):
        if self.engine.name != "Chromium":
            self.skipTest(f"{self.engine.name} installs no web app, and its driver reports nothing of it")
        self.first_visit()
        self.assertEqual(self.engine.cdp("Page.getInstallabilityErrors"), {"installabilityErrors": []})
        manifest = self.engine.cdp("Page.getAppManifest")
        self.assertEqual(manifest["errors"], [])
        self.assertEqual(manifest["url"], self.host.url + "manifest.webmanifest")

    def test_policy_widens_only_for_its_own_files(self):
        page = policy_of(browser.PAGE.read_text(encoding="utf-8"))
        site = policy_of((self.host.folder / "index.html").read_text(encoding="utf-8"))
        self.assertEqual({name: site[name] - page.get(name, set()) for name in site if site[name] != page.get(name)},
                         {"script-src": {"'self'"}, "img-src": {"'self'"}, "manifest-src": {"'self'"},
                          "worker-src": {"'self'"}})
        self.assertEqual([name for name in page if not page[name] <= site.get(name, set())], [], "narrowed")

    def test_runs_with_the_server_gone_after_a_first_visit(self):
        self.first_visit()
        self.host.stop()
        self.visit()
        self.run_the_flow()
        self.host.start()

    def test_a_new_version_runs_from_a_later_visit_and_never_meets_the_old(self):
        self.first_visit()
        old = self.engine.script(VERSION)
        self.assertEqual(old[1], "A")
        new = self.host.replace_with_new_version()
        self.visit()
        self.assertEqual(self.engine.script(VERSION), old, "the visit after a change still runs the version kept")
        self.engine.wait(lambda: self.engine.script(NEW_WORKER), "the new version was not kept", timeout=30)
        # The new version takes over once no page of the old one is left, which the browser finds
        # out a moment after the page has gone: until then a visit runs the old one, whole.
        seen = []
        while len(seen) < 5 and seen[-1:] != [[new, "B"]]:
            self.visit()
            seen.append(self.engine.script(VERSION))
        self.assertEqual(seen[-1], [new, "B"], "the new version never ran")
        self.assertLessEqual(len(seen), 2, "the new version ran only after more than two visits")
        self.assertEqual(seen[:-1], [old] * (len(seen) - 1), "a visit mixed the versions")
        self.host.stop()
        self.visit()
        self.assertEqual(self.engine.script(VERSION), [new, "B"], "the new version runs with the server gone")
        self.run_the_flow()
        self.host.start()

    def test_asks_for_its_own_files_and_keeps_only_them(self):
        self.first_visit()
        self.run_the_flow()
        self.visit()
        self.run_the_flow()
        files = self.host.files()
        self.assertLessEqual({path.lstrip("/") or "./" for path in self.host.paths}, set(files) | {"service-worker.js"})
        requests = self.engine.requests()
        if requests is not None:
            outside = [url for url in requests if not url.startswith((self.host.url, "data:"))]
            self.assertEqual(outside, [], "a request beyond the site")
        stored = self.engine.script(STORED)
        kept = {self.host.url + file.removeprefix("./") for file in files}
        self.assertEqual(stored, {"cookie": "", "local": [], "session": [], "databases": [],
                                  "caches": {name: sorted(kept) for name in stored["caches"]}})
        self.assertEqual(len(stored["caches"]), 1, "more than the one version's files")
        said = self.engine.console()
        if said is not None:
            self.assertEqual(said, [], "the site said something, a refusal of its policy perhaps")
