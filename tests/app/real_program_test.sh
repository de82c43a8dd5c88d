#!/usr/bin/env bash
# Drives the built program as a person would on a real X server: it opens centred, takes typed
# keys, opens the result window from a click on the picture, closes it with Ok, and ends on the
# close mark, with the result window open or not. Both windows carry the program's icon.
# A middle-click paste of two lines keeps the first.
# By keys alone, the pointer away: Enter converts (once, however long it is held), Ok opens
# focused and drawn so, Escape and Ok hand the focus back to the entry, Tab never leaves it.
# The second argument picks the desktop:
#   plain    Xvfb alone, no window manager
#   openbox  Xvfb with openbox managing the windows; a minimized result window comes back in
#            front, with the new columns, when the next number is converted
#   scale2   Xvfb at QT_SCALE_FACTOR=2: everything twice the size, the click area still over the
#            drawing, the consonants within their columns
#   wayland  the weston compositor: the program comes up through XWayland, wherever weston places
#            its windows
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

fail() { echo "FAIL: $*" >&2; exit 1; }

# Weston with XWayland, whose display weston opens when the first X program comes. Its headless
# backend has no seat, and XWayland 22 crashes on the first synthetic click without one, so weston
# runs in a window on a virtual X server, whose pointer and keyboard it takes for its seat's.
start_weston() {
    start_virtual_display 1280x1024
    export WAYLAND_DISPLAY=wayland-tablinor-$$
    weston --backend=x11-backend.so --use-pixman --xwayland --socket="$WAYLAND_DISPLAY" --width=1024 --height=768 \
        --idle-time=0 --log="$work/weston.log" >/dev/null 2>&1 &
    for _ in $(seq 100); do grep -q 'xserver listening on display' "$work/weston.log" 2>/dev/null && break; sleep 0.1; done
    DISPLAY=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston.log")
    [[ -n $DISPLAY ]] || fail "weston opened no X display"
    export DISPLAY
    unset QT_QPA_PLATFORM  # the program picks XWayland itself
}

scale=1
case $desktop in
    plain | openbox) start_virtual_display ;;
    scale2)
        scale=2
        start_virtual_display 2048x1536
        export QT_SCALE_FACTOR=$scale
        ;;
    wayland) start_weston ;;
    *) fail "unknown desktop: $desktop" ;;
esac
read -r screen_width screen_height < <(xdpyinfo | awk '/dimensions:/ { split($2, size, "x"); print size[1], size[2] }')

if [[ $desktop == openbox ]]; then
    openbox --sm-disable >/dev/null 2>&1 &
    for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break; sleep 0.1; done
fi

window() {  # the id of the shown window with that exact title, waiting for it a while
    local id
    for _ in $(seq 100); do
        # xdotool's own --sync can wait forever while XWayland's window manager reparents windows.
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
        [[ -n $id ]] && echo "$id" && return
        sleep 0.1
    done
    return 1
}

eventually() {  # a check of what the program shows: waits until it passes, ten seconds at most
    for _ in $(seq 100); do ("$@") 2>/dev/null && return; sleep 0.1; done
    "$@"
}

geometry() {  # x y width height of a window on the screen, inside whatever frame a window manager adds
    xwininfo -id "$1" | awk '/Absolute upper-left [XY]:|Width:|Height:/ { printf "%s ", $NF } END { print "" }'
}

