#!/usr/bin/env bash
# Runs the real program's scripted sessions under strace and fails if the program writes any
# file, makes an IPv4 or IPv6 socket, or connects to a local socket other than the X server's
# and the desktop session bus (which accessibility uses).
set -euo pipefail
program=$(realpath "$1")
here=$(dirname -- "${BASH_SOURCE[0]}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# LeakSanitizer cannot work under ptrace; in a sanitizer build the other tests check for leaks.
cat >"$work/traced" <<SCRIPT
#!/bin/sh
ASAN_OPTIONS="\${ASAN_OPTIONS:-}:detect_leaks=0" exec strace -f -qq -o "$work/trace.\$\$" \
    -e trace=open,openat,openat2,creat,mkdir,mkdirat,rename,renameat,renameat2,unlink,unlinkat,socket,connect \
    "$program"
SCRIPT
chmod +x "$work/traced"
"$here/real_program_test.sh" "$work/traced" >/dev/null

cat "$work"/trace.* | awk '
    / = -1 / { next }  # attempts that failed changed nothing
    /^[0-9]+ +(open|openat|openat2)\(/ && /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC/ && !/"\/dev\/null"/ { print "writes: " $0; bad++ }
    /^[0-9]+ +(creat|mkdir|mkdirat|rename|renameat|renameat2|unlink|unlinkat)\(/ { print "changes files: " $0; bad++ }
    /^[0-9]+ +socket\(AF_INET6?,/ { print "network socket: " $0; bad++ }
    /^[0-9]+ +connect\(/ && !/AF_UNIX/ { print "network connection: " $0; bad++ }
    /^[0-9]+ +connect\(.*AF_UNIX/ && !/X11-unix\/X[0-9]/ && !/bus/ { print "local connection: " $0; bad++ }
    /^[0-9]+ +(open|openat|openat2)\(/ { reads++ }
    /^[0-9]+ +socket\(/ { sockets++ }
    END {
        printf "%d files opened, none for writing; %d sockets, all local to the display or the session bus\n", reads, sockets
        exit bad > 0
    }'
