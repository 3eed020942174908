#!/usr/bin/env bash
# Compiles the Win32 side of the platform layer with MinGW-w64, so that a change to a platform
# header that breaks the Windows files is seen on Linux. Syntax and types only; nothing links.
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=${1:-x86_64-w64-mingw32-g++-posix}
status=0
for file in platform/win32/*.cpp platform/*.cpp; do
    [[ -e $file ]] || continue
    if ! "$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I. "$file"; then
        echo "does not compile for Windows: $file" >&2
        status=1
    fi
done
exit $status
