#!/usr/bin/env bash
# run_beside_nporvela.sh <wine-run> <prefix> <library> <ie-host> [host options...] <page>
# Serves the windowless test plug-in's own class from <library> for the length
# of one page in the IE host, while nporvela keeps its registration, then
# takes the class away again.
wine=$1 prefix=$2 library=$3
shift 3
class='HKCR\CLSID\{509D785C-DD6B-4D6F-A168-796E55CD2FD0}'
"$wine" "$prefix" reg add "$class\\InprocServer32" /ve /d "Z:${library//\//\\}" /f >/dev/null
"$wine" "$prefix" reg add "$class\\InprocServer32" /v ThreadingModel /d Apartment /f >/dev/null
"$wine" "$prefix" "$@"
status=$?
"$wine" "$prefix" reg delete "$class" /f >/dev/null
echo "ie-host exit code $status"
exit $status
