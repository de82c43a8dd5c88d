#!/usr/bin/env bash
# The Windows executable is one self-contained file: a 32-bit GUI program, stripped, under
# 600 KB, that needs no DLL but Windows' own.
set -euo pipefail
program=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
objdump=i686-w64-mingw32-objdump

headers=$("$objdump" -p "$program")
grep -q "^Magic.*010b.*(PE32)" <<<"$headers" || fail "not a 32-bit (PE32) executable"
grep -q "^Subsystem.*(Windows GUI)" <<<"$headers" || fail "not a Windows GUI program"

# Windows' own libraries, present on every Windows since XP.
system_dlls="^(KERNEL32|USER32|GDI32|OLE32|OLEAUT32|OLEACC|SHLWAPI|MSVCRT)\.DLL$"
mapfile -t dlls < <(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers")
((${#dlls[@]} > 0)) || fail "no imports found"
for dll in "${dlls[@]}"; do
    [[ $dll =~ $system_dlls ]] || fail "imports $dll, which Windows does not ship"
done

"$objdump" -h "$program" | grep -q "\.debug" && fail "carries debugging information"
[[ $("$objdump" -t "$program" | grep -c "^\[") == 0 ]] || fail "carries a symbol table"

size=$(stat -c %s "$program")
((size < 600 * 1024)) || fail "is $size bytes, over 600 KB"
echo "$(basename "$program"): $size bytes, imports ${dlls[*]}"
