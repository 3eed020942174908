#!/usr/bin/env bash
# Lets the kernel start 32-bit x86 Linux programs through qemu-i386-static (package
# qemu-user-static), for Wine's 32-bit side (package wine32:i386): this machine's kernel runs no
# 32-bit code itself (a 32-bit ELF program fails to start). Idempotent. The registration is the
# kernel's, shared by every mount namespace (scripts run under /work/isolated.sh see it too), and
# lasts until the machine restarts; flag F opens the interpreter now, so it is found in any mount
# namespace or chroot later.
set -euo pipefail

dir=/proc/sys/fs/binfmt_misc
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
fi
if [[ ! -e $dir/register ]]; then
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$dir"
fi
if [[ -e $dir/qemu-i386 ]]; then
    exit 0
fi
# A kernel that runs 32-bit programs itself needs no qemu (which would then take their place).
if [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    exit 0
fi
qemu=/usr/bin/qemu-i386-static
[[ -x $qemu ]] || { echo "$qemu is missing (package qemu-user-static)" >&2; exit 1; }
# An ELF file of class 32-bit, little-endian, machine 3 (i386), an executable or a shared object
# (the type's low bit masked); the kernel reads the \x escapes itself.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":qemu-i386:M::$magic:$mask:$qemu:F" | "${sudo_cmd[@]}" tee "$dir/register" >/dev/null
echo "Registered $qemu for 32-bit x86 programs"
