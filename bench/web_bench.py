#!/usr/bin/python3
"""The web page, and the site that serves it, against a bare page showing the same picture, in
turn in one browser of each engine: Chromium, Firefox ESR and WebKitGTK; then a person's first
visit of the site on a phone's network, in Chromium (bench/README.md tells how each figure is
taken). Prints the rows of the benchmark table.

Usage: web_bench.py PAGE LOADS CYCLES VISITS [ENGINE...]
  LOADS loads of each side; after each load of the page, a first conversion and CYCLES more. The
  site is the folder "site" beside the page. VISITS first visits of the site and of the bare page
  on the phone's network at each screen size; and, where LIGHTHOUSE names Lighthouse's command,
  three of Lighthouse's own. Every engine when none is named.
"""

import base64
import gzip
import io
import json
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

from selenium.common.exceptions import TimeoutException

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "web"))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "app"))
import browser  # noqa: E402
import make_page  # noqa: E402

PICTURES = Path(__file__).resolve().parent.parent / "windows" / "pictures"
NUMBER = "1234567"

# Lighthouse's "slow 4G", the throttling of its mobile run: each request answered 562.5 ms late,
# 1,474.56 kbit/s down and 675 up, the processor four times slower.
SLOW_4G = {"requestLatencyMs": 562.5, "downloadThroughputKbps": 1474.56, "uploadThroughputKbps": 675,
           "cpuSlowdownMultiplier": 4}
# The screens of a first visit: a phone's, upright, and a desktop window.
SCREENS = {"360 x 640": (360, 640, True), "800 x 700": (800, 700, False)}
LIGHTHOUSE_RUNS = 3
# What a static host sends gzipped: text, not the pictures, which are compressed already.
COMPRESSED = {".html", ".js", ".wasm", ".webmanifest", ".json", ".css", ".svg"}

# The first frame with content, as the browser reports it: the time from the start of the
# navigation until that frame was presented; or, where the page's main window came whole only in
# a later frame, the start of that frame, as the probe below saw it.
FIRST_PAINT = """return Promise.all([new Promise(done => new PerformanceObserver((list, observer) => {
    const entry = list.getEntriesByName('first-contentful-paint')[0];
    if (entry) { observer.disconnect(); done(entry.startTime); }
}).observe({type: 'paint', buffered: true})), self.wholeWindow ?? 0]).then(times => Math.max(...times));"""

# Written into the copies of the page and of the site that the bench loads, right after the main
# window, so that it looks from the first frame on, however long the rest of the page takes to
# read (in the head it delayed Chromium's first frame by 6 ms): the start of the first frame whose
# rendering sees the main window whole, shown (a small screen's may be hidden until it is scaled),
# its picture loaded and the face of its texts read.
PROBE = """self.wholeWindow = new Promise(done => {
    const look = time => {
        const window = document.getElementById('Form1');
        const style = window && getComputedStyle(window);
        const picture = window?.querySelector('img');
        const face = [...document.fonts].find(face => face.family.replaceAll('"', '') === 'MS Sans Serif');
        if (style && style.display !== 'none' && style.visibility === 'visible' && (!picture || picture.complete)
            && face?.status === 'loaded') done(time);
        else requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
});"""

# When the browser has finished the first frame whose rendering sees the result window shown with
# every label's text (or gone): a message posted in that frame's animation callback runs once its
# style, layout and paint are done.
RESULT_FRAME = """const resultFrame = gone => new Promise(resolve => {
    const painted = () => {
        const window = document.getElementById('Form2');
        if (!window || getComputedStyle(window).display === 'none') return false;
        const labels = [...window.querySelectorAll('[id^="Form2.Label"]')];
        return getComputedStyle(window).visibility === 'visible' && labels.every(label => label.textContent);
    };
    const check = () => requestAnimationFrame(() => {
        if (painted() === gone) return check();
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve(performance.now());
        channel.port2.postMessage(null);
    });
    check();
});
"""

# From the next click, in the first listener that hears it, until that frame.
TIME_NEXT_CLICK = RESULT_FRAME + """const gone = arguments[0];
self.benchFrame = new Promise(resolve => addEventListener('click', () => {
    const start = performance.now();
    resultFrame(gone).then(end => resolve(end - start));
}, {capture: true, once: true}));"""

