#!/usr/bin/env bash
# Builds the 32-bit Windows product (cmake/mingw-w64-i686.cmake) into build-win32/ and runs its few
# whole-program tests under Wine's 32-bit side, which this machine runs only through qemu
# (scripts/qemu-i386-binfmt.sh): about a minute for each process start. Each run is one process of
# 32-bit code (docs/windows-build.md, "The 32-bit product"):
#   - build-win32's test_client_bridge: the 32-bit engine and layers against the real server
#     through the 32-bit client bridge;
#   - build-win's 64-bit driver test (label i686-emulated) driving the 32-bit Updater.exe through a
#     whole update with both parts.
# Runs after scripts/windows-tests.sh and reuses its build tree and Wine prefix.
#   windows32-tests.sh [BUILD32 [BUILD64]]   (defaults build-win32, build-win)
set -euo pipefail
cd "$(dirname "$0")/.."

build32=${1:-build-win32}
build64=${2:-build-win}
prefix=$PWD/$build64/wineprefix
# scripts/windows-tests.sh makes the prefix; made while Wine's 32-bit side is installed, it has
# its 32-bit part (syswow64), without which no 32-bit program starts.
if [[ ! -f $prefix/drive_c/windows/syswow64/kernel32.dll ]]; then
    echo "No Wine prefix with its 32-bit part in $build64: run scripts/windows-tests.sh" \
        "$build64 first (with wine32:i386 installed)" >&2
    exit 1
fi
./scripts/qemu-i386-binfmt.sh

step() {
    local what=$1 started=$SECONDS status=0
    shift
    "$@" || status=$?
    echo "== 32-bit Windows, $what: $((SECONDS - started)) s"
    return "$status"
}

# The 32-bit build; its package program's zip is attached by the 64-bit build's tool.
step "build" bash -c '
    cmake --build "$2" --target updater-win32-make-package test_updater_program_server_windows \
        -j "$(nproc)" &&
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_BUILD_APP=OFF -DUPDATER_WINE_PREFIX="$3" \
        -DUPDATER_MAKE_PACKAGE_TOOL="$PWD/$2/app/win32/updater-win32-make-package.exe" \
        >/dev/null &&
    cmake -S . -B "$2" -DUPDATER_I686_BUILD_DIR="$PWD/$1" >/dev/null &&
    cmake --build "$1" -j "$(nproc)"' build "$build32" "$build64" "$prefix"

export WINEPREFIX=$prefix WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w
# One server for both runs, and the prefix's services and desktop started away from the tests'
# output, as scripts/windows-tests.sh does.
/usr/lib/wine/wineserver -f -p </dev/null >/dev/null 2>&1 &
server=$!
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; kill "$server" 2>/dev/null || true
      wait "$server" 2>/dev/null || true' EXIT
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1

status=0
step "the engine and the layers through the 32-bit bridge (build-win32)" \
    ctest --test-dir "$build32" --output-on-failure || status=1
step "Updater.exe driven through a whole update (build-win, label i686-emulated)" \
    ctest --test-dir "$build64" --output-on-failure -L i686-emulated || status=1
exit "$status"
