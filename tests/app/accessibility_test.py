#!/usr/bin/env python3
"""Drives the built program through the accessibility bus alone, as a screen-reader user does: it
finds the controls by their accessible names, sets the entry's text, does the actions of the
click area, the Ok button and the close mark, and reads the result window's labels.

The screen reader comes after the program: the bus's launcher starts before the program (as on a
desktop) or after it, and the screen reader is switched on only once the program shows its window.
The launcher is started without a display, so that it publishes the bus on the session bus alone,
as on Wayland, and not also on the X display where Qt would find it at start.

Usage: accessibility_test.py PROGRAM launcher-first|program-first, on an X display and inside a
session bus of its own (accessibility_test.sh sets both up).
"""

import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import Gio, GLib

TITLE = "Tablinor - Verdusk"
# What a screen reader may set into the entry, and what the seven-unit box keeps of it.
SET_TEXTS = [
    ("12345678", "1234567"),
    ("123456\U0001F600", "123456"),
    ("8294015", "8294015"),
]
# The result window's columns for the last of them: each digit, then its consonants.
COLUMNS = [("8", "CH J G"), ("2", "N Ñ"), ("9", "V B P"), ("4", "C K Q"), ("0", "R"), ("1", "T D"), ("5", "L")]
# The main window's controls: role, name, actions. Only the labels with a click handler act.
MAIN_WINDOW = [
    ("text", "Números", ["SetFocus"]),
    ("label", "Números", []),
    ("push button", "Convertir", ["Press"]),
    ("push button", "Cerrar", ["Press"]),
]

session = Gio.bus_get_sync(Gio.BusType.SESSION)


def fail(message):
    sys.exit(f"FAIL: {message}")


def wait_for(what, found, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = found()
        if result:
            return result
        time.sleep(0.05)
    fail(f"{what} after {seconds} seconds")


def bus_call(destination, path, interface, method, arguments, reply):
    return session.call_sync(destination, path, interface, method, arguments, GLib.VariantType(reply),
                             Gio.DBusCallFlags.NONE, -1, None).unpack()


def start_launcher():
    environment = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
    environment["GSETTINGS_BACKEND"] = "memory"  # the status it keeps stays in this session
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=environment)
    wait_for("no accessibility bus on the session bus",
             lambda: bus_call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "NameHasOwner", GLib.Variant("(s)", ("org.a11y.Bus",)), "(b)")[0])
    return launcher


def start_program(program):
    started = subprocess.Popen([program])
    subprocess.run(["timeout", "10", "xdotool", "search", "--sync", "--onlyvisible", "--name", f"^{TITLE}$"],
                   check=True, stdout=subprocess.DEVNULL)
    return started


def switch_screen_reader_on():
    bus_call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
             GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))), "()")


def find_program():
    def shown():
        desktop = pyatspi.Registry.getDesktop(0)
        desktop.clearCache()
        return next((app for app in desktop if app is not None and find(app, TITLE, wait=False)), None)
    return wait_for("the screen reader found no window of the program", shown)


def find(app, name, role=None, wait=True):
    def search():
        app.clearCache()
        return pyatspi.findDescendant(app, lambda node: node.name == name and role in (None, node.getRoleName()))
    return wait_for(f"no {role or 'window'} named {name!r}", search) if wait else search()


def actions(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(index) for index in range(action.nActions)]


def press(node):
    names = actions(node)
    if "Press" not in names:
        fail(f"{node.getRoleName()} {node.name!r} offers {names}, no Press")
    node.queryAction().doAction(names.index("Press"))


def entry_text(entry):
    return entry.queryText().getText(0, -1)


def dump(node, depth=0):
    print(f"{'  ' * depth}{node.getRoleName()} {node.name!r} {actions(node)}")
    for child in node:
        dump(child, depth + 1)


def drive(app, program):
    dump(app)
    for role, name, expected in MAIN_WINDOW:
        offered = actions(find(app, name, role))
        if offered != expected:
            fail(f"{role} {name!r} offers {offered}, expected {expected}")
    entry = find(app, "Números", "text")
    labels = [relation.getTarget(0).name for relation in entry.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    if labels != ["Números"]:
        fail(f"the entry is labelled by {labels}")
    for text, kept in SET_TEXTS:
        entry.queryEditableText().setTextContents(text)
        if entry_text(entry) != kept:
            fail(f"set {text!r}, the entry holds {entry_text(entry)!r}, expected {kept!r}")
    press(find(app, "Convertir", "push button"))
    result = find(app, "Form2")
    columns = [(result[index].name, result[index + 1].name) for index in range(0, 2 * len(COLUMNS), 2)]
    if columns != COLUMNS:
        fail(f"the result window reads {columns}")
    dump(result)
    press(find(app, "Ok", "push button"))
    wait_for("the result window still open", lambda: find(app, "Form2", wait=False) is None)
    if entry_text(entry) != "":
        fail(f"Ok left {entry_text(entry)!r} in the entry")
    try:
        press(find(app, "Cerrar", "push button"))
    except GLib.Error:
        pass  # the program may end before it answers
    try:
        status = program.wait(timeout=5)
    except subprocess.TimeoutExpired:
        fail("the close mark did not end the run")
    if status != 0:
        fail(f"the close mark ended the run with status {status}")


def main(program_path, order):
    launcher = program = None
    try:
        if order == "launcher-first":
            launcher = start_launcher()
        program = start_program(program_path)
        if order == "program-first":
            launcher = start_launcher()
        switch_screen_reader_on()
        drive(find_program(), program)
    finally:
        for process in (program, launcher):
            if process is not None:
                process.terminate()
                process.wait()
    print(f"{order}: the screen reader found the program, converted a number, pressed Ok and closed it")


if __name__ == "__main__":
    main(*sys.argv[1:])
