#!/usr/bin/env bash
# run_with_class.sh <wine-run> <prefix> <library> <ie-host> [host options...] <page>
# Serves nporvela's class from another library (the 32-bit nporvela.dll, the
# windowless test plug-in) for the length of one page in the IE host, then
# puts the registration back.
wine=$1 prefix=$2 library=$3
shift 3
if [ ! -f "$library" ]; then
    echo "SKIP no library at $library"
    exit 77
fi
key='HKCR\CLSID\{37B01B35-A939-54A1-A03C-1B49CDBAAACC}\InprocServer32'
registered=$("$wine" "$prefix" reg query "$key" /ve 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ[[:space:]]*//p')
"$wine" "$prefix" reg add "$key" /ve /d "Z:${library//\//\\}" /f >/dev/null
"$wine" "$prefix" "$@"
status=$?
if [ -n "$registered" ]; then
    "$wine" "$prefix" reg add "$key" /ve /d "$registered" /f >/dev/null
fi
echo "ie-host exit code $status"
exit $status
