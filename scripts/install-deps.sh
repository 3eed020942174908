#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run the demo, and the
# Debian 13 chroot that holds the Firebird 4 server of the tests (scripts/firebird4-root.sh).
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    libgtest-dev
    qt6-base-dev libgl-dev fonts-dejavu-core fonts-liberation2
    xvfb xauth
    # The Windows build (MinGW-w64, googletest's sources, the static zlib of the package
    # program) and its tests under Wine. Without its preloader Wine now and then fails to start a
    # program ("failed to map the shared user data") where the randomised address space took the
    # addresses Windows programs need.
    g++-mingw-w64-x86-64-posix googletest wine64 wine64-preloader libz-mingw-w64-dev
    # Wine's own fonts (MS Sans Serif with Cyrillic), copied into the tests' Wine prefix: without
    # them Cyrillic in the log pane falls back to a system font whose text shaping crashes Wine 8.
    fonts-wine
    # The 32-bit Windows build (the product) and its few runs under Wine's 32-bit side, which
    # this machine's kernel starts only through qemu (scripts/qemu-i386-binfmt.sh).
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix qemu-user-static wine32:i386
    # The package builder (writes zip archives through libarchive) and the package program (its
    # static zlib, libz.a), ib_util.h for the quv_udf library, mkfs.ext4 for the full-disk tests.
    libarchive-dev zlib1g-dev firebird-dev e2fsprogs
    # The private Firebird 3 server of the tests, its tools, the client library and ibase.h.
    firebird3.0-server firebird3.0-utils libfbclient2 firebird-dev
    libinih-dev
    # setpriv and unshare (the tests' server as the user firebird, a network of its own for the
    # tests that stop a server), ip to bring that network's loopback up.
    util-linux iproute2
    # setfacl: the Windows server tests grant the server's user the installation folder, as a
    # Windows installation grants the server's account (tests/firebird/OwnDatabase.h).
    acl
    # The chroot of the Firebird 4 server of the tests.
    debootstrap
    # libFuzzer for the fuzz test.
    clang libclang-rt-14-dev
    # The locales that give Wine its code page in the tests of the system's code page
    # (ru_RU.UTF-8: 1251, en_US.UTF-8: 1252), made below.
    locales
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

here=$(dirname "$0")
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
fi

make_locales() {
    for name in ru_RU en_US; do
        locale -a | grep -qi "^$name\.utf-\?8$" ||
            "${sudo_cmd[@]}" localedef -i "$name" -f UTF-8 "$name.UTF-8"
    done
}

if ((${#missing[@]} == 0)); then
    make_locales
    exec "$here/firebird4-root.sh"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive

# The Firebird server package would start the system's own Firebird service where an init system
# runs; the project uses only its private server, so services stay down during this install.
# An existing policy of the machine is left as it is.
policy=/usr/sbin/policy-rc.d
if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
fi

# wine32 is a package of the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
make_locales
"$here/firebird4-root.sh"
