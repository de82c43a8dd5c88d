#!/usr/bin/env bash
# Drives the built program as a person would on a real X server: it opens centred, takes typed
# keys, opens the result window from a click on the picture, closes it with Ok, and ends on the
# close mark, with the result window open or not. Both windows carry the program's icon.
# The second argument picks the desktop:
#   plain    Xvfb alone, no window manager
#   openbox  Xvfb with openbox managing the windows; a minimized result window comes back in
#            front, with the new columns, when the next number is converted
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../../scripts/setup.sh"
program=$1
desktop=${2:-plain}
work=$(mktemp -d)
pid=
clean_up() {
    set +e
    # The program goes first: it should not see its X server vanish under it.
    if [[ -n $pid ]]; then
        pkill -P "$pid" 2>/dev/null  # the program itself, when $pid is a wrapper such as strace
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    kill $(jobs -p) 2>/dev/null
    rm -rf "$work"
}
trap clean_up EXIT
ensure_runtime_dir
start_virtual_display

fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ $desktop == openbox ]]; then
    openbox --sm-disable >/dev/null 2>&1 &
    for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break; sleep 0.1; done
fi

window() {  # the id of the shown window with that exact title, waiting for it a while
    timeout 10 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}

geometry() {  # x y width height of a window
    xdotool getwindowgeometry --shell "$1" | awk -F= '/^(X|Y|WIDTH|HEIGHT)=/ { printf "%s ", $2 } END { print "" }'
}

expect_geometry() {  # window, width, height: centred on the 1024 x 768 screen
    local actual expected
    actual=$(geometry "$1")
    expected="$(((1024 - $2) / 2)) $(((768 - $3) / 2)) $2 $3 "
    [[ $actual == "$expected" ]] || fail "window at '$actual', expected '$expected'"
}

click() {  # window, x, y inside it
    read -r x y _ < <(geometry "$1")
    xdotool mousemove $((x + $2)) $((y + $3)) click 1
    sleep 0.3
}

red_pixels() {  # in the result window's consonant area
    read -r x y _ < <(geometry "$1")
    import -window root "$work/shot.png"
    convert "$work/shot.png" -crop "240x80+$((x + 10))+$((y + 38))" -fuzz 25% -fill black +opaque red \
        -fill white -opaque red -format '%[fx:round(mean*w*h)]' info:
}

first_column() {  # a digest of the pixels of the result window's first column
    read -r x y _ < <(geometry "$1")
    import -window root "$work/shot.png"
    convert "$work/shot.png" -crop "17x110+$((x + 16))+$((y + 10))" rgb:- | md5sum
}

in_front() {  # the window is shown, active and on top of the others
    local stacking
    stacking=$(xprop -root _NET_CLIENT_LIST_STACKING)
    [[ $(xdotool getactivewindow) == "$1" && ${stacking##* } == $(printf '0x%x' "$1") ]]
}

carries_icon() {  # the window hands the desktop the program's icon
    local icon
    icon=$(xprop -id "$1" _NET_WM_ICON)
    [[ $icon == *"Icon (16 x 16)"* ]] || fail "window $1 carries no icon"
}

ends_within_two_seconds() {
    for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || { wait "$1"; return; }; sleep 0.1; done
    fail "the program still runs after the close mark"
}

# A whole conversion, Ok, then the close mark.
"$program" &
pid=$!
form1=$(window "Tablinor - Verdusk")
expect_geometry "$form1" 400 499
xdotool type --delay 30 2808
click "$form1" 188 320
form2=$(window Form2)
expect_geometry "$form2" 250 151
carries_icon "$form1"
carries_icon "$form2"
red=$(red_pixels "$form2")
((red > 50)) || fail "the consonants are not drawn in red ($red red pixels)"
if [[ $desktop == openbox ]]; then
    before=$(first_column "$form2")
    xdotool windowminimize --sync "$form2"
    click "$form1" 190 132  # into the entry, then its text replaced by a 9
    xdotool key End shift+Home type 9
    click "$form1" 188 320
    form2=$(window Form2) || fail "the minimized result window did not come back"
    in_front "$form2" || fail "the result window came back behind the main window"
    [[ $(first_column "$form2") != "$before" ]] || fail "the result window came back with the old columns"
fi
click "$form2" 120 130
xdotool search --onlyvisible --name '^Form2$' >/dev/null && fail "Ok left the result window open"
click "$form1" 384 16
ends_within_two_seconds $pid || fail "the close mark ended the run with status $?"

# The close mark with the result window still open ends the run all the same.
"$program" &
pid=$!
form1=$(window "Tablinor - Verdusk")
click "$form1" 188 320
window Form2 >/dev/null
click "$form1" 384 16
ends_within_two_seconds $pid || fail "the close mark ended the run with status $?"
echo "The real program opened, converted, closed its result window and ended as a person expects."
