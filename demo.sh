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

# The sample installation at the window's default root; an existing installation is left as is.
root=/opt/QUV/Kormant
if [[ ! -e $root ]]; then
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" mkdir -p "$root"
    "${sudo_cmd[@]}" cp -a sample/installation/. "$root/"
    # The update renames the root folder, so the operator needs write access to its parent.
    "${sudo_cmd[@]}" chown -R "$(id -u):$(id -g)" /opt/QUV
    echo "Laid the sample installation into $root."
fi

exec build/app/Updater
