#!/usr/bin/env bash
# Drives "Tablinor - Verdusk.exe" under wine as a screen reader does, through MSAA alone (oleacc,
# with win32_window_probe.exe), never the mouse: the entry is named by its caption and keeps the
# seven-unit rule when its value is set, the click area "Convertir" and the close mark "Cerrar" are
# push buttons that press, labels without a click offer no action, the result window's labels read
# each digit over its consonants, and "Ok" presses through MSAA and with Enter.
set -euo pipefail
program=$1
probe_exe=$2
# shellcheck source=tests/app/wine_program.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/wine_program.sh"
trap 'set +e; end_program' EXIT

form1="Tablinor - Verdusk"
tab=$'\t'

tree() {  # each control of the shown window with that title: name, role, default action, value
    report "$1" >/dev/null
    probe accessible "$1"
}

entry() { tree "$form1" | awk -F '\t' '$2 == "text" { print $4 }'; }
columns() { tree Form2 | awk -F '\t' '$2 == "static text" { print $1 }' | paste -sd /; }
actions() { tree Form2 | awk -F '\t' '$3 != "" { print $1 "/" $2 "/" $3 }'; }

set_entry() {  # the text that assistive technology puts into the entry
    probe set "$form1" "Números" "$1" || fail "the entry's value cannot be set to '$1' (status $?)"
}

press() {  # window title, accessible name
    probe "do" "$1" "$2" || fail "'$2' in '$1' does not press (status $?)"
}

# What the program shows through MSAA after each step is waited for: a press comes back through its
# event loop, and a control's object answers once the program does.
start
expect_soon "the main window's accessible tree" tree "$form1" "\
Números${tab}text${tab}${tab}
Números${tab}static text${tab}${tab}
Convertir${tab}push button${tab}Press${tab}
Cerrar${tab}push button${tab}Press${tab}"

# Set past the seventh unit, the entry keeps the longest start of whole characters that fits.
for case in "1234567890/1234567" "123456😀/123456" "12345😀6/12345😀"; do
    set_entry "${case%/*}"
    expect_soon "the entry set to '${case%/*}'" entry "${case#*/}"
done

set_entry 2808
press "$form1" Convertir
expect_soon "the result window's columns" columns "2/N Ñ/8/CH J G/0/R/8/CH J G//////"
expect_soon "the result window's actions" actions "Ok/push button/Press"
press Form2 Ok
gone Form2
expect_soon "the entry after Ok" entry ""

# Enter on the focused Ok presses it, as Space does.
set_entry 5
press "$form1" Convertir
has_keyboard_focus Form2
xdotool key Return
gone Form2
expect_soon "the entry after Enter on Ok" entry ""

# The close mark's press ends the program, which may be gone before its answer to the press is
# sent: the program's end, with status zero, is what proves the press.
probe "end" "$form1" Cerrar || true
ends_with_status_zero "Cerrar"
echo "The Windows program converted and ended through MSAA alone, and Ok pressed on Enter."
