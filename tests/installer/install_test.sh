#!/usr/bin/env bash
# install_test.sh <source-dir> <build-dir> <dist-dir>
# Installs the MSI into a fresh Wine prefix that has only the camera simulator
# registered, runs the example pages against the installed files in the three
# browsers, removes the product, and compares the registry and Program Files
# with a snapshot taken before the install. Prints "install test: passed".
set -uo pipefail
src=$1 build=$2
msi=$(ls "$3"/orvela-*.msi 2>/dev/null | head -n1)
[ -n "$msi" ] || { echo "FAIL no orvela-*.msi in $3"; exit 1; }
echo "installing $(basename "$msi")"
source "$src/tests/installer/test_lib.sh"
fresh_prefix "$src" "$build/install-test" "$(cat "$build/wine-arch")"

wine regsvr32 /s "$(windows_path "$build/testing/camera-sim/camera_sim.dll")" ||
    fail "the camera simulator could not be registered"

program_files=$prefix/drive_c/Program\ Files
snapshot "$prefix" "Program Files" | sort >"$work/before.txt"

msi_windows=$(windows_path "$msi")
wine msiexec /i "$msi_windows" /qn
status=$?
echo "msiexec /i exit code $status"
[ "$status" -eq 0 ] || fail "msiexec /i ended with $status"
installed='C:\Program Files\orvela\nporvela.dll'
[ -f "$program_files/orvela/nporvela.dll" ] || fail "nporvela.dll is not in Program Files\\orvela"
wine reg query 'HKLM\Software\MozillaPlugins\@brenlow.com/orvela' /v Path | grep -qF "$installed" ||
    fail "MozillaPlugins does not name the installed nporvela.dll"
wine reg query 'HKCR\CLSID\{37B01B35-A939-54A1-A03C-1B49CDBAAACC}\InprocServer32' | grep -qF "$installed" ||
    fail "the control's class does not name the installed nporvela.dll"
wine reg query 'HKCR\CLSID\{DF503770-8711-488F-B779-C289743BB4A9}\LocalServer32' |
    grep -qF 'C:\Program Files\orvela\orvelaX64.exe' || fail "the bridge is not registered from Program Files"

examples=$prefix/drive_c/Program\ Files/orvela/examples
ie_host=$build/testing/ie-host/ie-host.exe
[ -f "$ie_host" ] || ie_host=$build/testing/ie-host/ie-host64.exe
# run_page <name> <browser> <page> [browser options...]: the page's own verdict decides.
run_page() {
    local name=$1 browser=$2 page=$3
    shift 3
    wine "$browser" --timeout 60 "$@" "$page" >"$work/$name.log" 2>&1
    local status=$?
    sed "s/^/  $name: /" "$work/$name.log"
    if [ "$status" -ne 0 ] || ! grep -q ': all steps succeeded' "$work/$name.log"; then
        fail "$name (exit code $status)"
    fi
}
run_page npapi "$build/testing/npapi-browser/npapi-browser.exe" 'C:\Program Files\orvela\examples\camera.html'
run_page ie "$ie_host" 'C:\Program Files\orvela\examples\camera.html' --cpu-class x86
stop=$work/events.stop
(
    while [ ! -f "$stop" ]; do
        wine "$build/testing/camera-sim/camera_sim_request.exe" event "motion detected" 5 1 >/dev/null 2>&1
        sleep 0.5
    done
) &
requester=$!
run_page x64 "$ie_host" 'C:\Program Files\orvela\examples\camera.html' --cpu-class x64
touch "$stop"
wait "$requester"
[ -d "$examples" ] || fail "the examples are not installed"

# The bridge ends by itself a few seconds after its page; uninstall after.
wineserver -w
wine msiexec /x "$msi_windows" /qn
status=$?
echo "msiexec /x exit code $status"
[ "$status" -eq 0 ] || fail "msiexec /x ended with $status"

snapshot "$prefix" "Program Files" | sort >"$work/after.txt"
# The camera simulator's settings (the browsers' journal) may stay.
traces "$work/before.txt" "$work/after.txt" '^[<>] user: \[Software\\\\orvela\\\\CameraSim\]'
[ -e "$program_files/orvela" ] && fail "Program Files\\orvela still exists"
verdict "install test"