# Once the probe has seen the main window shown: the centre of its head; and from then on a watch
# for the first frame with the result window, which notes its time from the start of the navigation.
FIRST_RESULT = RESULT_FRAME + """return self.wholeWindow.then(() => {
    self.firstResult = resultFrame(false);
    const head = document.getElementById('Form1.Label2').getBoundingClientRect();
    return [head.left + head.width / 2, head.top + head.height / 2];
});"""

# The bare page's clicks, as little as shows the result picture: a click on the picture decodes
# it once a run, as the page does, and shows it where the page shows the result window; a click
# on it takes it away.
FLOOR_CLICKS = """const [bytes, left, top] = arguments;
const blob = new Blob([Uint8Array.from(atob(bytes), c => c.charCodeAt(0))], {type: 'image/jpeg'});
let bitmap;
document.querySelector('img').onclick = () => {
    const window = Object.assign(document.createElement('canvas'), {id: 'Form2', width: 250, height: 151});
    window.style.cssText = `position: absolute; left: ${left}px; top: ${top}px; visibility: hidden`;
    window.onclick = () => window.remove();
    document.body.append(window);
    bitmap ??= createImageBitmap(blob);
    bitmap.then(picture => {
        window.getContext('2d').drawImage(picture, 0, 0);
        window.style.visibility = 'visible';
    });
};"""


def jpeg(name):
    return base64.b64encode((PICTURES / name).read_bytes()).decode("ascii")


def probed(page):
    """The page with the probe, which its policy lets run, right after the main window."""
    policy = re.search(r"script-src ", page)
    page = page[:policy.end()] + make_page.digest(PROBE) + " " + page[policy.end():]
    program = re.search(r'<(script|link)[^>]* id="program"', page)
    return page[:program.start()] + f"<script>{PROBE}</script>\n" + page[program.start():]


def bare_page(left, top):
    """The floor: the main picture where the page shows it, in the page's colours, and nothing else."""
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><style>"
            "html, body { margin: 0; height: 100%; background: #3a6ea5; }"
            f" img {{ position: absolute; left: {left}px; top: {top}px; }}</style></head>\n"
            "<body><img width=\"400\" height=\"499\" alt=\"\""
            f" src=\"data:image/jpeg;base64,{jpeg('main.jpg')}\"></body></html>\n")


def timed_click(engine, point, gone):
    engine.script(TIME_NEXT_CLICK, gone)
    engine.click(*point)
    return engine.script("return self.benchFrame;")


def load(engine, url):
    """Milliseconds from the start of the navigation to the first frame with content."""
    engine.open("about:blank")
    engine.open(url)
    return engine.script(FIRST_PAINT)


def convert(engine, places, typing):
    """One conversion: the click to the result window painted, and Ok to the window gone."""
    if typing:
        engine.commit(NUMBER)
    return timed_click(engine, places["head"], False), timed_click(engine, places["ok"], True)


def places_of(engine, page):
    """Where the page shows its windows, and the centres of the head and of Ok."""
    engine.open_page(page)
    places = {"main": engine.rect("Form1"), "head": engine.centre("Form1", "Label2")}
    engine.commit(NUMBER)
    engine.click(*places["head"])
    engine.wait_shown("Form2")
    places |= {"result": engine.rect("Form2"), "ok": engine.centre("Form2", "Command1")}
    return places


def measure(engine, url, places, typing, cycles, samples):
    """One load of a side, its first conversion and `cycles` more."""
    samples["paint"].append(load(engine, url))
    if typing:
        engine.wait(lambda: engine.script(browser.RUNNING), "the program did not start")
    else:
        engine.script(FLOOR_CLICKS, jpeg("result.jpg"), *places["result"][:2])
    for cycle in range(cycles + 1):
        shown, gone = convert(engine, places, typing)
        samples["first" if cycle == 0 else "later"].append(shown)
        samples["ok"].append(gone)


def cell(samples, unit="ms"):
    lower, median, upper = statistics.quantiles(samples, n=4, method="inclusive") if len(samples) > 1 else samples * 3
    digits = 0 if unit == "bytes" else 2
    return median, f"{median:.{digits}f} {unit} ({lower:.{digits}f}–{upper:.{digits}f})"


