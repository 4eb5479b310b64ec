#!/usr/bin/env bash
# run_unregistered.sh <wine-run> <prefix> <control|both> <browser> [options...] <page>
# Runs one page while nporvela's control (and with "both" the bridge too)
# cannot be made: the classes name files that do not exist. Puts the
# registration back after. A script given as the browser (a .sh) runs as it
# is, with the Wine command and the prefix before its own arguments.
wine=$1 prefix=$2 which=$3
shift 3
control='HKCR\CLSID\{37B01B35-A939-54A1-A03C-1B49CDBAAACC}\InprocServer32'
bridge='HKCR\CLSID\{DF503770-8711-488F-B779-C289743BB4A9}\LocalServer32'
keys=(control)
[ "$which" = both ] && keys+=(bridge)
registered() {
    "$wine" "$prefix" reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p'
}
declare -A was
for key in "${keys[@]}"; do
    was[$key]=$(registered "${!key}")
done
"$wine" "$prefix" reg add "$control" /ve /d 'C:\absent\nporvela.dll' /f >/dev/null
[ "$which" = both ] && "$wine" "$prefix" reg add "$bridge" /ve /d 'C:\absent\orvelaX64.exe' /f >/dev/null
if [[ $1 == *.sh ]]; then
    "$1" "$wine" "$prefix" "${@:2}"
else
    "$wine" "$prefix" "$@"
fi
status=$?
for key in "${keys[@]}"; do
    if [ -n "${was[$key]}" ]; then
        "$wine" "$prefix" reg add "${!key}" /ve /d "${was[$key]}" /f >/dev/null
    else
        "$wine" "$prefix" reg delete "${!key}" /ve /f >/dev/null 2>&1
    fi
done
echo "browser exit code $status"
exit $status
