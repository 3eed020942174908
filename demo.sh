#!/usr/bin/env bash
# Sets up and runs the updater on the bundled sample installation: installs what is missing,
# builds, starts a private Firebird server that runs as the user firebird on 127.0.0.1:3051
# (SYSDBA's password is the window's default one), lays out the sample installation at release 3
# with both parts at the window's default root, and opens the Updater window. Start with the
# default fields and Yes then updates it to release 4 for real. Every run resets the sample.
#
#   ./demo.sh            all of it; the server stops when the window closes
#   ./demo.sh --prepare  all but the window; prints the command that starts the updater
#   ./demo.sh --stop     stops the demo's server (./test.sh does this too, as it needs the port)
set -euo pipefail
cd "$(dirname "$0")"
here=$PWD

mode=run
case ${1:-} in
"") ;;
--prepare) mode=prepare ;;
--stop) mode=stop ;;
*)
    echo "usage: $0 [--prepare | --stop]" >&2
    exit 2
    ;;
esac

# The server runs as its own user and the sample's database folder belongs to it, as on an
# installed system; that, the folder under /opt and the updater's access check want root.
if [[ $(id -u) -ne 0 ]]; then
    exec sudo --preserve-env=DISPLAY,XAUTHORITY,WAYLAND_DISPLAY,QT_QPA_PLATFORM "$0" "$@"
fi

root=/opt/QUV/Kormant
server_dir=$here/build/demo-firebird
password=mirdelkoza
port=3051

stop_server() {
    bash tests/firebird/firebird-server.sh stop "$server_dir" >/dev/null
}

if [[ $mode == stop ]]; then
    stop_server
    echo "The demo's Firebird server is stopped."
    exit 0
fi

if [[ $mode == run && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" &&
    -z "${QT_QPA_PLATFORM:-}" ]]; then
    cat <<MSG
No display is available, so the Updater window cannot be shown here.
Run it under a virtual display instead:
    xvfb-run -a ./demo.sh
view it on a remote X server by setting DISPLAY first, or prepare everything without the window:
    ./demo.sh --prepare
MSG
    exit 1
fi

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target Updater

# A fresh server instance each time; it waits (up to 60 s) for a test run's server to let go of
# the port.
bash tests/firebird/firebird-server.sh start "$server_dir" "$port" "$password" 60

# The sample at release 3: the client part as installed, the database made by the server in a
# folder of the server's user. What an earlier run left (the staging folders, a root renamed
# with "_", the updated database) goes first.
rm -rf "$root" "${root}_"
mkdir -p "$root/DB_Data"
cp -a sample/installation/. "$root/"
chown firebird:firebird "$root/DB_Data"
bash sample/db/make-release3.sh "localhost/$port:$root/DB_Data/Kormant.fdb" "$password" >/dev/null
echo "Laid the sample installation at release 3 into $root (client and server part)."

# The updater finds the server's folder (its udf folder takes the new function library) through
# FIREBIRD; the script engine and the client library lie beside it or in the system.
command="FIREBIRD=$server_dir $here/build/app/Updater"
if [[ $mode == prepare ]]; then
    cat <<MSG
Prepared. Start the updater (as root, with a display) with:
    $command
Then press Старт and answer Да. The server keeps running until:
    ./demo.sh --stop
MSG
    exit 0
fi

trap stop_server EXIT
FIREBIRD=$server_dir build/app/Updater
