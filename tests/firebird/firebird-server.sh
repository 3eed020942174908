#!/usr/bin/env bash
# Starts or stops the private Firebird 3 server of one build tree.
#
#   firebird-server.sh start INSTANCE_DIR PORT PASSWORD WAIT_SECONDS [OTHER_USER OTHER_PASSWORD]
#   firebird-server.sh stop  INSTANCE_DIR
#
# Run as root, the server runs as the system user firebird (its instance folder is given to it).
# start builds a fresh instance folder (firebird.conf, databases.conf, its own security database
# with SYSDBA's password and, when given, a second user, a copy of intl/, an empty udf/ folder and a test database), then runs
# /usr/sbin/firebird on 127.0.0.1:PORT in the background and waits until the port answers.
# Several build trees share the one port: a machine-wide lock file is held by the server's
# parent for as long as the server runs, so a second build tree waits (up to WAIT_SECONDS) for
# the first one's server to stop. stop ends the server by the PID in the instance folder.
# The system's own Firebird service and its files are never used.
set -euo pipefail

command=$1
dir=$2
pidfile="$dir/server.pid"
# Firebird 3's service manager hands the path of the server's security database, twice, to the
# tool that carries out a request (a shutdown, say), inside an item of at most 255 bytes:
# with a path over 99 bytes every such request fails with "attempt to store N bytes in a clumplet
# with maximum size 255 bytes" (N = 2 x the path's length + 57), whatever the database. An
# instance folder deep in a build tree therefore keeps its security database in a short folder
# of its own. UPDATER_FB_SECURITY_DIR names that folder outright (a test of such a server).
secdir=$dir
if [[ -n ${UPDATER_FB_SECURITY_DIR:-} ]]; then
    secdir=$UPDATER_FB_SECURITY_DIR
elif ((${#dir} + 14 > 99)); then
    secdir=/tmp/updater-fb-$(printf '%s' "$dir" | md5sum | cut -c1-16)
fi
secdb=$secdir/security3.fdb
# The packaged character-set module, wherever the architecture puts it.
intl_dir=$(dirname "$(dpkg -L firebird3.0-server-core | grep '/intl/libfbintl.so$' | head -n1)")

# True when PID is a Firebird server started for this instance folder.
is_our_server() {
    local pid=$1
    [[ -r /proc/$pid/environ ]] || return 1
    [[ $(readlink -f "/proc/$pid/exe" 2>/dev/null) == /usr/sbin/firebird ]] || return 1
    tr '\0' '\n' <"/proc/$pid/environ" | grep -qxF "FIREBIRD=$dir"
}

stop_server() {
    [[ -f $pidfile ]] || return 0
    local pid
    pid=$(cat "$pidfile")
    if [[ -n $pid ]] && is_our_server "$pid"; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 200); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$pid" 2>/dev/null; then
            echo "server $pid did not end on SIGTERM within 20 s; killing it" >&2
            kill -KILL "$pid" 2>/dev/null || true
            sleep 0.5
        fi
        echo "stopped Firebird server $pid of $dir"
    fi
    rm -f "$pidfile"
    if [[ $secdir != "$dir" ]]; then
        rm -rf "$secdir"
    fi
}

port_answers() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

case $command in
stop)
    stop_server
    ;;
start)
    port=$3
    password=$4
    wait_seconds=$5
    other_user=${6:-}
    other_password=${7:-}
    # A server in a network of its own (tests/firebird/own-network.sh) takes a lock of its own.
    lockfile=${UPDATER_FB_LOCKFILE:-/tmp/updater-firebird-$port.lock}

    # A server of this folder left behind by an interrupted run is ours to end.
    stop_server

    rm -rf "$dir" "$secdir"
    mkdir -p "$secdir" "$dir/lock" "$dir/tmp" "$dir/udf" "$dir/intl" "$dir/databases"
    # Copies, not links: a linked libfbintl.so loads but then reports its character sets missing.
    cp "$intl_dir/libfbintl.so" "$intl_dir/fbintl.conf" "$dir/intl/"
    # A client pointed at this folder (FIREBIRD, as the updater's server folder lookup reads it)
    # finds its message texts here too.
    cp "$(dpkg -L libfbclient2 | grep '/firebird.msg$' | head -n1)" "$dir/"
    cat >"$dir/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $secdb
UdfAccess = Restrict $dir/udf
CONF
    cat >"$dir/databases.conf" <<CONF
