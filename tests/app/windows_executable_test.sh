#!/usr/bin/env bash
# The Windows executable is one self-contained file: a 32-bit GUI program, stripped, under
# 600 KB, that needs no DLL but Windows' own; hardened as Windows expects (ASLR with its
# relocations, DEP, terminal-server aware) and with the stack protector's check linked in.
set -euo pipefail
program=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
objdump=i686-w64-mingw32-objdump

headers=$("$objdump" -p "$program")
grep -q "^Magic.*010b.*(PE32)" <<<"$headers" || fail "not a 32-bit (PE32) executable"
grep -q "^Subsystem.*(Windows GUI)" <<<"$headers" || fail "not a Windows GUI program"

# Windows' own libraries, present on every Windows since XP (ADVAPI32 gives the stack protector its
# random canary).
system_dlls="^(KERNEL32|USER32|GDI32|OLE32|OLEAUT32|OLEACC|SHLWAPI|MSVCRT|ADVAPI32)\.DLL$"
mapfile -t dlls < <(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers")
((${#dlls[@]} > 0)) || fail "no imports found"
for dll in "${dlls[@]}"; do
    [[ $dll =~ $system_dlls ]] || fail "imports $dll, which Windows does not ship"
done

for flag in DYNAMIC_BASE NX_COMPAT TERMINAL_SERVICE_AWARE; do
    grep -qx "[[:space:]]*$flag" <<<"$headers" || fail "is not $flag"
done
"$objdump" -h "$program" | grep -q "\.reloc" || fail "has no relocations for ASLR"
grep -qa "stack smashing detected" "$program" || fail "has no stack protector"

"$objdump" -h "$program" | grep -q "\.debug" && fail "carries debugging information"
[[ $("$objdump" -t "$program" | grep -c "^\[") == 0 ]] || fail "carries a symbol table"

size=$(stat -c %s "$program")
((size < 600 * 1024)) || fail "is $size bytes, over 600 KB"
echo "$(basename "$program"): $size bytes, imports ${dlls[*]}"
