#!/usr/bin/env bash
# Starts or stops the client bridge's Linux helper of one build tree (docs/client-bridge.md).
#
#   client-bridge.sh start HELPER PORT STATE_DIR
#   client-bridge.sh stop  STATE_DIR
#
# start runs HELPER in the background on 127.0.0.1:PORT, its output in STATE_DIR/helper.log and
# its PID in STATE_DIR/helper.pid, and waits until the port answers; stop ends it by that PID.
set -euo pipefail

command=$1

is_our_helper() {
    local pid=$1 helper=$2
    [[ -n $pid && $(readlink -f "/proc/$pid/exe" 2>/dev/null) == "$(readlink -f "$helper")" ]]
}

stop_helper() {
    local dir=$1 pid helper
    [[ -f $dir/helper.pid ]] || return 0
    read -r pid helper <"$dir/helper.pid" || true
    if is_our_helper "$pid" "$helper"; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        echo "stopped client bridge helper $pid"
    fi
    rm -f "$dir/helper.pid"
}

case $command in
start)
    helper=$(realpath -- "$2")
    port=$3
    dir=$4
    mkdir -p "$dir"
    # A helper of this tree left behind by an interrupted run is ours to end.
    stop_helper "$dir"
    # Away from this script's output, which CTest would otherwise wait for.
    "$helper" --port "$port" </dev/null >"$dir/helper.log" 2>&1 &
    pid=$!
    echo "$pid $helper" >"$dir/helper.pid"
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "client bridge helper $pid listening on 127.0.0.1:$port"
            exit 0
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    echo "the client bridge helper did not start:" >&2
    cat "$dir/helper.log" >&2
    exit 1
    ;;
stop)
    stop_helper "$2"
    ;;
*)
    echo "usage: client-bridge.sh start HELPER PORT STATE_DIR | stop STATE_DIR" >&2
    exit 2
    ;;
esac
