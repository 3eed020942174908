#!/usr/bin/env bash
# Starts or stops the private Firebird server of one build tree: Firebird 3.0 from the host's
# packages, or Firebird 4.0 from the Debian 13 chroot of scripts/firebird4-root.sh when
# UPDATER_TEST_FIREBIRD=4.
#
#   firebird-server.sh start INSTANCE_DIR PORT PASSWORD WAIT_SECONDS [OTHER_USER OTHER_PASSWORD]
#   firebird-server.sh stop  INSTANCE_DIR
#
# Run as root, the server runs as the system user firebird (its instance folder is given to it).
# start builds a fresh instance folder (firebird.conf, databases.conf, its own security database
# with SYSDBA's password and, when given, a second user, a copy of intl/, an empty udf/ folder
# and a test database), then runs the server on 127.0.0.1:PORT in the background and waits until
# the port answers; the server's version is left in INSTANCE_DIR/server-version.
# Several build trees share the one port: a machine-wide lock file is held by the server's
# parent for as long as the server runs, so a second build tree waits (up to WAIT_SECONDS) for
# the first one's server to stop. stop ends the server by the PID in the instance folder.
# The system's own Firebird service and its files are never used.
set -euo pipefail

command=$1
# Absolute: the server's environment names it, and the Firebird 4 server sees it from a chroot.
dir=$(realpath -m -- "$2")
pidfile="$dir/server.pid"
version=${UPDATER_TEST_FIREBIRD:-3}
fb4_root=${UPDATER_FIREBIRD4_ROOT:-/var/lib/updater/firebird4-root}
# The Firebird 4 server itself; the packaged /usr/sbin/firebird is a wrapper that points FIREBIRD
# at the packaged folder.
fb4_server=/usr/lib/firebird/4.0/bin/firebird

case $version in
3)
    # The packaged character-set module, wherever the architecture puts it.
    intl_dir=$(dirname "$(dpkg -L firebird3.0-server-core | grep '/intl/libfbintl.so$' | head -n1)")
    security=security3.fdb
    ;;
