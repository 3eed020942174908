#!/usr/bin/env bash
# Installs what is missing, builds the updater and opens its window.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target Updater

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    cat <<MSG
No display is available, so the Updater window cannot be shown here.
Run it under a virtual display instead:
    xvfb-run -a ./demo.sh
or view it on a remote X server by setting DISPLAY first.
MSG
    exit 1
fi

exec build/app/Updater
