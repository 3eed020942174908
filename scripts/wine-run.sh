#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The 64-bit loader, no debug channels, no display, and the build tree's own prefix (made by
# scripts/windows-tests.sh). Exit codes keep only their low 8 bits under Wine.
set -euo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
exec /usr/lib/wine/wine64 "$@"
