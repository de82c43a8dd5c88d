# shellcheck shell=bash
# What the tests of "Tablinor - Verdusk.exe" under wine share: starting the program, reading its
# windows with win32_window_probe.exe, waiting for them, and seeing it end. Sourced by a test with
# $program and $probe_exe set; runs on the display and in the wine prefix that scripts/test-windows
# sets up.
pid=

# wine's loader does not end the program it started: end the prefix's processes instead.
end_program() {
    [[ -n $pid ]] && wineserver -k 2>/dev/null && wait "$pid" 2>/dev/null
    pid=
}

fail() { echo "FAIL: $*" >&2; exit 1; }

probe() { wine "$probe_exe" "$@"; }

report() {  # what win32_window_probe shows of the window with that title, waiting for it a while
    for _ in $(seq 100); do
        probe show "$1" && return
        sleep 0.1
    done
    fail "no window '$1' is shown"
}

gone() {  # waits until no window with that title is shown
    for _ in $(seq 100); do
        probe show "$1" >/dev/null || return 0
        sleep 0.1
    done
    fail "the window '$1' is still shown"
}

expect() {  # what, actual, expected
    [[ $2 == "$3" ]] || fail "$1 is '$2', expected '$3'"
}

expect_soon() {  # what, a command, what it must come to print: waits ten seconds for it at most
    local actual deadline=$((SECONDS + 10))
    while ((SECONDS < deadline)); do
        actual=$("${@:2:$#-2}") && [[ $actual == "${!#}" ]] && return
        sleep 0.1
    done
    fail "$1 is '$actual', expected '${!#}'"
}

has_keyboard_focus() {  # waits until the window with that title has the X input focus, as typed keys need
    local id
    id=$(xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
    for _ in $(seq 50); do
        [[ $(xdotool getwindowfocus 2>/dev/null) == "$id" ]] && return
        sleep 0.1
    done
    fail "'$1' does not have the keyboard focus"
}

start() {
    wine "$program" &
    pid=$!
    report "Tablinor - Verdusk" >/dev/null
}

ends_with_status_zero() {
    for _ in $(seq 100); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" || fail "the program ended with status $?"
            pid=
            return
        fi
        sleep 0.1
    done
    fail "the program still runs after $1"
}
