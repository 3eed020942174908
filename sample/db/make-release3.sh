#!/usr/bin/env bash
# Builds the sample Kormant database at release 3 through a running Firebird server.
#
#   make-release3.sh [--existing] DBSTRING PASSWORD
#
# DBSTRING is what a client attaches to, e.g. localhost/3051:/abs/path/Kormant.fdb; PASSWORD is
# SYSDBA's. Without --existing the database is created first (dialect 3, default character set
# WIN1251, as the installation's Kormant.fdb is); with it, an existing empty database of that
# kind receives the schema and the data. Stops at the first failing statement and ends non-zero.
set -euo pipefail

existing=0
if [[ ${1:-} == --existing ]]; then
    existing=1
    shift
fi
if (($# != 2)); then
    echo "usage: $0 [--existing] DBSTRING PASSWORD" >&2
    exit 2
fi
dbstring=$1
password=$2
script="$(dirname "$0")/kormant-release3.sql"

# isql-fb reports a failed statement on stderr but may still end with 0 without bail; the
# script sets bail itself, and its output is checked for failures as well.
run_isql() {
    local output
    output=$("$@" 2>&1) || {
        printf '%s\n' "$output" >&2
        return 1
    }
    if grep -q 'Statement failed' <<<"$output"; then
        printf '%s\n' "$output" >&2
        return 1
    fi
}

if ((existing == 0)); then
    # Quotes in a path or password would end the literal; neither is expected, so refuse them.
    if [[ $dbstring == *"'"* || $password == *"'"* ]]; then
        echo "$0: a single quote in the database string or password is not supported" >&2
        exit 2
    fi
    printf "create database '%s' user 'SYSDBA' password '%s' page_size 8192 default character set WIN1251;\n" \
        "$dbstring" "$password" | run_isql isql-fb -q -bail
fi

# The script is UTF-8: the connection's character set must say so (see its header).
run_isql isql-fb -q -bail -ch UTF8 -user SYSDBA -password "$password" "$dbstring" -i "$script"