security.db = $secdb
CONF

    export FIREBIRD=$dir FIREBIRD_LOCK=$dir/lock FIREBIRD_TMP=$dir/tmp
    # The security database is made as Debian's postinst makes it, through the embedded engine.
    echo "create database '$secdb';" | isql-fb -q -user SYSDBA >"$dir/setup.log" 2>&1
    isql-fb -q -user SYSDBA -i /usr/share/firebird/3.0/security.sql "$secdb" \
        >>"$dir/setup.log" 2>&1
    printf "create or alter user SYSDBA password '%s' using plugin Srp;\ncommit;\n" "$password" |
        isql-fb -q -user SYSDBA "$secdb" >>"$dir/setup.log" 2>&1
    if [[ -n $other_user ]]; then
        printf "create or alter user %s password '%s' using plugin Srp;\ncommit;\n" \
            "$other_user" "$other_password" |
            isql-fb -q -user SYSDBA "$secdb" >>"$dir/setup.log" 2>&1
    fi

    # Run as root, the server runs as its own system user, as an installed server does: the
    # files it makes belong to that user, and a database file it is handed back must be one it
    # may open. Otherwise it runs as the user who starts it.
    run_as=()
    if [[ $(id -u) == 0 ]] && id firebird >/dev/null 2>&1; then
        chown -R firebird:firebird "$dir" "$secdir"
        run_as=(setpriv --reuid=firebird --regid=firebird --init-groups)
    fi

    # flock holds the port's lock for the server's whole life: it waits for the lock, starts the
    # server as its child (the server closes every descriptor it inherits, so it cannot hold the
    # lock itself) and exits, releasing the lock, when the server ends.
    # Under the lock the port must be free: a program that is not ours answering there (a system
    # Firebird service, say) would otherwise be taken for our server, and the set-up below and the
    # tests would talk to it while ours ends with "Address already in use".
    rm -f "$pidfile"
    setsid flock -w "$wait_seconds" "$lockfile" \
        bash -c 'if (exec 3<>"/dev/tcp/127.0.0.1/$3") 2>/dev/null; then
                     echo "port $3 is already served by a program that is not ours" >&2
                     exit 1
                 fi
                 echo "$0" >"$1.owner"; echo $$ >"$2"; shift 3; exec "$@" /usr/sbin/firebird' \
        "$dir" "$lockfile" "$pidfile" "$port" "${run_as[@]}" </dev/null >"$dir/server.log" 2>&1 &
    holder=$!

    started=$SECONDS
    deadline=$((SECONDS + wait_seconds + 5))
    announced=0
    until [[ -s $pidfile ]]; do
        if ! kill -0 "$holder" 2>/dev/null; then
            [[ -s $pidfile ]] && break
            if [[ -s $dir/server.log ]]; then
                cat "$dir/server.log" >&2
            else
                echo "port $port stayed held by another build tree's server for $wait_seconds s:" \
                    "$(cat "$lockfile.owner" 2>/dev/null || echo unknown)" >&2
            fi
            exit 1
        fi
        if ((announced == 0 && SECONDS - started >= 2)); then
            echo "waiting for the server of $(cat "$lockfile.owner" 2>/dev/null || echo another build tree) to stop"
            announced=1
        fi
        if ((SECONDS > deadline)); then
            kill "$holder" 2>/dev/null || true
            echo "gave up waiting for the lock of port $port" >&2
            exit 1
        fi
        sleep 0.2
    done
    pid=$(cat "$pidfile")

    for _ in $(seq 200); do
        if port_answers "$port"; then
            break
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "the server ended at start; its output:" >&2
            cat "$dir/server.log" >&2
            exit 1
        fi
        sleep 0.05
    done
    if ! port_answers "$port"; then
        echo "the server does not answer on port $port (something else may hold it)" >&2
        stop_server
        exit 1
    fi

    unset FIREBIRD FIREBIRD_LOCK FIREBIRD_TMP
    # The database that the tests attach to, created through the server like any client would.
    printf "create database 'localhost/%s:%s' user 'SYSDBA' password '%s' default character set WIN1251;\n" \
        "$port" "$dir/databases/test.fdb" "$password" | isql-fb -q >>"$dir/setup.log" 2>&1
    echo "Firebird server $pid of $dir answers on 127.0.0.1:$port"
    ;;
*)
    echo "usage: $0 start|stop INSTANCE_DIR ..." >&2
    exit 2
    ;;
esac