def row(figure, engine, program, floor=None, target="–", met=None, unit="ms"):
    """A figure's row; without a floor, its ratio and its floor's cell are left empty."""
    program_median, program_cell = cell(program, unit)
    floor_median, floor_cell = cell(floor) if floor else (0, "–")
    verdict = "–" if met is None else "yes" if met(program_median, floor_median) else "**no**"
    # Firefox and WebKit count whole milliseconds, so a short figure of the floor may be 0.
    ratio = f"{program_median / floor_median:.2f}" if floor_median else "–"
    print(f"| {figure} | {engine} | {program_cell} | {floor_cell} | {ratio} | {target} | {verdict} |")


def size(text):
    return len(text.encode("utf-8"))


def size_rows(page, floor):
    """The page's bytes, and those of the WebAssembly (carried as base64) and of the script around it."""
    text = page.read_text(encoding="utf-8")
    script = re.search(r'<script type="text/plain" id="program">(.*?)</script>', text, re.DOTALL).group(1)
    wasm = re.search(r'"data:application/octet-stream;base64,([A-Za-z0-9+/=]+)"', script).group(1)
    met = "yes" if size(text) <= 220 * 1024 else "**no**"
    print(f"| Page size | Web | {size(text)} bytes | {size(floor)} bytes | {size(text) / size(floor):.2f}"
          f" | ≤ 220 KB | {met} |")
    for part, bytes_ in (("the WebAssembly, as base64 in the script", f"{len(base64.b64decode(wasm))} bytes"
                          f" ({len(wasm)} as base64)"),
                         ("the script around the WebAssembly", f"{size(script) - len(wasm)} bytes"),
                         ("the page around the script", f"{size(text) - size(script)} bytes")):
        print(f"| Of it, {part} | Web | {bytes_} | – | – | – | – |")


def copies(page, folder, bare):
    """The page and a copy of the site, each with the probe and the bare page beside it."""
    folder = Path(folder)
    shutil.copytree(page.parent / "site", folder / "site")
    (folder / "page.html").write_text(probed(page.read_text(encoding="utf-8")), encoding="utf-8")
    index = folder / "site" / "index.html"
    index.write_text(probed(index.read_text(encoding="utf-8")), encoding="utf-8")
    for side in (folder, folder / "site"):
        (side / "bare.html").write_text(bare, encoding="utf-8")


def bench(name, page, loads, cycles, folder):
    """The rows of one engine."""
    sides = {side: {key: [] for key in ("paint", "first", "later", "ok")}
             for side in ("program", "floor", "site", "site floor")}
    with browser.start(name) as engine:
        places = places_of(engine, page)
        bare = bare_page(*places["main"][:2])
        copies(page, folder, bare)
        host = browser.Host(Path(folder) / "site")
        urls = {"program": (Path(folder) / "page.html").as_uri(), "floor": (Path(folder) / "bare.html").as_uri(),
                "site": host.url, "site floor": host.url + "bare.html"}
        # The page against the bare page from disk; then the site against the bare page on the same
        # host, once the site's worker has kept the site: each side loaded once untimed first.
        for pair in (("program", "floor"), ("site", "site floor")):
            for side in pair:
                load(engine, urls[side])
                if side == "site":
                    engine.wait(lambda: engine.script(browser.SITE_KEPT), "the site's worker kept nothing")
            for round_ in range(loads):
                for side in sorted(pair, reverse=round_ % 2 == 1):  # each round begins with the other side
                    if side in ("program", "floor"):
                        measure(engine, urls[side], places, side == "program", cycles, sides[side])
                    else:
                        sides[side]["paint"].append(load(engine, urls[side]))
    host.stop()
    program, floor = sides["program"], sides["floor"]
    within = ("≤ 1.25 × floor", lambda p, f: p <= 1.25 * f)
    row("Navigation to first frame with the main window", name, program["paint"], floor["paint"], *within)
    row("Navigation to first frame with the main window, site", name, sides["site"]["paint"],
        sides["site floor"]["paint"], *within)
    under_a_frame = ("< 16 ms", lambda p, f: p < 16)
    row("Click to result window painted, first of a run", name, program["first"], floor["first"], *under_a_frame)
    row("Click to result window painted, later", name, program["later"], floor["later"], *under_a_frame)
    row("Ok to result window gone", name, program["ok"], floor["ok"])
    return bare


class Counted(io.RawIOBase):
    """A stream that counts the bytes written through it."""

    def __init__(self, stream):
        super().__init__()
        self.stream, self.count = stream, 0

    def writable(self):
        return True

    def write(self, data):
        self.count += len(data)
        return self.stream.write(data)