4)
    # Debian builds Firebird 4 relocatable: its plugins, ib_util, intl and message texts are looked
    # for under FIREBIRD, that is under the instance folder.
    fb4_home=$(cd "$fb4_root" 2>/dev/null && ls -d usr/lib/*/firebird/4.0/plugins | head -n1) ||
        true
    if [[ $command == start && ($(id -u) != 0 || -z $fb4_home || ! -x $fb4_root$fb4_server) ]]; then
        echo "Firebird 4 needs root and the chroot $fb4_root (scripts/firebird4-root.sh)" >&2
        exit 1
    fi
    fb4_home=/$(dirname "$fb4_home")
    security=security4.fdb
    ;;
*)
    echo "UPDATER_TEST_FIREBIRD=$version: only 3 and 4 are known" >&2
    exit 2
    ;;
esac

# Firebird 3's service manager hands the path of the server's security database, twice, to the
# tool that carries out a request (a shutdown, say), inside an item of at most 255 bytes:
# with a path over 99 bytes every such request fails with "attempt to store N bytes in a clumplet
# with maximum size 255 bytes" (N = 2 x the path's length + 57), whatever the database. An
# instance folder deep in a build tree therefore keeps its security database in a short folder
# of its own (for Firebird 4 one inside the chroot, which its server sees).
# UPDATER_FB_SECURITY_DIR names that folder outright (a test of such a server). secdir is the
# folder as the server sees it, secdir_host the same folder seen from here.
secdir=$dir
secdir_host=$dir
if [[ -n ${UPDATER_FB_SECURITY_DIR:-} ]]; then
    secdir=$UPDATER_FB_SECURITY_DIR
    secdir_host=$secdir
elif ((${#dir} + 14 > 99)); then
    short=updater-fb-$(printf '%s' "$dir" | md5sum | cut -c1-16)
    if [[ $version == 3 ]]; then
        secdir=/tmp/$short
        secdir_host=$secdir
    else
        secdir=/var/lib/updater-security/$short
        secdir_host=$fb4_root$secdir
    fi
fi
secdb=$secdir/$security

# True when PID is a Firebird server (either version) started for this instance folder.
is_our_server() {
    local pid=$1 exe
    [[ -r /proc/$pid/environ ]] || return 1
    exe=$(readlink -f "/proc/$pid/exe" 2>/dev/null) || return 1
    [[ $exe == /usr/sbin/firebird || $exe == "$fb4_root$fb4_server" ]] || return 1
    tr '\0' '\n' <"/proc/$pid/environ" | grep -qxF "FIREBIRD=$dir"
}

# The folder through which the Firebird 4 server in the chroot sees INSTANCE_DIR, the build tree
# and the tests' databases at their host paths: the first folder on the instance folder's path
# that the chroot lacks or holds empty (/work, /tmp, /root/<clone>, /var/lib/<ci> …), so that
# nothing of the chroot's own is hidden. A mount point made for it stays empty, so the same
# folder is chosen every time.
fb4_shared_folder() {
    local parts part path=""
    IFS=/ read -ra parts <<<"${dir#/}"
    for part in "${parts[@]}"; do
        path+=/$part
        if [[ ! -d $fb4_root$path || -z $(ls -A "$fb4_root$path") ]]; then
            break
        fi
    done
    echo "$path"
}

# The command that runs a command of the chroot's (`chroot` options, the chroot, the command
# follow it) in a mount namespace of its own: the shared folder, /proc and /etc/hosts are mounted
# there, and the packaged plugins, ib_util and message texts over the instance folder's
# placeholders, so that the host's client reading that folder still finds its own message texts.
# The mounts go with the namespace when its last process ends, however it ends, so none pile up
# on the host and none outlive the server.
fb4_chroot_command() {
    local shared holder propagation
    shared=$(fb4_shared_folder)
    mkdir -p "$fb4_root$shared"
    [[ -e $fb4_root/etc/hosts ]] || cp /etc/hosts "$fb4_root/etc/hosts"
    # What the host mounts under the shared folder later (a test's small disk) must reach the
    # server too: the host's mount that holds the folder is made a shared one, and the namespace's
    # copies are its slaves, so mounts pass from the host to the server and never back.
    read -r holder propagation < <(findmnt -n -o TARGET,PROPAGATION -T "$shared")
    [[ $propagation == shared* ]] || mount --make-shared "$holder"
    in_fb4_chroot=(unshare --mount --propagation slave bash -c '
        set -e
        root=$1 shared=$2 home=$3 dir=$4
        shift 4
        # The instance folder'"'"'s mounts first: the shared folder takes them along.
        mount --bind "$root$home/plugins" "$dir/plugins"
        mount --bind "$root$home/lib" "$dir/lib"
        mount --bind "$root$home/firebird.msg" "$dir/firebird.msg"
        mount --rbind "$shared" "$root$shared"
        mount -t proc proc "$root/proc"
        mount --bind /etc/hosts "$root/etc/hosts"
        exec chroot "$@"' in-fb4-chroot "$fb4_root" "$shared" "$fb4_home" "$dir")
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
    if [[ $secdir_host != "$dir" ]]; then
        rm -rf "$secdir_host"
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

    rm -rf "$dir" "$secdir_host"
    mkdir -p "$secdir_host" "$dir/lock" "$dir/tmp" "$dir/udf" "$dir/intl" "$dir/databases"
    # A client pointed at this folder (FIREBIRD, as the updater's server folder lookup reads it)
    # finds its message texts here too: the host's client library, of either server version.
    cp "$(dpkg -L libfbclient2 | grep '/firebird.msg$' | head -n1)" "$dir/"
    # Copies, not links: a linked libfbintl.so loads but then reports its character sets missing.
    if [[ $version == 3 ]]; then
        cp "$intl_dir/libfbintl.so" "$intl_dir/fbintl.conf" "$dir/intl/"
    else
        cp "$fb4_root$fb4_home/intl/libfbintl.so" "$dir/intl/"
        cp "$fb4_root$(chroot "$fb4_root" realpath "$fb4_home/intl/fbintl.conf")" "$dir/intl/"
        cp "$fb4_root$(chroot "$fb4_root" realpath "$fb4_home/plugins.conf")" "$dir/"
        # Placeholders that the server's mount namespace covers with the packaged folders.
        mkdir -p "$dir/plugins" "$dir/lib"
    fi
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
    # The security database is made as Debian's postinst makes it, through the embedded engine
    # of the server's own version.
    users="create or alter user SYSDBA password '$password' using plugin Srp;"
    if [[ -n $other_user ]]; then
        users+=$'\n'"create or alter user $other_user password '$other_password' using plugin Srp;"
    fi
    if [[ $version == 3 ]]; then
        echo "create database '$secdb';" |
            isql-fb -q -user SYSDBA >"$dir/setup.log" 2>&1
        isql-fb -q -user SYSDBA -i /usr/share/firebird/3.0/security.sql "$secdb" \
            >>"$dir/setup.log" 2>&1
        printf '%s\ncommit;\n' "$users" |
            isql-fb -q -user SYSDBA "$secdb" >>"$dir/setup.log" 2>&1
    else
        fb4_chroot_command
        # Firebird 4's embedded engine takes seconds to make one, and tests that stop the server
        # start many instances: a made one is kept in the chroot for the same users and passwords
        # and copied.
        cache=$(printf '%s\n' "$users" | sha256sum | cut -c1-16)
        cache=$fb4_root/var/cache/updater/security4-$cache.fdb
        if [[ -f $cache ]]; then
            cp "$cache" "$secdir_host/security4.fdb"
        else
            printf "create database '%s';\ninput '%s';\n%s\ncommit;\n" "$dir/security4.fdb" \
                /usr/share/firebird/4.0/security.sql "$users" |
                "${in_fb4_chroot[@]}" "$fb4_root" /usr/lib/firebird/4.0/bin/isql-fb -q -bail \
                    -user SYSDBA >"$dir/setup.log" 2>&1
            mkdir -p "$(dirname "$cache")"
            cp "$dir/security4.fdb" "$cache.$$"
            mv -f "$cache.$$" "$cache"
            if [[ $secdir_host != "$dir" ]]; then
                mv -f "$dir/security4.fdb" "$secdir_host/security4.fdb"
            fi
        fi
    fi

    # Run as root, the server runs as its own system user, as an installed server does: the
    # files it makes belong to that user, and a database file it is handed back must be one it
    # may open. Otherwise it runs as the user who starts it.
    run_as=()
    if [[ $(id -u) == 0 ]] && id firebird >/dev/null 2>&1; then
        chown -R firebird:firebird "$dir" "$secdir_host"
        run_as=(setpriv --reuid=firebird --regid=firebird --init-groups)
    fi
    if [[ $version == 3 ]]; then
        server=("${run_as[@]}" /usr/sbin/firebird)
    else
        # The chroot's firebird user has the host's numbers.
        server=("${in_fb4_chroot[@]}" "--userspec=$(id -u firebird):$(id -g firebird)" "$fb4_root"
            "$fb4_server")
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
                 echo "$0" >"$1.owner"; echo $$ >"$2"; shift 3; exec "$@"' \
        "$dir" "$lockfile" "$pidfile" "$port" "${server[@]}" </dev/null >"$dir/server.log" 2>&1 &
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
    # What the server says it is, for the log of a run and for the tests.
    printf "set heading off;\nselect rdb\$get_context('SYSTEM', 'ENGINE_VERSION') %s\n" \
        "from rdb\$database;" |
        isql-fb -q -user SYSDBA -password "$password" "localhost/$port:$dir/databases/test.fdb" |
        tr -d ' \n' >"$dir/server-version"
    echo "Firebird $(cat "$dir/server-version") server $pid of $dir answers on 127.0.0.1:$port"
    ;;
*)
    echo "usage: $0 start|stop INSTANCE_DIR ..." >&2
    exit 2
    ;;
esac
