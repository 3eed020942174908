#!/usr/bin/env bash
# Checks a built Windows program or DLL with MinGW's objdump, without running it:
#   check-pe.sh OBJDUMP FORMAT FILE [EXPORT...]
# FORMAT is objdump's name of the file's format (pei-i386, pei-x86-64). Every imported DLL must be
# one that every Windows computer has (the libgcc, libstdc++ and winpthread run times are linked
# in statically), every export name must be plain (no __stdcall decoration such as "Connect@16")
# and each EXPORT named must be among them.
set -euo pipefail
objdump=$1 format=$2 file=$3
shift 3
dump=$("$objdump" -p "$file")
status=0
if ! grep -q "file format $format\$" <<<"$dump"; then
    echo "$file: not $format: $(grep -m1 'file format' <<<"$dump")"
    status=1
fi
system='^(advapi32|comctl32|comdlg32|gdi32|kernel32|msvcrt|ntdll|ole32|oleaut32|shell32|shlwapi|user32|uxtheme|version|ws2_32)\.dll$'
while read -r dll; do
    if ! grep -Eqi "$system" <<<"$dll"; then
        echo "$file imports $dll, which is not a system DLL"
        status=1
    fi
done < <(sed -n 's/^\tDLL Name: //p' <<<"$dump")
# The export names: the lines "[   n] name" after the name pointer table's heading.
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$dump")
if grep -q '@' <<<"$exports"; then
    echo "$file has decorated export names:" $(grep '@' <<<"$exports")
    status=1
fi
for name in "$@"; do
    if ! grep -qx "$name" <<<"$exports"; then
        echo "$file does not export $name"
        status=1
    fi
done
if ((status == 0)); then
    echo "$file: $format, imports only system DLLs ($(sed -n 's/^\tDLL Name: //p' <<<"$dump" |
        tr '\n' ' ')), $(grep -c . <<<"$exports" || true) plain export names"
fi
exit "$status"
