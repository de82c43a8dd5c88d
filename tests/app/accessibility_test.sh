#!/usr/bin/env bash
# Drives the built program through the accessibility bus alone (accessibility_test.py), with the
# bus's launcher started before the program and after it, each time in a session bus of its own.
set -euo pipefail
here=$(dirname -- "${BASH_SOURCE[0]}")
source "$here/../../scripts/setup.sh"
program=$(realpath "$1")
trap 'kill $(jobs -p) 2>/dev/null' EXIT
ensure_runtime_dir
start_virtual_display
for order in launcher-first program-first; do
    # Debian's python3-pyatspi is there for Debian's own interpreter, whichever the PATH names first.
    dbus-run-session -- /usr/bin/python3 "$here/accessibility_test.py" "$program" "$order"
done
