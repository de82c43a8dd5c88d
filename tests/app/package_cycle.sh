#!/usr/bin/env bash
# Installs the Debian package on this machine, drives the installed program, and removes the
# package again, checking that it leaves none of its files behind. Needs root (or sudo).
set -euo pipefail
deb=$(realpath "$1")
here=$(dirname -- "${BASH_SOURCE[0]}")
sudo=()
((EUID == 0)) || sudo=(sudo)
fail() { echo "FAIL: $*" >&2; exit 1; }

package=$(dpkg-deb --field "$deb" Package)
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq -o DPkg::Lock::Timeout=600 "$deb" >/dev/null
dpkg-query -W -f='${Status}' "$package" | grep -q "install ok installed" || fail "$package did not install"
mapfile -t files < <(dpkg -L "$package" | while read -r path; do [[ -f $path ]] && echo "$path"; done)
program=$(command -v tablinor-verdusk) || fail "tablinor-verdusk is not on the PATH"

"$here/real_program_test.sh" "$program"

DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=600 "$package" >/dev/null
for path in "${files[@]}"; do
    [[ ! -e $path ]] || fail "$path is left after removing $package"
done
echo "$package installed ${#files[@]} files, ran, and removed them all."
