#!/usr/bin/python3
"""The web page, and the site that serves it, against a bare page showing the same picture, in
turn in one browser of each engine: Chromium, Firefox ESR and WebKitGTK (bench/README.md tells how
each figure is taken). Prints the rows of the benchmark table.

Usage: web_bench.py PAGE LOADS CYCLES [ENGINE...]
  LOADS loads of each side; after each load of the page, a first conversion and CYCLES more. The
  site is the folder "site" beside the page. Every engine when none is named.
"""

import base64
import re
import shutil
import statistics
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "web"))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "app"))
import browser  # noqa: E402
import make_page  # noqa: E402

PICTURES = Path(__file__).resolve().parent.parent / "windows" / "pictures"
NUMBER = "1234567"

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
# rendering sees the main window whole, its picture loaded and the face of its texts read.
PROBE = """self.wholeWindow = new Promise(done => {
    const look = time => {
        const window = document.getElementById('Form1');
        const picture = window?.querySelector('img');
        const face = [...document.fonts].find(face => face.family.replaceAll('"', '') === 'MS Sans Serif');
        if (window && (!picture || picture.complete) && face?.status === 'loaded') done(time);
        else requestAnimationFrame(look);
    };
    requestAnimationFrame(look);
});"""

# From the next click, in the first listener that hears it, until the browser has finished the
# first frame whose rendering sees the result window shown with every label's text (or gone): a
# message posted in that frame's animation callback runs once its style, layout and paint are done.
TIME_NEXT_CLICK = """const gone = arguments[0];
const painted = () => {
    const window = document.getElementById('Form2');
    if (!window || getComputedStyle(window).display === 'none') return false;
    const labels = [...window.querySelectorAll('[id^="Form2.Label"]')];
    return getComputedStyle(window).visibility === 'visible' && labels.every(label => label.textContent);
};
self.benchFrame = new Promise(resolve => addEventListener('click', () => {
    const start = performance.now();
    const check = () => requestAnimationFrame(() => {
        if (painted() === gone) return check();
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve(performance.now() - start);
        channel.port2.postMessage(null);
    });
    check();
}, {capture: true, once: true}));"""

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
    return median, f"{median:.2f} {unit} ({lower:.2f}–{upper:.2f})"


def row(figure, engine, program, floor, target="–", met=None):
    (program_median, program_cell), (floor_median, floor_cell) = cell(program), cell(floor)
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
    met = "yes" if size(text) < 400 * 1024 else "**no**"
    print(f"| Page size | Web | {size(text)} bytes | {size(floor)} bytes | {size(text) / size(floor):.2f}"
          f" | < 400 KB | {met} |")
    for part, bytes_ in (("the WebAssembly, as base64 in the script", f"{len(base64.b64decode(wasm))} bytes"
                          f" ({len(wasm)} as base64)"),
                         ("the script around the WebAssembly", f"{size(script) - len(wasm)} bytes"),
                         ("the page around the script", f"{size(text) - size(script)} bytes")):
        print(f"| Of it, {part} | Web | {bytes_} | – | – | – | – |")


def copies(page, folder, bare):
    """The page and a copy of the site, each with the probe and the bare page beside it; the site
    on a host."""
    folder = Path(folder)
    shutil.copytree(page.parent / "site", folder / "site")
    (folder / "page.html").write_text(probed(page.read_text(encoding="utf-8")), encoding="utf-8")
    index = folder / "site" / "index.html"
    index.write_text(probed(index.read_text(encoding="utf-8")), encoding="utf-8")
    for side in (folder, folder / "site"):
        (side / "bare.html").write_text(bare, encoding="utf-8")
    return browser.Host(folder / "site")


def bench(name, page, loads, cycles, folder):
    """The rows of one engine."""
    sides = {side: {key: [] for key in ("paint", "first", "later", "ok")}
             for side in ("program", "floor", "site", "site floor")}
    with browser.start(name) as engine:
        places = places_of(engine, page)
        bare = bare_page(*places["main"][:2])
        host = copies(page, folder, bare)
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


def main():
    page, loads, cycles = Path(sys.argv[1]).resolve(), int(sys.argv[2]), int(sys.argv[3])
    for name in sys.argv[4:] or browser.ENGINES:
        with tempfile.TemporaryDirectory(prefix="tablinor-bench-") as folder:
            floor = bench(name, page, loads, cycles, folder)
    size_rows(page, floor)


if __name__ == "__main__":
    main()
