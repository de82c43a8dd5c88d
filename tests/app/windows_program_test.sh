#!/usr/bin/env bash
# Drives "Tablinor - Verdusk.exe" under wine as a person would on Windows: it opens centred with
# the focus in the entry, takes typed keys and pasted text, opens the result window from a click
# on the picture and shows each digit over its consonants in blue and red, closes it with Ok, and
# ends on the close mark (with the result window open or not) and on the desktop's close; all of it
# by keys alone too; a conversion brings the result window in front, minimized or behind the main
# window; at 144 dpi all of it scales together. win32_window_probe.exe reads the windows' texts
# back as a screen reader reads them, and puts the texts to paste on the clipboard.
# Runs on the display and in the wine prefix that scripts/test-windows sets up, bare as there, or
# with "openbox" as third argument under that window manager, which then stacks wine's windows
# (Managed=Y) as on a Linux desktop.
set -euo pipefail
program=$1
probe_exe=$2
window_manager=${3:-}
result_picture="$(dirname -- "$0")/../../windows/pictures/result.jpg"
work=$(mktemp -d)
wm=
desktop='HKCU\Control Panel\Desktop'
x11_driver='HKCU\Software\Wine\X11 Driver'
# shellcheck source=tests/app/wine_program.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/wine_program.sh"
clean_up() {
    set +e
    end_program
    wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
    if [[ -n $wm ]]; then
        kill "$wm" && wait "$wm"
        wine reg add "$x11_driver" /v Managed /d N /f >/dev/null
    fi
    rm -rf "$work"
}
trap clean_up EXIT

