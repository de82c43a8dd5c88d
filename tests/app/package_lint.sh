#!/usr/bin/env bash
# Builds the Debian package into a folder of its own and runs Debian's package checker on it:
# any error or warning fails, as each would keep the package out of a distribution.
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
echo "lintian accepts $(basename "$deb")."
