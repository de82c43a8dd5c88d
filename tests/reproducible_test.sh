#!/usr/bin/env bash
# Builds every shipped file a second time and holds it against the build that the other stages of
# scripts/test made, byte for byte: the same source must give the same bytes whoever builds it,
# wherever and whenever. The second build runs the same scripts in a clone of the source (with the
# working tree's changes and new files) in a folder of another name and depth, as another user
# (nobody, when run as root), under another umask, time zone and locale, with the clock two days
# ahead. A file that differs, or that only one build made, is named, and cmp and diffoscope show where.
#   tests/reproducible_test.sh [ARTIFACT...]            builds the artifacts of the table again
#                                                       (all unless named) and compares them
#   tests/reproducible_test.sh --build|--compare [...]  only builds them again, in build-again/, or
#                                                       only compares, as scripts/test does beside
#                                                       its other stages and after them
# The first build must be there already, made by the script that the table names.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../scripts/setup.sh"

# Each artifact: the script that builds it, with the arguments that leave the tests out, and what
# ships, relative to the top of the source; a folder stands for every file in it.
declare -A script ships
script[package]="scripts/package -DBUILD_TESTING=OFF" ships[package]="build/*.deb"
script[windows]="scripts/build-windows -DBUILD_TESTING=OFF" ships[windows]="build-windows/*.exe"
script[web]="scripts/build-web -DBUILD_TESTING=OFF" ships[web]="build-web/tablinor-verdusk.html build-web/site"

steps=(build compare)
[[ ${1:-} == --build || ${1:-} == --compare ]] && steps=("${1#--}") && shift
(($# > 0)) || set -- package windows web
again="$repo_root/build-again"
other="$again/elsewhere/a/tablinor"

build() {
    rm -rf "$again"
    git clone -q "$repo_root" "$other"
    git -C "$repo_root" diff HEAD --binary | git -C "$other" apply --binary --allow-empty
    git -C "$repo_root" ls-files -z --others --exclude-standard | (cd "$repo_root" && xargs -0 -r cp --parents -t "$other")
    # Spanish writes a decimal comma, and UTC-14 is a date ahead of every other zone.
    mkdir "$again/locales"
    localedef -i es_ES -f UTF-8 "$again/locales/es_ES.UTF-8"
    local other_umask=002 as_other=()
    [[ $(umask) == 0002 ]] && other_umask=022
    if ((EUID == 0)); then
        as_other=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        chown -R nobody:nogroup "$again"
    fi
    for artifact in "$@"; do
        local start=$SECONDS
        if ! "${as_other[@]}" env HOME="$again" USER=nobody LOGNAME=nobody TZ=UTC-14 LOCPATH="$again/locales" \
            LANG=es_ES.UTF-8 LC_ALL=es_ES.UTF-8 faketime -f +2d \
            bash -c "umask $other_umask && cd '$other' && ${script[$artifact]}" >"$again/$artifact.log" 2>&1; then
            cat "$again/$artifact.log" >&2
            echo "FAIL: $artifact: the second build failed" >&2
            return 1
        fi
        echo "$artifact: built again in $((SECONDS - start)) s"
    done
}

shipped() {  # the top of a build, an artifact: every file it ships, one a line
    (cd "$1" && for path in ${ships[$2]}; do find "$path" -type f; done) | sort
}

show_difference() {  # two files: where they first part (or which is missing), and diffoscope's account
    cmp "$1" "$2" 2>&1 || true
    diffoscope --no-progress --text - "$1" "$2" 2>/dev/null | cut -c 1-160 | head -n 60 || true
}

compare() {
    local same=0 total=0 artifact file
    for artifact in "$@"; do
        [[ -n $(shipped "$repo_root" "$artifact") ]] ||
            { echo "FAIL: $artifact: not built; build it with ${script[$artifact]%% *}" >&2; return 1; }
        while read -r file; do
            total=$((total + 1))
            if cmp -s "$repo_root/$file" "$other/$file"; then
                same=$((same + 1))
            else
                echo "DIFFERS: $file"
                show_difference "$repo_root/$file" "$other/$file"
            fi
        done < <({ shipped "$repo_root" "$artifact"; shipped "$other" "$artifact"; } 2>/dev/null | sort -u)
    done
    echo "$same of $total shipped files are the same in both builds"
    ((same == total)) && rm -rf "$again"
}

for step in "${steps[@]}"; do
    "$step" "$@"
done
