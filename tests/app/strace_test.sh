#!/usr/bin/env bash
# Runs the real program's scripted sessions under strace, one trace file per process, and fails if
# the program runs any other program, leaves a process behind, writes any file, makes an IPv4 or
# IPv6 socket, or connects to a local socket other than the X server's and the message buses that
# accessibility uses. The display names an accessibility bus on its root window (AT_SPI_BUS), and
# the program must reach it. Two set-ups:
#   with-session-bus     a session bus of the test's own, as every desktop session has one
#   without-session-bus  none, as over ssh -X, on a bare X server or in a container; with
#                        dbus-x11 installed, libdbus would start one itself there (dbus-launch)
set -euo pipefail
program=$(realpath "$1")
setup=$2
here=$(dirname -- "${BASH_SOURCE[0]}")
source "$here/../../scripts/setup.sh"
work=$(mktemp -d)
clean_up() {
    set +e
    kill $(jobs -p) 2>/dev/null  # the test's buses
    wait
    rm -rf "$work"
}
trap clean_up EXIT

start_message_bus "$work/accessibility-bus"
unset AT_SPI_BUS_ADDRESS
required_buses=("$work/accessibility-bus")
case $setup in
    with-session-bus)
        start_message_bus "$work/session-bus"
        export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/session-bus"
        required_buses+=("$work/session-bus")
        ;;
    without-session-bus)
        unset DBUS_SESSION_BUS_ADDRESS
        # libdbus takes the bus socket in the runtime folder for the session bus when there is one.
        mkdir -m 700 "$work/runtime"
        export XDG_RUNTIME_DIR=$work/runtime
        ;;
    *) echo "unknown set-up: $setup" >&2; exit 2 ;;
esac

# LeakSanitizer cannot work under ptrace; in a sanitizer build the other tests check for leaks.
# With -I 2 strace takes the session's SIGTERM even while it waits on a process left behind.
cat >"$work/traced" <<SCRIPT
#!/bin/sh
xprop -root -f AT_SPI_BUS 8s -set AT_SPI_BUS "unix:path=$work/accessibility-bus"
ASAN_OPTIONS="\${ASAN_OPTIONS:-}:detect_leaks=0" exec strace -I 2 -ff -q -o "$work/trace.\$\$" \
    -e trace=execve,clone,clone3,open,openat,openat2,creat,mkdir,mkdirat,rename,renameat,renameat2,unlink,unlinkat,socket,connect \
    "$program"
SCRIPT
chmod +x "$work/traced"
session=0
"$here/real_program_test.sh" "$work/traced" >/dev/null || session=$?

required=$(printf '%s\n' "${required_buses[@]}")
# A process whose trace does not end in its exit outlived its session; the test ends it.
awk -v program="$program" -v required="$required" -v left="$work/left" '
    BEGIN { count = split(required, buses, "\n"); for (i = 1; i <= count; i++) allowed[buses[i]] = 1 }
    { last[FILENAME] = $0 }
    /^execve\(/ { ran[FILENAME] = $0; sub(/", .*/, "", ran[FILENAME]); sub(/^execve\("/, "", ran[FILENAME]) }
    /^clone3?\(.*CLONE_THREAD/ { thread[$NF] = 1 }  # a thread ends with its process, unrecorded
    /^execve\(/ && index($0, "execve(\"" program "\"") != 1 { print "runs another program: " $0; bad++ }
    / = -1 / { next }  # attempts that failed changed nothing
    /^(open|openat|openat2)\(/ && /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC/ && !/"\/dev\/null"/ { print "writes: " $0; bad++ }
    /^(creat|mkdir|mkdirat|rename|renameat|renameat2|unlink|unlinkat)\(/ { print "changes files: " $0; bad++ }
    /^socket\(AF_INET6?,/ { print "network socket: " $0; bad++ }
    /^connect\(/ && !/AF_UNIX/ { print "network connection: " $0; bad++ }
    /^connect\(.*AF_UNIX/ {
        match($0, /sun_path=@?"[^"]*"/)
        path = substr($0, RSTART, RLENGTH); sub(/^sun_path=@?"/, "", path); sub(/"$/, "", path)
        if (path in allowed) reached[path] = 1
        else if (path !~ /X11-unix\/X[0-9]+$/) { print "local connection: " $0; bad++ }
    }
    /^(open|openat|openat2)\(/ { reads++ }
    /^socket\(/ { sockets++ }
    END {
        for (file in last) {
            pid = file; sub(/.*\./, "", pid)
            if (!(pid in thread) && last[file] !~ /^\+\+\+ (exited|killed)/) {
                print "left behind: process " pid " (" (file in ran ? ran[file] : "a fork") ")"; print pid >left; bad++
            }
        }
        for (path in allowed) if (!(path in reached)) { print "never reached the bus at " path; bad++ }
        printf "%d files opened, none for writing; %d sockets, all local to the display or the buses\n", reads, sockets
        exit bad > 0
    }' "$work"/trace.* || checks=$?
[[ -s $work/left ]] && { xargs kill <"$work/left" 2>/dev/null || true; }
((session == 0 && ${checks:-0} == 0))
