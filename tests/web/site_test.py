"""The site that the build writes beside the page, served from this machine as any static host
would serve it: the browser may install it, it opens and runs with the server gone after a visit,
a new version reaches a person on the visit after next and never meets the old one, and it asks
for nothing but its own files and keeps nothing but them. In the engine of the run (page_test.py),
as far as its driver lets a test see.
"""

import json
import shutil
import sys
import tempfile
from pathlib import Path

import browser
from page_test import ENDED, Page, expected_columns

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "app"))
import make_page  # noqa: E402  (a new version of the site, made as the build makes it)

NUMBER = "8294015"
# Whether the worker of a newer version than the page's is kept, waiting for the page to go, or
# already in charge of the next visit.
NEW_WORKER = """return navigator.serviceWorker.getRegistration().then(registration =>
    !!registration.waiting || registration.active !== navigator.serviceWorker.controller)"""
# Which version of the site's script the page loaded, and which version ran.
VERSION = "return [document.querySelector('script[src]').src.split('/').pop(), self.siteVersion ?? 'A']"


def files(site):
    """The site's own files, as its worker lists them."""
    worker = (site / "service-worker.js").read_text(encoding="utf-8")
    return json.loads(worker[worker.index("const files = ") + 14:].split(";", 1)[0])


def write_new_version(site):
    """The site as the build writes it from a changed script, whose run says it is version B; the
    name of the new script."""
    built = browser.PAGE.parent
    manifest = json.loads((site / "manifest.webmanifest").read_text(encoding="utf-8"))
    wasm = next(site.glob("tablinor-verdusk.*.wasm"))
    code = next(site.glob("tablinor-verdusk.*.js")).read_text(encoding="utf-8").replace(wasm.name, make_page.WASM_NAME)
    parts = make_page.read_parts(SOURCE / "app/page.html.in", built / "app/first-window.html",
                                 built / "windows/generated/windows/forms/web/faces-notice.txt")
    make_page.write_site(
        site, *parts, manifest["name"], manifest["description"], "self.siteVersion = 'B';\n" + code,
        wasm.read_bytes(), (SOURCE / "app/manifest.webmanifest.in").read_text(encoding="utf-8"),
        (SOURCE / "app/service-worker.js.in").read_text(encoding="utf-8"),
        sorted((SOURCE / "app/icons/web").glob("*.png")))
    return next(site.glob("tablinor-verdusk.*.js")).name


class Site(Page):
    def setUp(self):
        # Each test has a copy of the site on a host of its own, an origin that this browser has
        # never seen.
        folder = Path(tempfile.mkdtemp(prefix="tablinor-site-"))
        self.addCleanup(shutil.rmtree, folder)
        shutil.copytree(browser.PAGE.parent / "site", folder / "site")
        self.host = browser.Host(folder / "site")
        self.addCleanup(self.host.stop)
        self.engine.open("about:blank")
        self.engine.requests()
        self.engine.console()
        self.addCleanup(self.assert_quiet)

    def visit(self):
        """A person opening the site, after leaving the page of it that was open."""
        self.engine.leave()
        self.engine.open_page(self.host.url)

    def first_visit(self):
        self.visit()
        self.engine.wait(lambda: self.script(browser.SITE_KEPT), "the site's worker kept nothing")

    def run_the_flow(self):
        """Convert, Ok, and the close mark."""
        self.click_entry()
        self.keys(NUMBER)
        self.convert()
        self.assertEqual(self.columns(), expected_columns(NUMBER))
        self.ok()
        self.engine.wait_gone("Form2")
        self.assertEqual(self.entry(), "")
        self.click("Form1", "Label3")
        self.engine.wait_gone("Form1")
        self.assertEqual(self.script(browser.STATUS), [ENDED])

    def test_installable(self):
        if self.engine.name != "Chromium":
            self.skipTest(f"{self.engine.name} installs no web app, and its driver reports nothing of it")
        self.first_visit()
        self.assertEqual(self.engine.cdp("Page.getInstallabilityErrors"), {"installabilityErrors": []})
        manifest = self.engine.cdp("Page.getAppManifest")
        self.assertEqual(manifest["errors"], [])
        self.assertEqual(manifest["url"], self.host.url + "manifest.webmanifest")

    def test_visits_across_a_new_version(self):
        """The visit after a new version is published runs the old one whole, and the new one runs
        from a later visit, never mixed with the old, and with the server gone. All along the site
        asks for nothing but its own files, and in the end keeps nothing but the new version's."""
        site = self.host.folder
        self.first_visit()
        old, old_files = self.script(VERSION), files(site)
        self.assertEqual(old[1], "A")
        new = write_new_version(site)
        self.visit()
        self.assertEqual(self.script(VERSION), old, "the visit after a change still runs the version kept")
        self.engine.wait(lambda: self.script(NEW_WORKER), "the new version was not kept", timeout=30)
        # The new version takes over once no page of the old one is left, which the browser finds
        # out a moment after the page has gone: until then a visit runs the old one, whole.
        seen = []
        while len(seen) < 5 and seen[-1:] != [[new, "B"]]:
            self.visit()
            seen.append(self.script(VERSION))
        self.assertEqual(seen[-1], [new, "B"], "the new version never ran")
        self.assertLessEqual(len(seen), 2, "the new version ran only after more than two visits")
        self.assertEqual(seen[:-1], [old] * (len(seen) - 1), "a visit mixed the versions")
        self.run_the_flow()

        self.assertLessEqual({path.lstrip("/") or "./" for path in self.host.paths},
                             set(old_files) | set(files(site)) | {"service-worker.js"})
        requests = self.engine.requests()
        if requests is not None:
            outside = [url for url in requests if not url.startswith((self.host.url, "data:"))]
            self.assertEqual(outside, [], "a request beyond the site")
        stored = self.script(browser.STORED)
        kept = {self.host.url + file.removeprefix("./") for file in files(site)}
        self.assertEqual(stored, {"cookie": "", "local": [], "session": [], "databases": [],
                                  "caches": {name: sorted(kept) for name in stored["caches"]}})
        self.assertEqual(len(stored["caches"]), 1, "more than the one version's files")

        self.host.stop()
        self.visit()
        self.assertEqual(self.script(VERSION), [new, "B"], "the new version runs with the server gone")
        self.run_the_flow()
