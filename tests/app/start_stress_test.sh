#!/usr/bin/env bash
# Starts the program again and again, each time to its first frame and out, where a start is most
# likely to crash: at twice the density, with no session bus (so that it writes its environment),
# both cores kept busy, and the second half of the starts pinned to one core. The environment
# watch, preloaded, slows every lookup of the environment on a thread other than the main one and
# makes a write on the main thread meet such a lookup halfway, which crashes the program in nearly
# every start where the write moves the environment while another thread reads it. Whether a write
# moves it depends on how many variables there are, so every other start has one variable more.
# Fails on any start that crashes or shows no frame; a crash's backtrace goes into the log.
#   start_stress_test.sh PROGRAM WATCH PROBE [STARTS]
# WATCH is libenvironment_watch.so, PROBE the benchmarks' frame probe, which reports the first frame.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../../scripts/setup.sh"
program=$(realpath "$1")
watch=$(realpath "$2")
probe=$(realpath "$3")
starts=${4:-200}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "$work"' EXIT

start_virtual_display 2048x1536
runtime="$work/runtime"
mkdir -m 700 "$runtime"
for core in 0 1; do
    taskset -c "$core" bash -c 'while :; do :; done' &
done

# A fixed environment, the same on every machine.
variables=(PATH=/usr/bin:/bin HOME="$work" DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb
    QT_SCALE_FACTOR=2 LD_PRELOAD="$watch:$probe" ENVIRONMENT_WATCH_STRESS=1 BENCH_REPORT_FD=3)
for sanitizer in ASAN UBSAN TSAN; do  # a sanitizer build's options pass through
    options=${sanitizer}_OPTIONS
    if [[ -n ${!options:-} ]]; then
        variables+=("$options=${!options}")
    fi
done

# One start, to its first frame and out: prints nothing when the frame came, else what happened.
start() {
    local pin=() extra=() pid status=0
    (($1 > starts / 2)) && pin=(taskset -c 0)
    (($1 % 2 == 0)) && extra=(ONE_VARIABLE_MORE=1)
    : >"$work/report"
    env -i "${variables[@]}" "${extra[@]}" "${pin[@]}" "$program" 3>"$work/report" >/dev/null 2>"$work/errors" &
    pid=$!
    for _ in $(seq 2000); do
        grep -q '^started' "$work/report" && { kill "$pid"; wait "$pid" 2>/dev/null || true; return; }
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    kill -9 "$pid" 2>/dev/null && echo "no frame within 20 s" && return
    wait "$pid" 2>/dev/null || status=$?
    ((status > 128)) && echo "killed by signal $((status - 128))" || echo "ended with status $status"
}

failures=0
for i in $(seq "$starts"); do
    outcome=$(start "$i")
    if [[ -n $outcome ]]; then
        ((++failures))
        echo "start $i ($( ((i > starts / 2)) && echo "pinned to one core" || echo "on both cores" )," \
            "$( ((i % 2 == 0)) && echo "one variable more" || echo "fixed environment" )) showed no frame: $outcome"
        sed 's/^/    /' "$work/errors"
    fi
done
echo "$starts starts at twice the density under load, half of them pinned to one core: $failures without a frame"
((failures == 0))
