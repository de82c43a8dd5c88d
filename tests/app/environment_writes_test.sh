#!/usr/bin/env bash
# Runs the real program's scripted sessions (real_program_test.sh) with the environment watch
# preloaded, and fails on any write to the environment made while the program had more than one
# thread: glibc's setenv may free the environment under another thread's getenv. Each set-up is
# one the program meets, and names the writes it must see, so that a watch that saw nothing fails:
#   session-bus          a session bus of the test's own, as in every desktop session
#   accessibility-bus    no session bus, and the display names an accessibility bus (AT_SPI_BUS)
#   started-from-a-menu  no session bus, under openbox, with the launch feedback's DESKTOP_STARTUP_ID,
#                        which must still end once the window shows
#   scale2               no session bus, at twice the density
#   wayland              no session bus, under weston, through XWayland
#   environment_writes_test.sh PROGRAM WATCH SET-UP
set -euo pipefail
program=$(realpath "$1")
watch=$(realpath "$2")
setup=$3
here=$(dirname -- "${BASH_SOURCE[0]}")
source "$here/../../scripts/setup.sh"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$work"' EXIT

unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS DESKTOP_STARTUP_ID
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime  # with no bus in it
desktop=plain
before_start=""
written=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON DBUS_SESSION_BUS_ADDRESS)
case $setup in
    session-bus)
        start_message_bus "$work/session-bus"
        export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/session-bus"
        written=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON)
        ;;
    accessibility-bus)
        start_message_bus "$work/accessibility-bus"
        before_start="xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS unix:path=$work/accessibility-bus"
        written+=(AT_SPI_BUS_ADDRESS)
        ;;
    started-from-a-menu)
        desktop=openbox
        export DESKTOP_STARTUP_ID="tablinor-verdusk-$$_TIME0"
        # The feedback ends with a message to the root window, which xev hears.
        before_start="timeout 30 xev -root -event property >$work/feedback.\$\$ 2>/dev/null & sleep 0.3"
        written+=(DESKTOP_STARTUP_ID)
        ;;
    scale2) desktop=scale2 ;;
    wayland)
        desktop=wayland
        written+=(QT_QPA_PLATFORM)
        ;;
    *) echo "unknown set-up: $setup" >&2; exit 2 ;;
esac

cat >"$work/watched" <<SCRIPT
#!/bin/sh
$before_start
ENVIRONMENT_WATCH_LOG="$work/writes.\$\$" LD_PRELOAD="$watch" exec "$program"
SCRIPT
chmod +x "$work/watched"
"$here/real_program_test.sh" "$work/watched" "$desktop" >/dev/null

fail() { echo "FAIL: $*" >&2; failed=1; }
failed=0
starts=("$work"/writes.*)
((${#starts[@]} == 3)) || fail "the sessions started the program ${#starts[@]} times, not three"
for log in "${starts[@]}"; do
    if early=$(grep -v ' threads=1$' "$log"); then
        fail "written while other threads ran:"$'\n'"$early"
    fi
    for variable in "${written[@]}"; do
        grep -q " $variable threads=" "$log" || fail "the program did not write $variable, or the watch missed it"
    done
done
if [[ $setup == started-from-a-menu ]]; then
    for heard in "$work"/feedback.*; do
        grep -q _NET_STARTUP_INFO_BEGIN "$heard" || fail "the launch feedback did not end as the window showed"
    done
fi
((failed == 0)) && echo "$setup: ${#starts[@]} starts, every write to the environment made before the second thread"
exit "$failed"
