#!/usr/bin/python3
"""Writes the web page, and the site that serves it for people to install.

The page is one file that works anywhere, opened from disk too: the template with the main window
written into it and the program's script inside it, the WebAssembly in the script. Its
Content-Security-Policy lets it run that script and its own styles and show the picture and face
it carries, and nothing else: no request of any kind, no other script, no plugin.

The site is a folder for any static host: the same page as index.html, with the script and the
WebAssembly in files of their own named by their content, which the page asks for as soon as it
starts to arrive and the browser compiles as it downloads, a web app manifest with its icons, and a
service worker that keeps the site's files for use offline. Its page may also load the site's own
script, WebAssembly, manifest, icons and worker, from its own origin.

The scripts are minified with Debian's terser (NODE_PATH=/usr/share/nodejs).

Usage: make_page.py TEMPLATE SCRIPT SITE_SCRIPT FIRST_WINDOW FACES_NOTICE NAME SUMMARY PAGE SITE MANIFEST
                    WORKER ICON...
  SCRIPT carries the WebAssembly; SITE_SCRIPT loads it from the file beside it, named as WASM_NAME.
  ICON is a PNG file named by what the manifest calls it (192.png, 512.png, maskable-512.png,
  32.png for the tab).
"""

import base64
import hashlib
import html
import json
import re
import shutil
import subprocess
import sys
from pathlib import Path

# What the site's script calls its WebAssembly as Emscripten links it.
WASM_NAME = "tablinor-verdusk-site.wasm"
# The icons that the browser asks for on a visit, the tab's and the one it checks the site's
# installability with, which the worker keeps; the larger ones it fetches only to install.
VISITED_ICONS = ("32.png", "192.png")

# Once the site's page has loaded, its files are kept for use offline. Each later visit then asks
# the host for the worker's file, whatever caches lie between, for a new version, which the worker
# takes beside the one in use: not every engine asks by itself. With the host gone there is nothing
# to ask, and the version kept runs on.
REGISTER = """<script>
addEventListener("load", () => navigator.serviceWorker?.register("service-worker.js", {updateViaCache: "none"})
    .then(registration => registration.active && registration.update()).catch(() => {}));
</script>
"""

TERSER = """const code = require("fs").readFileSync(0, "utf8");
require("terser").minify(code, {ecma: 2020}).then(result => process.stdout.write(result.code));"""


def digest(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode("ascii") + "'"


def content_name(stem, data, suffix):
    return f"{stem}.{hashlib.sha256(data).hexdigest()[:12]}{suffix}"


def minified(code):
    return subprocess.run(["node", "-e", TERSER], input=code, capture_output=True, text=True, check=True).stdout


def inline(page, tag):
    """The text of each inline element of the tag in the page."""
    return re.findall(rf"<{tag}>(.*?)</{tag}>", page, re.DOTALL)


def with_policy(page, site, program=None):
    """The page with its Content-Security-Policy, which names every inline script and style, and
    the program's script that the page carries as text."""
    own = ["'self'"] if site else [digest(program)]
    scripts = " ".join(own + [digest(text) for text in inline(page, "script")])
    policy = [
        "default-src 'none'",
        # The script compiles the WebAssembly it carries, or on the site fetches, but makes no
        # code from text.
        f"script-src {scripts} 'wasm-unsafe-eval'",
        f"style-src {' '.join(digest(text) for text in inline(page, 'style'))}",
        # The main window's picture and face, written into the page.
        "img-src data:" + (" 'self'" if site else ""),
        "font-src data:",
    ]
    if site:
        policy += ["connect-src 'self'", "manifest-src 'self'", "worker-src 'self'"]
    policy += ["base-uri 'none'", "form-action 'none'"]
    return page.replace("@POLICY@", "; ".join(policy))


def page_text(template, first_window, notice, name, summary, head, program):
    return (template.replace("@NAME@", html.escape(name))
            .replace("@SUMMARY@", html.escape(summary))
            .replace("@HEAD@", head)
            .replace("@FACES_NOTICE@", notice)
            .replace("@FIRST_WINDOW@", first_window)
            .replace("@PROGRAM@", program))


def write_site(folder, template, first_window, notice, name, summary, code, wasm, manifest, worker, icons):
    """The site's files, the page's script and its WebAssembly named by their content so that a page
    only ever loads the script it was made with, and the script the WebAssembly it was made with,
    and the worker named by the version of all of them. The code names its WebAssembly WASM_NAME."""
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "icons").mkdir(parents=True)
    wasm_file = content_name("tablinor-verdusk", wasm, ".wasm")
    (folder / wasm_file).write_bytes(wasm)
    code = code.replace(f'"{WASM_NAME}"', f'"{wasm_file}"')
    script = content_name("tablinor-verdusk", code.encode("utf-8"), ".js")
    (folder / script).write_text(code, encoding="utf-8")
    for icon in icons:
        shutil.copyfile(icon, folder / "icons" / icon.name)
    (folder / "manifest.webmanifest").write_text(
        manifest.replace("@NAME@", name).replace("@SUMMARY@", summary), encoding="utf-8")
    # Asked for before the rest of the page has arrived, so that both come while it does.
    head = (f'<link rel="preload" as="script" id="program" href="{script}">\n'
            f'<link rel="preload" as="fetch" href="{wasm_file}" crossorigin>\n'
            '<link rel="manifest" href="manifest.webmanifest">\n<link rel="icon" href="icons/32.png">\n'
            '<meta name="theme-color" content="#0b4f55">\n')
    page = page_text(template, first_window, notice, name, summary, head, REGISTER)
    (folder / "index.html").write_text(with_policy(page, site=True), encoding="utf-8")
    files = ["./", "index.html", script, wasm_file, "manifest.webmanifest"] + [f"icons/{icon}" for icon in VISITED_ICONS]
    version = hashlib.sha256(b"".join((folder / file).read_bytes() for file in files[1:])).hexdigest()[:16]
    (folder / "service-worker.js").write_text(
        worker.replace("@VERSION@", f"tablinor-verdusk-{version}").replace("@FILES@", json.dumps(files)),
        encoding="utf-8")


def read_parts(template, first_window, notice):
    """The page's template, the main window as the build wrote it, and the faces' notice made fit
    for the comment that holds it."""
    return (Path(template).read_text(encoding="utf-8"), Path(first_window).read_text(encoding="utf-8"),
            Path(notice).read_text(encoding="utf-8").replace("--", "- -").strip())


def program_code(script):
    code = minified(Path(script).read_text(encoding="utf-8")) + "\nTablinorVerdusk();\n"
    if "</script" in code.lower():
        sys.exit(f"{script} holds a closing script tag and cannot go inside the page")
    return code


def main():
    template, script, site_script, first_window, notice, name, summary, page, site, manifest, worker, *icons = \
        sys.argv[1:]
    template, first_window, notice = read_parts(template, first_window, notice)
    code = program_code(script)
    single = page_text(template, first_window, notice, name, summary, "",
                       f'<script type="text/plain" id="program">{code}</script>\n')
    Path(page).write_text(with_policy(single, site=False, program=code), encoding="utf-8")
    write_site(Path(site), template, first_window, notice, name, summary, program_code(site_script),
               Path(site_script).with_suffix(".wasm").read_bytes(), Path(manifest).read_text(encoding="utf-8"),
               Path(worker).read_text(encoding="utf-8"), [Path(icon) for icon in icons])


if __name__ == "__main__":
    main()