class Compressing(browser.Noting):
    """Serves text gzipped to a browser that takes it, at gzip's own level, as a static host does,
    and notes each answer's bytes, headers included, with what the browser asked for it as."""

    def setup(self):
        super().setup()
        self.wfile = Counted(self.wfile)

    def do_GET(self):  # noqa: N802
        super().do_GET()
        self.server.sent.append((self.headers["Sec-Fetch-Dest"], self.path, self.wfile.count))

    def send_head(self):
        path = Path(self.translate_path(self.path))
        path = path / "index.html" if path.is_dir() else path
        if path.suffix not in COMPRESSED or not path.is_file() or "gzip" not in self.headers.get("Accept-Encoding", ""):
            return super().send_head()
        body = gzip.compress(path.read_bytes(), 6, mtime=0)
        self.send_response(200)
        self.send_header("Content-type", self.guess_type(str(path)))
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Last-Modified", self.date_time_string(path.stat().st_mtime))
        self.end_headers()
        return io.BytesIO(body)


class CompressingHost(browser.Host):
    """The host, serving compressed; `sent` holds (what the browser asked for it as, path, bytes)
    for each answer."""

    def __init__(self, folder):
        self.sent = []
        super().__init__(folder, Compressing)


def first_visit(url, screen, person):
    """A first visit with an empty cache, in a Chromium of its own, on slow 4G: milliseconds from the
    start of the navigation to the first frame with the main window (or content, on the bare page);
    and for a person, who types the number and taps the head the moment the probe sees the window,
    to the first frame with the result window showing its columns, or None when the driver's wait
    for a script (30 s) runs out before it: the page lost the digits or the tap."""
    width, height, phone = screen
    with browser.chromium(wait_for_load=False) as driver:
        engine = browser.Chromium(driver)
        engine.viewport(width, height, phone=phone)
        engine.cdp("Network.enable")  # without it, only the navigation itself is throttled
        engine.cdp("Network.emulateNetworkConditions", {
            "offline": False, "latency": SLOW_4G["requestLatencyMs"],
            # in bytes a second, as Lighthouse hands them to Chromium
            "downloadThroughput": int(SLOW_4G["downloadThroughputKbps"] * 1024 / 8),
            "uploadThroughput": int(SLOW_4G["uploadThroughputKbps"] * 1024 / 8)})
        engine.cdp("Emulation.setCPUThrottlingRate", {"rate": SLOW_4G["cpuSlowdownMultiplier"]})
        engine.open(url)
        if not person:
            return engine.script(FIRST_PAINT), None
        engine.wait(lambda: engine.script("return !!self.wholeWindow;"), "the probe did not start", timeout=60)
        head = engine.script(FIRST_RESULT)
        engine.type(NUMBER)
        (engine.tap if phone else engine.click)(*head)
        frame = engine.script(FIRST_PAINT)
        try:
            return frame, engine.script("return self.firstResult;")
        except TimeoutException:
            return frame, None


def first_visit_rows(folder, visits):
    """The site's first visits on slow 4G against the bare page's, served compressed, at each screen
    size, alternately, each from a host of its own."""
    for screen, sizes in SCREENS.items():
        samples = {side: {"frame": [], "result": []} for side in ("site", "bare")}
        for visit in range(visits):
            for side in sorted(samples, reverse=visit % 2 == 1):  # each round begins with the other side
                host = CompressingHost(folder / "site")
                frame, result = first_visit(host.url + ("" if side == "site" else "bare.html"), sizes, side == "site")
                host.stop()
                samples[side]["frame"].append(frame)
                samples[side]["result"].append(result)
        site, bare = samples["site"], samples["bare"]
        row(f"First visit on slow 4G: first frame with the main window, {screen}", "Chromium", site["frame"],
            bare["frame"], "≤ 1.0 s", lambda p, f: p <= 1000)
        results = [time for time in site["result"] if time is not None]
        lost = visits - len(results)
        figure = f"First visit on slow 4G: a person's first result, {screen}"
        row(figure + (f"; none in {lost} of {visits} visits" if lost else ""), "Chromium", results or [math.inf],
            target="≤ 1.5 s", met=lambda p, f: p <= 1500 and not lost)


