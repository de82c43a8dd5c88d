#!/usr/bin/env bash
# Launch to first paint of "Tablinor - Verdusk.exe" under wine, side by side with a bare Win32
# window showing the same picture (win32_floor.exe), on a virtual display:
#   bench/win32_first_paint.sh [RUNS]     (10 runs when not given)
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../scripts/setup.sh"
runs=${1:-10}

"$repo_root/scripts/build-windows" >/dev/null
add_i386_architecture
install_missing "${windows_test_packages[@]}"
trap 'wineserver -k 2>/dev/null; kill $(jobs -p) 2>/dev/null || true' EXIT
start_virtual_display
start_wine
wine "$windows_build_dir/bench/win32_first_paint.exe" "$runs" \
    "$(winepath -w "$windows_build_dir/Tablinor - Verdusk.exe")" "$(winepath -w "$windows_build_dir/bench/win32_floor.exe")"