# Under openbox, wine hands the window manager its windows (Managed=Y, read as each program starts)
# once openbox has taken the display over.
if [[ $window_manager == openbox ]]; then
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    for _ in $(seq 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox does not manage the display"
    wine reg add "$x11_driver" /v Managed /d Y /f >/dev/null
fi

field() {  # the report's lines of one kind (window, Edit, Static, Button), one field of each
    awk -F '\t' -v kind="$2" -v field="$3" '$1 == kind { print $field }' <<<"$1"
}

# The entry's text, and the result window's state (minimized or -): what keys, clicks and the
# desktop's commands lead to a moment after they are sent.
entry_text() { field "$(report "Tablinor - Verdusk")" Edit 4; }
result_state() { field "$(report Form2)" window 4; }

# Typed keys go to the X window with the input focus, which wine gives the active window.
start_typing() {
    start
    form1=$(report "Tablinor - Verdusk")
    has_keyboard_focus "Tablinor - Verdusk"
}

click() {  # a window's report, x, y inside that window
    local left top
    read -r left top _ <<<"$(field "$1" window 2)"
    xdotool mousemove $((left + $2)) $((top + $3)) click 1
}

shoot() {  # left top width height: what the screen shows there, into $work/shot.png
    import -window root -crop "$3x$4+$1+$2" "$work/shot.png"
}

colour_pixels() {  # colour, window rectangle: how many pixels of that colour the window shows
    read -r left top width height <<<"$2"
    shoot "$left" "$top" "$width" "$height"
    convert "$work/shot.png" -fuzz 25% -fill black +opaque "$1" -fill white -opaque "$1" \
        -format '%[fx:round(mean*w*h)]' info:
}

carries_icon() {  # the window hands the desktop the program's icon, big and small
    local icons
    icons=$(xprop -id "$(xdotool search --onlyvisible --name "^$1\$" | head -n 1)" _NET_WM_ICON)
    [[ $icons == *"Icon (32 x 32)"* && $icons == *"Icon (16 x 16)"* ]] || fail "'$1' carries no icon"
}

# A whole conversion, Ok, then the close mark.
start_typing
expect "the main window" "$(field "$form1" window 2)" "312 134 400 499"  # centred on 1024 x 768
expect "the main window's state" "$(field "$form1" window 3)" active
expect "the entry" "$(field "$form1" Edit 2) $(field "$form1" Edit 3)" "128 120 129 25 focus"
expect "the labels" "$(field "$form1" Static 4 | paste -sd /)" "Números/Convertir/Cerrar"
carries_icon "Tablinor - Verdusk"
xdotool type --delay 30 2808
expect_soon "the entry" entry_text 2808
click "$form1" 188 320
form2=$(report Form2)
expect "the result window" "$(field "$form2" window 2)" "387 308 250 151"
expect "the focus" "$(field "$form2" Button 3) $(field "$form2" Button 4)" "focus Ok"
expect "the columns" "$(field "$form2" Static 4 | paste -sd /)" "2/N Ñ/8/CH J G/0/R/8/CH J G//////"
carries_icon Form2
red=$(colour_pixels red "$(field "$form2" window 2)")
((red > 50)) || fail "the consonants are not drawn in red ($red red pixels)"
blue=$(colour_pixels blue "$(field "$form2" window 2)")
((blue > 20)) || fail "the digits are not drawn in blue ($blue blue pixels)"
click "$form2" 120 130  # Ok
gone Form2
expect_soon "the entry after Ok" entry_text ""
click "$form1" 384 16
ends_with_status_zero "the close mark"

# By keys alone, each step's keys and what they lead to, waited for: the result window with Ok
# focused, its dotted focus rectangle drawn, and its columns; or, the result window gone, the
# entry's focus and text, and the keyboard's focus on the main window, so that the next keys typed
# go into the entry. "hold" holds Enter down until it has repeated: it converts, or presses Ok,
# once. Tab and Shift+Tab never reach the head or the close mark; Escape closes the result window
# as the desktop's close (Alt+F4) does, leaving the number, and does nothing in the main window; a
# text that is not a number converts as a click does.
keys_state() {
    local form1 form2 left top x y width dots edge=dotted
    if ! form2=$(probe show Form2); then
        form1=$(probe show "Tablinor - Verdusk") || return
        echo "entry $(field "$form1" Edit 3): '$(field "$form1" Edit 4)'"
        return
    fi
    read -r left top _ <<<"$(field "$form2" window 2)"
    read -r x y width _ <<<"$(field "$form2" Button 2)"
    dots=$(colour_pixels black "$((left + x + 3)) $((top + y + 1)) $((width - 6)) 3")
    ((dots > width / 4)) || edge="$dots dots"
    echo "$(field "$form2" Button 4) $(field "$form2" Button 3), $edge: $(field "$form2" Static 4 | paste -sd /)"
}
hold_enter() {  # down until the program has had the press and three repeats, then up
    local watched=0
    probe held 3 | { read -r _ && xdotool keydown Return && cat >/dev/null; } || watched=$?
    xdotool keyup Return
    ((watched == 0)) || fail "Enter held down is not seen to repeat (status $watched)"
}
start_typing
while IFS='|' read -r -u 3 keys leads_to; do
    read -ra words <<<"$keys"
    if [[ $keys == hold ]]; then hold_enter; else xdotool "${words[@]}"; fi
    expect_soon "what '$keys' leads to" keys_state "$leads_to"
    [[ $leads_to == Ok* ]] || has_keyboard_focus "Tablinor - Verdusk"
done 3<<'STEPS'
key Tab shift+Tab type --delay 30 2808|entry focus: '2808'
hold|Ok focus, dotted: 2/N Ñ/8/CH J G/0/R/8/CH J G//////
key Escape|entry focus: '2808'
key Escape KP_Enter|Ok focus, dotted: 2/N Ñ/8/CH J G/0/R/8/CH J G//////
key Tab shift+Tab|Ok focus, dotted: 2/N Ñ/8/CH J G/0/R/8/CH J G//////
hold|entry focus: ''
type --delay 30 3x1|entry focus: '3x1'
key Return|Ok focus, dotted: 3/M///1/T D////////
key alt+F4|entry focus: '3x1'
type 5|entry focus: '3x15'
STEPS
xdotool key alt+F4
ends_with_status_zero "Alt+F4 after a session by keys"

# The desktop closes the result window as Ok does, but leaves the entry; closing the main window
# ends the run.
start_typing
xdotool type --delay 30 5
click "$form1" 188 320
report Form2 >/dev/null
probe close Form2
gone Form2
expect_soon "the entry after the desktop closed the result window" entry_text 5
probe close "Tablinor - Verdusk"
ends_with_status_zero "the desktop's close"

# A conversion into the open result window brings it in front: after the main window was clicked
# over it, and after it was minimized. It comes back restored, active, with the new columns, and
# the screen shows it where it lies, its picture and the digits over it. Then the close mark ends
# the run with the result window still open.
expect_in_front() {  # what was done, the columns
    local form2 state left top width height differing
    read -r width height <<<"$(identify -format '%w %h' "$result_picture")"
    differing=$((width * height))
    for _ in $(seq 100); do  # the program, then the window manager, act a moment after the click
        form2=$(report Form2)
        state="$(field "$form2" window 2) $(field "$form2" window 3) $(field "$form2" window 4)"
        if [[ $state == *" active -" ]]; then
            read -r left top _ <<<"$state"
            shoot "$left" "$top" "$width" "$height"
            differing=$(compare -metric AE -fuzz 10% "$work/shot.png" "$result_picture" null: 2>&1) || true
            ((differing < width * height / 4)) && break
        fi
        sleep 0.1
    done
    expect "the result window after $1" "$state" "387 308 250 151 active -"
    expect "the columns after $1" "$(field "$form2" Static 4 | paste -sd /)" "$2"
    ((differing < width * height / 4)) ||
        fail "the result window is behind another window after $1 ($differing pixels are not its picture)"
}
start_typing
xdotool type --delay 30 409
click "$form1" 188 320
click "$(report Form2)" 120 130  # Ok
gone Form2
click "$form1" 188 320
report Form2 >/dev/null
click "$form1" 200 132  # into the entry
has_keyboard_focus "Tablinor - Verdusk"
xdotool key End shift+Home
xdotool type 9
click "$form1" 188 320
# The empty entry left the columns of 409, of which 9 replaces the first.
expect_in_front "a conversion over the main window" "9/V B P/0/R/9/V B P////////"
probe minimize Form2
expect_soon "the result window" result_state minimized
click "$form1" 200 132
has_keyboard_focus "Tablinor - Verdusk"
xdotool key End
xdotool type 7
click "$form1" 188 320
expect_in_front "a conversion into the minimized result window" "9/V B P/7/F/9/V B P////////"
click "$form1" 384 16
ends_with_status_zero "the close mark over an open result window"

# Typed keys past the seventh unit are refused, and so is a wide character that no longer fits
# whole; then Alt+F4, as a person closes the focused window. The entry's rules, here and in the
# hostile input below, are the program's own and are checked bare only. A character that no key
# has is typed as an on-screen keyboard or an input method types it (the probe's VK_PACKET keys):
# xdotool would map a spare key for a moment, and a busy wine may read the key after the mapping
# has gone, and lose it.
start_typing
if [[ -z $window_manager ]]; then
    probe type "12😀5"
    probe type "6789😀"
    expect_soon "the entry" entry_text "12😀567"
fi
xdotool key alt+F4
ends_with_status_zero "Alt+F4"

# Hostile input, typed and pasted, in one run: the entry keeps whole characters within seven
# UTF-16 units (of a paste, the longest start that fits, up to its first line break as a
# single-line box keeps it), each column shows the digit of its unit when that is one of the ten
# ASCII digits (with its consonants under it) and nothing otherwise, and the program goes on
# running, 10,000 pasted characters too.
digit_columns() {  # an entry's text: the digit each column must show, '/'-separated
    python3 -c '
import sys
units = sys.argv[1].encode("utf-16-le")
codes = [units[i] | units[i + 1] << 8 for i in range(0, len(units), 2)][:7]
codes += [0] * (7 - len(codes))
print("/".join(chr(code) if 0x30 <= code <= 0x39 else "" for code in codes))' "$1"
}
fitting_start() {  # a text: its first line's longest start of whole characters within seven UTF-16 units
    python3 -c '
import re, sys
kept = ""
for character in re.split("[\r\n]", sys.argv[1])[0]:
    if len((kept + character).encode("utf-16-le")) // 2 > 7:
        break
    kept += character
print(kept)' "$1"
}
paste_text() {  # a text: copies it and pastes it into the empty entry with Ctrl+V, as a person does
    probe copy "$1" || fail "the clipboard cannot be had"
    xdotool key ctrl+v
    expect_soon "the entry after a paste" entry_text "$(fitting_start "$1")"
}
expect_hostile_result() {  # what was done, as the failures tell it
    local entry form2 labels digits shown wanted
    click "$form1" 188 320
    form2=$(report Form2)
    entry=$(entry_text)  # read once the click has been taken, and so every key typed before it
    (($(python3 -c 'import sys; print(len(sys.argv[1].encode("utf-16-le")) // 2)' "$entry") <= 7)) ||
        fail "the entry holds more than seven units after $1: '$entry'"
    mapfile -t labels < <(field "$form2" Static 4)  # digit and consonant labels, column by column
    digits=() shown=() wanted=()
    for k in $(seq 0 6); do
        digits+=("${labels[2 * k]}")
        [[ -n ${labels[2 * k + 1]} ]] && shown+=("$k")
        [[ -n ${labels[2 * k]} ]] && wanted+=("$k")
    done
    expect "the digits after $1" "$(IFS=/; echo "${digits[*]}")" "$(digit_columns "$entry")"
    expect "the columns with consonants after $1" "${shown[*]}" "${wanted[*]}"
    click "$form2" 120 130  # Ok empties the entry for the next text
    gone Form2
}
hostile=("12345678" "123456😀" "😀1😀2😀3" "שלום 12" "١٢٣4" "１２3" "1́2̈3" "‏1‎2")
if [[ -z $window_manager ]]; then
    start_typing
    for text in "${hostile[@]}"; do
        probe type "$text"
        expect_hostile_result "typing '$text'"
        paste_text "$text"
        expect_hostile_result "pasting '$text'"
    done
    paste_text $'98\r\n76'
    expect_hostile_result "pasting two lines"
    paste_text "$(python3 -c 'print("".join("😀" + str(i % 10) for i in range(5000)))')"
    expect_hostile_result "pasting 10000 characters"
    click "$form1" 384 16
    ends_with_status_zero "hostile input"
fi

# At 150 % (144 dpi) the picture and the controls scale together, so the click area stays over
# the open skull and the result window opens over the middle of the main window.
wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
start_typing
expect "the main window at 144 dpi" "$(field "$form1" window 2)" "212 9 600 749"
expect "the entry at 144 dpi" "$(field "$form1" Edit 2)" "192 180 194 38"
expect "the click area at 144 dpi" "$(field "$form1" Static 2 | sed -n 2p)" "180 372 206 218"
click "$form1" 282 480
form2=$(report Form2)
expect "the result window at 144 dpi" "$(field "$form2" window 2)" "324 270 375 227"
click "$form1" 576 24
ends_with_status_zero "the close mark at 144 dpi"
wine reg delete "$desktop" /v LogPixels /f >/dev/null
echo "The Windows program opened, converted, closed its result window and ended as a person expects."
