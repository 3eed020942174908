#!/usr/bin/env bash
# Fills the new Wine prefix PREFIX with a copy of a fresh prefix kept for this user and this Wine.
# Making a prefix runs Wine's 32-bit part here under emulation (scripts/qemu-i386-binfmt.sh): 5 to
# 9 minutes of one core. So it is made once per machine, like the Firebird 4 root of
# firebird4-root.sh, and each build tree's prefix is a copy of it (seconds). The build tree's own
# settings (graphics driver, fonts, ...) are applied to the copy by the scripts that use it.
#   wine-prefix-template.sh PREFIX
set -euo pipefail

prefix=$1
# "wine-8.0 (Debian 8.0~repack-4)" as a folder name: wine-8.0_Debian_8.0~repack-4
version=$(/usr/lib/wine/wine64 --version 2>/dev/null | tr -cs 'A-Za-z0-9.~-' _ | sed 's/_$//')
version=${version:-unknown}
# A prefix made without Wine's 32-bit side never gets its 32-bit part later.
kind=win64
if [[ -x /usr/lib/wine/wine ]]; then
    kind=wow64
fi
template=${XDG_CACHE_HOME:-$HOME/.cache}/updater/wineprefix-$version-$kind
mkdir -p "$(dirname "$template")"

# Two build trees starting at once make it once.
exec 9>"$template.lock"
flock 9
if [[ ! -f $template/.made ]]; then
    started=$SECONDS
    rm -rf "$template" "$template.new"
    mkdir -p "$template.new"
    (
        export WINEPREFIX=$template.new WINEDEBUG=-all
        unset DISPLAY WAYLAND_DISPLAY
        # wineboot stops waiting after 5 minutes while the emulated 32-bit setup goes on; the
        # prefix's server ends once that has ended too.
        /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
        /usr/lib/wine/wineserver -w
    )
    if [[ $kind == wow64 && ! -f $template.new/drive_c/windows/syswow64/kernel32.dll ]]; then
        echo "The new Wine prefix $template.new has no 32-bit part" >&2
        exit 1
    fi
    touch "$template.new/.made"
    mv "$template.new" "$template"
    echo "Made the Wine prefix $template in $((SECONDS - started)) s"
fi
mkdir -p "$prefix"
cp -a "$template/." "$prefix/"
rm -f "$prefix/.made"
