#!/usr/bin/env bash
# Makes the Debian 13 chroot that holds the Firebird 4.0 server and tools of the tests, at one
# machine-wide place that every clone and build tree shares (UPDATER_FIREBIRD4_ROOT, by default
# /var/lib/updater/firebird4-root). Debian 12 has no Firebird 4, and its libraries are too old for
# Debian 13's, so the server runs inside a tree of its own (tests/firebird/firebird-server.sh).
# Idempotent: a finished chroot carries a stamp naming what it was made with, and then nothing is
# done. A run that was interrupted leaves only a work folder that the next run removes.
set -euo pipefail

root=${UPDATER_FIREBIRD4_ROOT:-/var/lib/updater/firebird4-root}
suite=trixie
mirror=http://deb.debian.org/debian
# libib-util: the server's UDF support fails without it ("ib_util init failed").
packages=(firebird4.0-server firebird4.0-utils libib-util)

if ! id firebird >/dev/null 2>&1; then
    echo "$0: the host has no user firebird (install firebird3.0-server first)" >&2
    exit 1
fi
# The server in the chroot runs as the host's firebird user: files it makes in the build tree
# must belong to the same user as those of the Firebird 3 server.
uid=$(id -u firebird)
gid=$(id -g firebird)
want="suite=$suite packages=${packages[*]} firebird=$uid:$gid"
stamp=$root/.updater-firebird4
if [[ -f $stamp && $(cat "$stamp") == "$want" ]]; then
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    exec sudo --preserve-env=UPDATER_FIREBIRD4_ROOT "$0" "$@"
fi

mkdir -p "$(dirname "$root")"
# Two installs at once (two clones) must not build the same tree.
exec 9>"$root.lock"
flock 9
if [[ -f $stamp && $(cat "$stamp") == "$want" ]]; then
    exit 0
fi

# Mounts below a tree that a killed run left behind; rm would otherwise walk into them.
unmount_below() {
    local mounts
    mounts=$(awk -v top="$1" '$5 == top || index($5, top "/") == 1 { print $5 }' \
        /proc/self/mountinfo | sort -r)
    for m in $mounts; do
        umount -l "$m" 2>/dev/null || true
    done
}

work=$root.new
unmount_below "$work"
rm -rf --one-file-system "$work"
echo "Making the Firebird 4 chroot $root (Debian $suite from $mirror)"
started=$SECONDS
debootstrap --variant=minbase "$suite" "$work" "$mirror" >"$root.log" 2>&1 || {
    tail -n 30 "$root.log" >&2
    exit 1
}

# Services never start inside the chroot: the tests start their server themselves.
printf '#!/bin/sh\nexit 101\n' >"$work/usr/sbin/policy-rc.d"
chmod 755 "$work/usr/sbin/policy-rc.d"

# The package's user, with the host's numbers, made before the package would make its own.
existing=$(chroot "$work" getent passwd "$uid" | cut -d: -f1 || true)
if [[ -n $existing && $existing != firebird ]]; then
    echo "$0: uid $uid of the host's firebird is $existing in the chroot" >&2
    exit 1
fi
existing=$(chroot "$work" getent group "$gid" | cut -d: -f1 || true)
if [[ -n $existing && $existing != firebird ]]; then
    echo "$0: gid $gid of the host's firebird is $existing in the chroot" >&2
    exit 1
fi
chroot "$work" getent group firebird >/dev/null || chroot "$work" groupadd -r -g "$gid" firebird
chroot "$work" getent passwd firebird >/dev/null ||
    chroot "$work" useradd -r -u "$uid" -g "$gid" -d /var/lib/firebird -s /usr/sbin/nologin \
        -c "Firebird Database Administator" firebird

# The packages' scripts get a /proc; the private mount namespace takes it away again.
unshare --mount --propagation private bash -c '
    mount -t proc proc "$1/proc"
    DEBIAN_FRONTEND=noninteractive chroot "$1" apt-get install -y -q --no-install-recommends \
        "${@:2}"
    chroot "$1" apt-get clean' installing "$work" "${packages[@]}" >>"$root.log" 2>&1 || {
    tail -n 30 "$root.log" >&2
    exit 1
}

# The mount point of the host's /etc/hosts, which the server's namespace mounts over it.
cp /etc/hosts "$work/etc/hosts"

echo "$want" >"$work/.updater-firebird4"
unmount_below "$root"
rm -rf --one-file-system "$root"
mv "$work" "$root"
echo "Firebird 4 chroot ready in $((SECONDS - started)) s:" \
    "$(chroot "$root" dpkg-query -W -f='${Version}' firebird4.0-server)"
