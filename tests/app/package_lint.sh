#!/usr/bin/env bash
# Builds the Debian package into a folder of its own and runs Debian's package checker on it:
# any error or warning fails, as each would keep the package out of a distribution. Its program
# must be hardened as Debian builds programs, and carry no library search path of its own.
set -euo pipefail
build_dir=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

if ! log=$(cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$out" 2>&1); then
    echo "$log" >&2
    exit 1
fi
deb=$(find "$out" -maxdepth 1 -name '*.deb')
# The checker only warns that root should not unpack packages it does not trust; this one is ours.
lintian --allow-root --fail-on error,warning "$deb"
dpkg-deb -x "$deb" "$out/root"
program=$(find "$out/root/usr/bin" -type f)
# Debian 12 builds nothing with -fcf-protection, its Qt included.
hardening-check --nocfprotection "$program"
if readelf -d "$program" | grep -E "\((RPATH|RUNPATH)\)"; then
    echo "FAIL: the program carries a library search path of its own" >&2
    exit 1
fi
echo "lintian accepts $(basename "$deb"), and its program is hardened."
