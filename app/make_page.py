#!/usr/bin/python3
"""Writes the web page: the template with the program's script inside it, and a
Content-Security-Policy that lets the page run that script and style, and nothing else: no
request of any kind, no other script, no plugin.

Usage: make_page.py TEMPLATE SCRIPT FACES_NOTICE NAME OUTPUT
"""

import base64
import hashlib
import html
import re
import sys
from pathlib import Path


def digest(text):
    return "'sha256-" + base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode("ascii") + "'"


def main():
    template, script, notice, name, output = sys.argv[1:]
    page = Path(template).read_text(encoding="utf-8")
    code = Path(script).read_text(encoding="utf-8")
    if "</script" in code.lower():
        sys.exit(f"{script} holds a closing script tag and cannot go inside the page")
    style = re.search(r"<style>(.*?)</style>", page, re.DOTALL).group(1)
    policy = "; ".join([
        "default-src 'none'",
        # The script compiles the WebAssembly it carries, but makes no code from text.
        f"script-src {digest(code)} 'wasm-unsafe-eval'",
        f"style-src {digest(style)}",
        "base-uri 'none'",
        "form-action 'none'",
    ])
    notice_text = Path(notice).read_text(encoding="utf-8").replace("--", "- -").strip()
    page = (page.replace("@POLICY@", policy)
            .replace("@NAME@", html.escape(name))
            .replace("@FACES_NOTICE@", notice_text)
            .replace("@SCRIPT@", code))
    Path(output).write_text(page, encoding="utf-8")


if __name__ == "__main__":
    main()
