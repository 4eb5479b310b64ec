#!/usr/bin/env bash
# with_site_list.sh <wine-run> <prefix> <list> <command...>
# Runs a command with the machine's list of allowed sites (entries separated
# by ';') in the prefix, and takes the list out again however the command
# ends. The tests that use it run alone (RUN_SERIAL): no other test of the
# prefix may meet the list.
wine=$1 prefix=$2 list=$3
shift 3
key='HKLM\Software\orvela'
remove() {
    "$wine" "$prefix" reg delete "$key" /v AllowedSites /f /reg:32 >/dev/null 2>&1
}
trap remove EXIT
"$wine" "$prefix" reg add "$key" /v AllowedSites /t REG_MULTI_SZ /d "${list//;/\\0}" /f /reg:32 \
    >/dev/null || { echo "FAIL could not set the list of allowed sites"; exit 1; }
"$@"
