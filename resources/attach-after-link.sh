#!/bin/sh
# A link launcher: runs the link command it is given, then attaches the payload to the program
# that the command made (the file after "-o").
#   attach-after-link.sh PACKER SCRIPT PACKAGE -- LINK-COMMAND...
packer=$1
script=$2
package=$3
shift 4
"$@" || exit $?
output=
while [ $# -gt 0 ]; do
    if [ "$1" = "-o" ]; then
        output=$2
    fi
    shift
done
exec "$packer" --script "$script" --package "$package" "$output"
