#!/usr/bin/env bash
# Runs a test program in a network of its own, with only its loopback: the private Firebird
# server that such a test starts (and stops in the middle of an update) then has port 3051 to
# itself, while the shared server of the other tests keeps that port outside. It needs root;
# elsewhere the program runs as it is, told so, and its tests skip.
if [[ $(id -u) == 0 ]] && unshare --net true 2>/dev/null; then
    exec unshare --net bash -c 'ip link set lo up && exec "$@"' own-network "$@"
fi
UPDATER_NO_OWN_NETWORK=1 exec "$@"
