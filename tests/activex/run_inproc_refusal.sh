#!/usr/bin/env bash
# run_inproc_refusal.sh <wine-run> <prefix> <ie-host64> <32-bit nporvela.dll> <page>
# Points nporvela's class at the shipped 32-bit library for the length of
# one page in the 64-bit IE host, then puts the registration back.
wine=$1 prefix=$2 host=$3 plugin=$4 page=$5
if [ ! -f "$plugin" ]; then
    echo "SKIP no 32-bit nporvela.dll at $plugin"
    exit 77
fi
key='HKCR\CLSID\{37B01B35-A939-54A1-A03C-1B49CDBAAACC}\InprocServer32'
registered=$("$wine" "$prefix" reg query "$key" /ve 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ[[:space:]]*//p')
"$wine" "$prefix" reg add "$key" /ve /d "Z:${plugin//\//\\}" /f >/dev/null
"$wine" "$prefix" "$host" --timeout 30 "$page"
status=$?
if [ -n "$registered" ]; then
    "$wine" "$prefix" reg add "$key" /ve /d "$registered" /f >/dev/null
fi
echo "ie-host exit code $status"
exit $status