def first_visit_sent(site):
    """What the host sends on a first visit of the site as built, served compressed, until its
    worker has kept it: (what the browser asked for it as, path, bytes) for each answer."""
    host = CompressingHost(site)
    with browser.chromium() as driver:
        engine = browser.Chromium(driver)
        engine.open(host.url)
        engine.wait(lambda: engine.script(browser.SITE_KEPT), "the site's worker kept nothing")
    host.stop()
    return host.sent


def wire_rows(site, visits):
    """The bytes over the wire of first visits of the site: for the page (the page, its script, the
    worker's file, the manifest and the icons that the browser fetches), then for the site's worker
    (its requests are fetches, Sec-Fetch-Dest: empty; the page makes none). The browser's icon to
    install comes from the host or from the worker's copy, whichever is first, so the figures are of
    several visits; each visit's files go to standard error."""
    sides = {"the page": [], "the site's worker": []}
    for _ in range(visits):
        sent = first_visit_sent(site)
        for asker, samples in sides.items():
            answers = [(path, count) for dest, path, count in sent if (dest == "empty") == (asker != "the page")]
            samples.append(sum(count for _, count in answers))
            files = ", ".join(f"{path} {count}" for path, count in answers)
            print(f"First visit, for {asker}: {files}", file=sys.stderr)
    row("First visit over the wire, served compressed: for the page", "Web", sides["the page"], target="≤ 90 KiB",
        met=lambda p, f: p <= 90 * 1024, unit="bytes")
    row("Then for the site's worker, keeping the site", "Web", sides["the site's worker"], unit="bytes")


def lighthouse(command, url, screen):
    """Lighthouse's own first visit, its throttling DevTools' on slow 4G: its first contentful paint
    and its count of the bytes, in its JSON report."""
    width, height, phone = screen
    # Lighthouse splits the flags it gives Chromium at spaces, but not inside quotes.
    chromium_flags = " ".join(re.sub(r"=(.* .*)", r'="\1"', flag) for flag in ["--headless=new"] + browser.QUIET_FLAGS)
    options = [f"--throttling.{name}={value}" for name, value in SLOW_4G.items()] + [
        "--throttling-method=devtools", "--only-audits=first-contentful-paint,total-byte-weight",
        f"--form-factor={'mobile' if phone else 'desktop'}", f"--screenEmulation.mobile={str(phone).lower()}",
        f"--screenEmulation.width={width}", f"--screenEmulation.height={height}",
        f"--screenEmulation.deviceScaleFactor={browser.PHONE_RATIO if phone else 1}",
        f"--chrome-flags={chromium_flags}", "--output=json", "--output-path=stdout", "--quiet"]
    if not phone:
        options.append("--emulatedUserAgent=false")  # the browser's own, as in the bench's visits
    report = json.loads(subprocess.run([command, url] + options, env=os.environ | {"CHROME_PATH": browser.CHROMIUM},
                                       capture_output=True, text=True, check=True).stdout)
    audits = report["audits"]
    return report["lighthouseVersion"], audits["first-contentful-paint"]["numericValue"], \
        audits["total-byte-weight"]["numericValue"]


def lighthouse_rows(command, site):
    """Lighthouse's first contentful paint and count of the bytes on the site as built, served
    compressed, at each screen size."""
    for screen, sizes in SCREENS.items():
        runs = []
        for _ in range(LIGHTHOUSE_RUNS):
            host = CompressingHost(site)
            runs.append(lighthouse(command, host.url, sizes))
            host.stop()
        version = runs[0][0]
        row(f"Lighthouse {version}: first contentful paint on slow 4G, {screen}", "Chromium",
            [paint for _, paint, _ in runs])
        row(f"Lighthouse {version}: its count of the bytes of the page's first visit, {screen}", "Chromium",
            [weight for _, _, weight in runs], unit="bytes")


def main():
    page, loads, cycles, visits = Path(sys.argv[1]).resolve(), int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    engines = sys.argv[5:] or browser.ENGINES
    for name in engines:
        with tempfile.TemporaryDirectory(prefix="tablinor-bench-") as folder:
            floor = bench(name, page, loads, cycles, folder)
    size_rows(page, floor)
    if "Chromium" in engines:
        wire_rows(page.parent / "site", visits)
        with tempfile.TemporaryDirectory(prefix="tablinor-bench-") as folder:
            copies(page, folder, floor)
            first_visit_rows(Path(folder), visits)
        if os.environ.get("LIGHTHOUSE"):
            lighthouse_rows(os.environ["LIGHTHOUSE"], page.parent / "site")


if __name__ == "__main__":
    main()
