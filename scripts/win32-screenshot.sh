#!/usr/bin/env bash
# Takes the README's picture of the Win32 window: Updater.exe of build-win/ under Wine on a
# virtual display, with Wine's own MS Sans Serif and the Russian code page (1251), as an operator's
# computer shows it. The tests need none of this; it is for the picture only.
#
#   scripts/win32-screenshot.sh [OUTPUT.png]    (default docs/screenshots/win32-main-window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-docs/screenshots/win32-main-window.png}")
program=$PWD/build-win/app/Updater.exe
[[ -f $program ]] || { echo "build the Windows tree first: scripts/windows-tests.sh" >&2; exit 1; }

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
missing=()
for package in xvfb x11-apps x11-utils netpbm fonts-wine locales; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}"
fi
# The Russian locale gives Wine the code page 1251, and so the Cyrillic MS Sans Serif.
locale -a | grep -qi '^ru_RU\.utf-\?8$' || "${sudo_cmd[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all LC_ALL=ru_RU.UTF-8 DISPLAY=:$((90 + RANDOM % 9))
Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true
      rm -rf "$work"' EXIT
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# Unmanaged: Wine draws the frame itself, as Windows does, with no window manager on the display.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"

/usr/lib/wine/wine64 "$program" >/dev/null 2>&1 &
window=
for _ in $(seq 60); do
    sleep 0.5
    window=$(xwininfo -root -tree | awk '$2 == "\"Updater\":" { print $1; exit }')
    [[ -n $window ]] && break
done
[[ -n $window ]] || { echo "the window did not appear" >&2; exit 1; }
sleep 2 # the first paint
xwd -id "$window" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$output"
echo "Wrote $output"
