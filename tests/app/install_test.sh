#!/usr/bin/env bash
# Stages an install and checks it as a desktop would: the entry and the metadata validate, the
# entry's program and icon are there, every icon size is what its folder says, the manual page and
# the package's documents are in place, nothing else lands.
set -euo pipefail
build_dir=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$stage/usr" >/dev/null

desktop=$(find "$stage/usr/share/applications" -name '*.desktop')
desktop-file-validate "$desktop"
# Checks the metadata and that it names the desktop entry beside it.
appstreamcli validate-tree --no-net "$stage"

exec_name=$(sed -n 's/^Exec=//p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[[ -x $stage/usr/bin/$exec_name ]] || fail "the entry starts $exec_name, which is not installed"
[[ -f $stage/usr/share/icons/hicolor/scalable/apps/$icon_name.svg ]] || fail "no scalable $icon_name"

expected=("usr/bin/$exec_name" "usr/share/applications/$(basename "$desktop")"
    "usr/share/icons/hicolor/scalable/apps/$icon_name.svg")
for size in 16 32 48 64 128 256; do
    png="usr/share/icons/hicolor/${size}x${size}/apps/$icon_name.png"
    expected+=("$png")
    [[ $(identify -format '%m %wx%h' "$stage/$png") == "PNG ${size}x${size}" ]] || fail "$png is not a ${size}px PNG"
done
expected+=("usr/share/metainfo/$(basename "$(find "$stage/usr/share/metainfo" -name '*.xml')")"
    "usr/share/man/man1/$exec_name.1.gz" "usr/share/doc/$exec_name/copyright" "usr/share/doc/$exec_name/changelog.gz")

installed=$(cd "$stage" && find . -type f | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[[ $installed == "$wanted" ]] || fail "installed files differ: $(diff <(echo "$wanted") <(echo "$installed"))"
echo "The staged install holds ${#expected[@]} files, all where a desktop looks for them."
