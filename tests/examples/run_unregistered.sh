#!/usr/bin/env bash
# run_unregistered.sh <wine-run> <prefix> <browser> [options...] <page>
# Runs one page while neither nporvela's control nor the bridge can be made:
# both classes name files that do not exist. Puts the registration back after.
wine=$1 prefix=$2
shift 2
control='HKCR\CLSID\{37B01B35-A939-54A1-A03C-1B49CDBAAACC}\InprocServer32'
bridge='HKCR\CLSID\{DF503770-8711-488F-B779-C289743BB4A9}\LocalServer32'
registered() {
    "$wine" "$prefix" reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p'
}
control_was=$(registered "$control")
bridge_was=$(registered "$bridge")
"$wine" "$prefix" reg add "$control" /ve /d 'C:\absent\nporvela.dll' /f >/dev/null
"$wine" "$prefix" reg add "$bridge" /ve /d 'C:\absent\orvelaX64.exe' /f >/dev/null
"$wine" "$prefix" "$@"
status=$?
for key in control bridge; do
    was=${key}_was
    if [ -n "${!was}" ]; then
        "$wine" "$prefix" reg add "${!key}" /ve /d "${!was}" /f >/dev/null
    else
        "$wine" "$prefix" reg delete "${!key}" /ve /f >/dev/null 2>&1
    fi
done
echo "browser exit code $status"
exit $status