expect_geometry() {  # window, width, height as designed: scaled, and centred but where weston places it
    local actual expected width=$(($2 * scale)) height=$(($3 * scale))
    actual=$(geometry "$1")
    expected="$(((screen_width / scale - $2) / 2 * scale)) $(((screen_height / scale - $3) / 2 * scale)) $width $height "
    [[ $desktop == wayland ]] && actual=${actual#* * } expected="$width $height "
    [[ $actual == "$expected" ]] || fail "window at '$actual', expected '$expected'"
}

click() {  # window, x, y inside it as designed, and the button (the left one unless given)
    read -r x y _ < <(geometry "$1")
    xdotool mousemove $((x + $2 * scale)) $((y + $3 * scale)) click "${4:-1}"
}

shoot() { import -window "$1" "$work/shot.png"; }  # what a window shows, overlapping windows too

crop() {  # x y width height, as designed, inside the window last shot
    convert "$work/shot.png" -crop "$(($3 * scale))x$(($4 * scale))+$(($1 * scale))+$(($2 * scale))" +repage "$work/part.png"
}

red_pixels() {  # in a part of the screen that crop cut out
    convert "$work/part.png" -fuzz 25% -fill black +opaque red -fill white -opaque red -format '%[fx:round(mean*w*h)]' info:
}

consonants_within_columns() {  # "CH", the widest, starts on a label's first pixel and ends before its last
    local column
    shoot "$1"
    for column in $(seq 0 6); do
        crop $((16 + 32 * column + 16)) 40 1 65
        (($(red_pixels) == 0)) || fail "the consonants run out of column $((column + 1)) at scale $scale"
    done
}

mean_colour() {  # of a picture file's part, x y width height
    convert "$1" -crop "$4x$5+$2+$3" -resize '1x1!' -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]\n' info:
}

drawing_under_click_area() {  # the picture's head lies under the click area, at any scale
    local shown drawn
    shoot "$1"
    crop 120 248 137 145
    read -r -a shown < <(mean_colour "$work/part.png" 0 0 $((137 * scale)) $((145 * scale)))
    read -r -a drawn < <(mean_colour "$(dirname -- "${BASH_SOURCE[0]}")/../../windows/pictures/main.jpg" 120 248 137 145)
    for channel in 0 1 2; do
        ((${shown[channel]} - ${drawn[channel]} < 12 && ${drawn[channel]} - ${shown[channel]} < 12)) ||
            fail "the click area lies over ${shown[*]}, the drawing there is ${drawn[*]}"
    done
}

first_column() {  # a digest of the pixels of the result window's first column
    shoot "$1"
    crop 16 10 17 110
    convert "$work/part.png" rgb:- | md5sum
}

has_focus() { [[ $(xdotool getwindowfocus) == "$1" ]]; }  # typed keys go to that window

clipboard_holds() { [[ $(xclip -selection clipboard -o 2>/dev/null) == "$1" ]]; }

consonants_in_red() {
    local red
    shoot "$1"
    crop 10 38 240 80
    red=$(red_pixels)
    ((red > 50)) || fail "the consonants are not drawn in red ($red red pixels)"
}

first_column_other_than() { [[ $(first_column "$1") != "$2" ]]; }  # window, an earlier digest

