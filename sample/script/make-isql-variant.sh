#!/usr/bin/env bash
# Turns an update script of the updater's frame into one that isql-fb runs the same way.
#
#   make-isql-variant.sh IN OUT DBSTRING PASSWORD
#
# isql-fb has no RECONNECT: each RECONNECT becomes "COMMIT; CONNECT 'DBSTRING' USER 'SYSDBA'
# PASSWORD 'PASSWORD';" on the same line (the first one only CONNECT, since isql has no
# attachment yet at that point; run the result without a database on the command line:
#   isql-fb -q -i OUT
# ). "SET BAIL ON;" goes in front, so that isql stops at the first failing statement as the
# updater's engine does. Everything else is copied byte for byte, CR LF line ends included.
#
# A RECONNECT is recognised only alone on its line (blanks and letter case aside), which is how
# the update scripts write it; a line of that form inside a comment or literal would be taken
# too.
#
# Differences that remain: isql drops every CR, inside string literals as well, so a literal that
# spans lines is stored with LF where the engine stores CR LF.
set -euo pipefail

if (($# != 4)); then
    echo "usage: $0 IN OUT DBSTRING PASSWORD" >&2
    exit 2
fi
in=$1
out=$2

# Inside an SQL literal a single quote is written twice.
quote() { printf "'%s'" "${1//\'/\'\'}"; }
export CONNECT_STATEMENT="CONNECT $(quote "$3") USER 'SYSDBA' PASSWORD $(quote "$4");"

# Written under a temporary name and renamed, so that OUT is never a half-written script.
tmp="$out.partial.$$"
trap 'rm -f "$tmp"' EXIT
LC_ALL=C awk '
    BEGIN { printf "SET BAIL ON;\r\n"; connected = 0 }
    {
        line = $0
        cr = sub(/\r$/, "", line) ? "\r" : ""
        if (tolower(line) ~ /^[ ]*reconnect[ ]*;[ ]*$/) {
            print (connected ? "COMMIT; " : "") ENVIRON["CONNECT_STATEMENT"] cr
            connected = 1
        } else {
            print $0
        }
    }
    END { if (!connected) exit 3 }
' "$in" >"$tmp" || {
    status=$?
    ((status == 3)) && echo "$0: $in has no RECONNECT line; isql would have no database" >&2
    exit 1
}
mv "$tmp" "$out"
trap - EXIT
