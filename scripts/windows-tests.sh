#!/usr/bin/env bash
# Builds the Windows side with MinGW-w64 (cmake/mingw-w64-x86_64.cmake) into build-win/ and runs
# its tests under Wine, in a Wine prefix of the build tree. One wineserver is kept running for
# the whole run (each test program would otherwise start and stop its own) and is stopped by
# its PID at the end. Arguments after the build folder go to CTest (e.g. -R Chooser).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-win}
shift || true
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_BUILD_APP=OFF >/dev/null

export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
# Wine refuses a prefix that belongs to another user.
if [[ -d $WINEPREFIX && $(stat -c %u "$WINEPREFIX") != $(id -u) ]]; then
    rm -rf "$WINEPREFIX"
fi
# The 32-bit runs of scripts/windows32-tests.sh use this prefix. Its 32-bit part is made with it
# when Wine's 32-bit side can start (through qemu here: a few minutes more for a new prefix); a
# prefix made before that never gets it and is made anew.
if [[ -x /usr/lib/wine/wine ]]; then
    ./scripts/qemu-i386-binfmt.sh
    if [[ -f $WINEPREFIX/system.reg && ! -f $WINEPREFIX/drive_c/windows/syswow64/kernel32.dll ]]
    then
        rm -rf "$WINEPREFIX"
    fi
fi
# A new prefix is a copy of the one kept for this machine (made there once: minutes here).
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    ./scripts/wine-prefix-template.sh "$WINEPREFIX"
fi
# The prefix and its settings first, under a server of their own that ends with them. The window
# tests need no display: Wine's null graphics driver. Unmanaged windows, or Wine waits about 2 s
# for the window manager at each window that closes.
/usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# The server tests write the Firebird server's registry key for the life of a test; one killed by
# its time limit leaves it behind, and the prefix records no Firebird server otherwise.
/usr/lib/wine/wine64 reg delete 'HKLM\Software\Firebird Project' /f >/dev/null 2>&1 || true
# A program that crashes prints its backtrace and ends, instead of waiting at Wine's crash dialog
# (which nobody answers) until the test's time limit.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1
# Wine's own fonts, as the system's fonts of Windows: MS Sans Serif with its Cyrillic letters.
# Without them Cyrillic text falls back to a system font whose shaping crashes Wine 8 in the log
# pane (docs/windows-build.md).
if [[ -f /usr/share/wine/fonts/ms_sans_serif.ttf ]]; then
    cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
fi
# The 32-bit part of a new prefix is made by 32-bit programs that run emulated here and outlive
# wineboot's wait (it gives up after 5 minutes): the server ends once they have.
if [[ -x /usr/lib/wine/wine ]]; then
    /usr/lib/wine/wineserver -w
fi
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w
# Then one server for the whole run. In the foreground (-f), so that $! is the server itself, and
# away from this script's output, which it would otherwise hold open after the script ends.
/usr/lib/wine/wineserver -f -p </dev/null >/dev/null 2>&1 &
server=$!
# The server ends every Wine process of the prefix (the system services, the desktop) and then
# itself.
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; kill "$server" 2>/dev/null || true
      wait "$server" 2>/dev/null || true' EXIT
# The system services and the desktop are started here, with the settings above and away from
# any test's output. Started by the first test instead, they would hold its output open until
# they end, and CTest waits for that: about 20 s for every test that opens a window or a console.
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1

# The test lists are read by running the programs, so the prefix comes first.
cmake --build "$build" -j "$(nproc)"
# The 32-bit build's runs under emulation are scripts/windows32-tests.sh's.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE i686-emulated "$@"