in_front() {  # the window is shown, active and on top of the others
    local stacking
    stacking=$(xprop -root _NET_CLIENT_LIST_STACKING)
    [[ $(xdotool getactivewindow) == "$1" && ${stacking##* } == $(printf '0x%x' "$1") ]]
}

carries_icon() {  # the window hands the desktop the program's icon
    local icon
    icon=$(xprop -id "$1" _NET_WM_ICON)
    [[ $icon == *"Icon ($((16 * scale)) x $((16 * scale)))"* ]] || fail "window $1 carries no icon"
}

ends_within_two_seconds() {
    for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || { wait "$1"; return; }; sleep 0.1; done
    fail "the program still runs after the close mark"
}

focused() {  # waits for the window to have the keyboard focus
    for _ in $(seq 50); do [[ $(xdotool getwindowfocus) == "$1" ]] && return; sleep 0.1; done
    fail "the focus is on $(xdotool getwindowfocus), not on window $1"
}

gone() {  # waits for no window of that title to be shown
    for _ in $(seq 50); do xdotool search --onlyvisible --name "^$1\$" >/dev/null || return 0; sleep 0.1; done
    fail "$1 is still shown"
}

entry_holds() {  # the focused entry holds that text, as Ctrl+A Ctrl+C copies it
    local copied
    printf none | xclip -selection clipboard  # which xclip takes once it runs on its own
    for _ in $(seq 50); do [[ $(xclip -selection clipboard -o) == none ]] && break; sleep 0.1; done
    xdotool key ctrl+a ctrl+c
    for _ in $(seq 50); do copied=$(xclip -selection clipboard -o) && [[ $copied != none ]] && break; sleep 0.1; done
    [[ $copied == "$1" ]] || fail "the entry holds '$copied', expected '$1'"
}

ok_shows_focus() {  # the focus ring drawn round Ok: blue on its grey
    for _ in $(seq 50); do
        shoot "$1"
        crop 104 120 33 21
        (($(convert "$work/part.png" -fx 'b - r > 0.25' -format '%[fx:round(mean*w*h)]' info:) > 30)) && return
        sleep 0.1
    done
    fail "Ok has the focus and shows none"
}

# A whole conversion, Ok, then the close mark.
"$program" &
pid=$!
form1=$(window "Tablinor - Verdusk")
expect_geometry "$form1" 400 499
eventually drawing_under_click_area "$form1"
eventually has_focus "$form1" || fail "the main window does not have the keyboard focus"
xdotool type --delay 30 2808
click "$form1" 188 320
form2=$(window Form2)
expect_geometry "$form2" 250 151
carries_icon "$form1"
carries_icon "$form2"
eventually consonants_in_red "$form2"
consonants_within_columns "$form2"
if [[ $desktop == openbox ]]; then
    before=$(first_column "$form2")
    xdotool windowminimize --sync "$form2"
    click "$form1" 190 132  # into the entry, then its text replaced by a 9
    eventually has_focus "$form1" || fail "a click did not give the main window the keyboard focus"
    xdotool key End shift+Home type 9
    click "$form1" 188 320
    form2=$(window Form2) || fail "the minimized result window did not come back"
    eventually in_front "$form2" || fail "the result window came back behind the main window"
    eventually first_column_other_than "$form2" "$before" || fail "the result window came back with the old columns"
fi
click "$form2" 120 130
gone Form2
click "$form1" 384 16
ends_within_two_seconds $pid || fail "the close mark ended the run with status $?"

# A middle-click paste of two lines into the entry keeps the first, as a single-line box does;
# then the close mark ends the run with the result window still open.
"$program" &
pid=$!
form1=$(window "Tablinor - Verdusk")
if [[ $desktop == plain ]]; then
    printf '98\n76' | xclip -selection primary
    click "$form1" 190 132 2
    eventually has_focus "$form1" || fail "the main window does not have the keyboard focus"
    xdotool key ctrl+a ctrl+c
    eventually clipboard_holds 98 ||
        fail "a middle-click paste of 98, a line break and 76 left '$(xclip -selection clipboard -o 2>&1)' in the entry"
fi
click "$form1" 188 320
window Form2 >/dev/null
click "$form1" 384 16
ends_within_two_seconds $pid || fail "the close mark ended the run with status $?"

# The whole session by keys alone, the pointer off the windows: on a bare X server, keys that no
# window's focus takes go to the window under the pointer, which would hide a focus gone astray.
"$program" &
pid=$!
form1=$(window "Tablinor - Verdusk") || fail "the program showed no window"
xdotool mousemove 0 0
focused "$form1"
xdotool type --delay 30 8294015
xdotool key Return
form2=$(window Form2) || fail "Enter opened no result window"
focused "$form2"
ok_shows_focus "$form2"
consonants_in_red "$form2"
xdotool key Escape
gone Form2
focused "$form1"
entry_holds 8294015
xdotool key Return
form2=$(window Form2) || fail "Enter opened no result window after Escape"
focused "$form2"
xdotool key Tab shift+Tab Return  # on Ok still
gone Form2
focused "$form1"
xdotool key Tab shift+Tab type 12
entry_holds 12
# Held, Enter converts once; its repeats reach Ok, which has the focus by then, and press nothing.
xdotool keydown Return
form2=$(window Form2) || fail "a held Enter opened no result window"
focused "$form2"
sleep 1  # the time the key is held: X repeats it after 660 ms, 25 times a second
xdotool keyup Return key Escape
gone Form2
focused "$form1"
entry_holds 12
if [[ $desktop == openbox ]]; then xdotool key alt+F4; else click "$form1" 384 16; fi
ends_within_two_seconds $pid || fail "the run ended with status $?"
echo "The real program opened, converted, closed its result window and ended as a person expects."
