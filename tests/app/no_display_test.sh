#!/usr/bin/env bash
# Starts the program where it cannot show itself: no display set, a display that nobody serves,
# Wayland without XWayland, a platform plugin that is not there. Each start must end with status 1
# and one line on standard error that names what is missing and what to do: no abort, no core.
set -euo pipefail
program=$1
ulimit -c 0  # an abort, should there be one, leaves no core file here
unserved=90
while [[ -e /tmp/.X11-unix/X$unserved || -e /tmp/.X$unserved-lock ]]; do unserved=$((unserved + 1)); done

failed=0
expect_one_line() {  # the pattern of the line, then the environment of the start
    local pattern=$1 status=0 said
    shift
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$program" 2>&1 >/dev/null) || status=$?
    if [[ $status != 1 || $said == *$'\n'* || $said != $pattern ]]; then
        printf 'FAIL: with %s the program ended with status %s and said:\n%s\n' "${*:-no display}" "$status" "$said" >&2
        failed=1
    fi
}
expect_one_line '*DISPLAY is not set. Start *'
expect_one_line "*\":$unserved\"*Start *" DISPLAY=":$unserved"
expect_one_line '*DISPLAY is not set. Start *XWayland*' WAYLAND_DISPLAY=wayland-tablinor-unserved
expect_one_line '*"nosuchplugin" cannot be loaded. *QT_QPA_PLATFORM*xcb*' QT_QPA_PLATFORM=nosuchplugin
((failed == 0)) && echo "Each start without a display it can use ended with status 1 and one clear line."
