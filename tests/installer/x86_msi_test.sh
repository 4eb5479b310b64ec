#!/usr/bin/env bash
# x86_msi_test.sh <source-dir> <twin-build-dir> <dist-dir> <shipped-build-dir>
# The product's MSI (the shipped 32-bit files), checked without running them:
# its tables hold no self-registration; it installs into a fresh 64-bit prefix
# under Program Files (x86) with the classes, MozillaPlugins, type libraries
# and Protected Mode entry in the 32-bit registry view; ELEVATIONPOLICY=1
# lowers the entry's policy and any other value is refused; ALLOWEDSITES
# writes the machine's list of allowed sites in the 32-bit view (nothing
# without it), a multi-string that removal takes out; removal leaves
# nothing of ours; its generated registry rows equal what the 64-bit twin's
# real registration writes (paths and bitness aside). The MSI and the
# binaries it installs carry signatures that verify against the certificate
# (ORVELA_SIGN_CERT, else the test certificate make-dist made); the binaries
# are stripped, and their debug links name the debug files in the build tree.
# Prints "x86 MSI test: passed".
set -uo pipefail
src=$1 twin=$2 dist=$3 shipped=$4
cert=${ORVELA_SIGN_CERT:-$shipped/signing/test-cert.pem}
msi=$(ls "$dist"/orvela-*-x86.msi 2>/dev/null | head -n1)
[ -n "$msi" ] || { echo "FAIL no orvela-*-x86.msi in $dist"; exit 1; }
echo "checking $(basename "$msi")"
source "$src/tests/installer/test_lib.sh"

# No self-registration: no SelfReg rows, no custom action at all.
for table in SelfReg CustomAction; do
    rows=$(msiinfo export "$msi" "$table" 2>/dev/null | tail -n +4 | grep -c . || true)
    echo "MSI table $table: $rows row(s)"
    [ "$rows" -eq 0 ] || fail "the MSI has $rows $table row(s)"
done
# The list of allowed sites: one registry row, written only when ALLOWEDSITES is set.
sites_row=$(msiinfo export "$msi" Registry | tr -d '\r' | grep -F 'AllowedSites')
echo "MSI Registry row: $sites_row"
echo "$sites_row" | grep -qF 'Software\orvela' || fail "no registry row writes Software\orvela\AllowedSites"
echo "$sites_row" | grep -qF '[ALLOWEDSITES]' || fail "the AllowedSites row does not take the ALLOWEDSITES property"
sites_component=$(echo "$sites_row" | awk -F'\t' '{ print $NF }')
msiinfo export "$msi" Component | tr -d '\r' | grep -E "^$sites_component\s" | grep -qF 'ALLOWEDSITES' ||
    fail "the AllowedSites component is not conditioned on ALLOWEDSITES"
msiinfo export "$msi" InstallExecuteSequence | grep -q -E '^SelfReg' &&
    echo "MSI sequence: SelfRegModules is Windows Installer's standard step, with no rows to run"

fresh_prefix "$src" "$twin/x86-msi-test" win64
verify_signatures "$cert" "$msi" "$dist"/work/orvela-*/nporvela.dll "$dist"/work/orvela-*/orvelaX64.exe
for binary in plugin/nporvela.dll bridge/orvelaX64.exe; do
    packaged=$(echo "$dist"/work/orvela-*/"$(basename "$binary")")
    i686-w64-mingw32-objdump -h "$packaged" | grep -q ' \.debug_' &&
        fail "the packaged $(basename "$binary") carries debugging information"
    link=$("$src/scripts/check-shipped-abi" --debug-link "$packaged" "$shipped/$(dirname "$binary")")
    echo "$(basename "$binary"): debug link $link"
    [ "$link" = "$(basename "$binary").debug, checksum matches" ] ||
        fail "the packaged $(basename "$binary")'s debug link is not its debug file in the build tree"
done

program_files=$prefix/drive_c/Program\ Files\ \(x86\)
# query <view> <key> [value]: the value's line, from the 32- or 64-bit view.
query() {
    local view=$1 key=$2
    shift 2
    wine reg query "$key" "$@" "/reg:$view" 2>/dev/null | tr -d '\r'
}
elevation='HKLM\SOFTWARE\Microsoft\Internet Explorer\Low Rights\ElevationPolicy\{8B903CDB-7025-4948-8DEA-5FD2166A9F20}'
control='{37B01B35-A939-54A1-A03C-1B49CDBAAACC}'
bridge_class='{DF503770-8711-488F-B779-C289743BB4A9}'
installed='C:\Program Files (x86)\orvela'

snapshot "$prefix" "Program Files" "Program Files (x86)" | sort >"$work/before.txt"
msi_windows=$(windows_path "$msi")
wine msiexec /i "$msi_windows" /qn
status=$?
echo "msiexec /i exit code $status"
[ "$status" -eq 0 ] || fail "msiexec /i ended with $status"
for file in nporvela.dll orvelaX64.exe examples/camera.html; do
    [ -f "$program_files/orvela/$file" ] || fail "$file is not under Program Files (x86)\\orvela"
done
[ -e "$prefix/drive_c/Program Files/orvela" ] && fail "files went to the 64-bit Program Files"
query 32 "HKCR\\CLSID\\$control\\InprocServer32" /ve | grep -qF "$installed\\nporvela.dll" ||
    fail "the control's class in the 32-bit view does not name the installed nporvela.dll"
query 64 "HKCR\\CLSID\\$control" >/dev/null && fail "the control's class is in the 64-bit view"
query 32 "HKCR\\CLSID\\$bridge_class\\LocalServer32" /ve | grep -qF "\"$installed\\orvelaX64.exe\"" ||
    fail "the bridge's LocalServer32 in the 32-bit view does not name the installed orvelaX64.exe"
query 32 'HKLM\Software\MozillaPlugins\@brenlow.com/orvela' /v Path | grep -qF "$installed\\nporvela.dll" ||
    fail "MozillaPlugins in the 32-bit view does not name the installed nporvela.dll"
query 64 'HKLM\Software\MozillaPlugins\@brenlow.com/orvela' >/dev/null &&
    fail "MozillaPlugins names the plug-in in the 64-bit view"
for library in '{4D30BA41-75B9-50A9-8726-F4C641A53E3A}' '{4DF015C0-1025-4485-BDD7-EFFA8F23503E}'; do
    query 32 "HKCR\\TypeLib\\$library\\1.0\\0\\win32" /ve | grep -qF "$installed" ||
        fail "type library $library is not registered for win32 from Program Files (x86)"
done
query 32 'HKCR\Interface\{F3E0DCA1-AF03-4671-BDD4-22F166072293}\ProxyStubClsid32' /ve |
    grep -qF '{00020424-0000-0000-C000-000000000046}' ||
    fail "IX64ConfigCtrl is not marshaled by the type-library marshaler"
query 32 "$elevation" /v Policy | grep -q 'REG_DWORD *0x3$' || fail "the Protected Mode policy is not 3"
query 32 "$elevation" /v CLSID | grep -qF "$bridge_class" || fail "the Protected Mode entry names another class"
query 32 "$elevation" /v AppName | grep -qF 'orvelaX64.exe' || fail "the Protected Mode entry names another program"
query 32 "$elevation" /v AppPath | grep -qF "$installed" || fail "the Protected Mode entry names another folder"
query 32 'HKLM\Software\orvela' /v AllowedSites >/dev/null &&
    fail "a list of allowed sites was written without ALLOWEDSITES"

wine msiexec /x "$msi_windows" /qn
status=$?
echo "msiexec /x exit code $status"
[ "$status" -eq 0 ] || fail "msiexec /x ended with $status"

# ELEVATIONPOLICY=1: started at low integrity; other values are refused.
wine msiexec /i "$msi_windows" /qn ELEVATIONPOLICY=2
[ $? -ne 0 ] || fail "ELEVATIONPOLICY=2 was accepted"
wine msiexec /i "$msi_windows" /qn ELEVATIONPOLICY=1 || fail "msiexec /i with ELEVATIONPOLICY=1 failed"
query 32 "$elevation" /v Policy | grep -q 'REG_DWORD *0x1$' ||
    fail "ELEVATIONPOLICY=1 did not lower the Protected Mode policy to 1"
wine msiexec /x "$msi_windows" /qn || fail "the second msiexec /x failed"

# ALLOWEDSITES: the machine's list, where the plug-in and the bridge read it.
sites='http://cams.example.com;https://*.example.org'
wine msiexec /i "$msi_windows" /qn "ALLOWEDSITES=$sites" || fail "msiexec /i with ALLOWEDSITES failed"
listed=$(query 32 'HKLM\Software\orvela' /v AllowedSites)
echo "after ALLOWEDSITES=$sites:$listed"
echo "$listed" | grep -F 'REG_MULTI_SZ' | grep -qF "$sites" ||
    fail "ALLOWEDSITES did not become the multi-string AllowedSites in the 32-bit view"
query 64 'HKLM\Software\orvela' /v AllowedSites >/dev/null &&
    fail "the list of allowed sites went to the 64-bit view"
wine msiexec /x "$msi_windows" /qn || fail "msiexec /x after ALLOWEDSITES failed"
query 32 'HKLM\Software\orvela' /v AllowedSites >/dev/null &&
    fail "removal left the list of allowed sites"

snapshot "$prefix" "Program Files" "Program Files (x86)" | sort >"$work/after.txt"
# The fresh prefix's 32-bit class keys are empty (it has no 32-bit half);
# Windows Installer removes them with the last key it wrote under them.
traces "$work/before.txt" "$work/after.txt" '^< system: \[Software\\\\Classes\\\\Wow6432Node\\\\(CLSID|Interface)\]$'
[ -e "$program_files/orvela" ] && fail "Program Files (x86)\\orvela still exists"

# The twin's real registration, last (it leaves keys in the prefix): the
# library's as heat.exe harvests it, the program's as its /RegServer writes the
# registry.
wine "$twin/installer/heat.exe" harvest "$(windows_path "$twin/plugin/nporvela.dll")" \
    nporvela.dll INSTALLDIR >"$work/twin-nporvela.wxi" || fail "heat.exe could not harvest the twin's library"
wineserver -w
cp "$prefix/system.reg" "$work/before-regserver.reg"
bridge=$(windows_path "$twin/bridge/orvelaX64.exe")
wine "$twin/bridge/orvelaX64.exe" /RegServer || fail "the twin's orvelaX64.exe /RegServer failed"
wineserver -w
cp "$prefix/system.reg" "$work/after-regserver.reg"
wine "$twin/bridge/orvelaX64.exe" /UnregServer
python3 "$src/installer/registry_rows.py" compare "$work" "$work/twin-nporvela.wxi" \
    "$work/before-regserver.reg" "$work/after-regserver.reg" "$bridge" orvelaX64.exe \
    "$dist"/work/nporvela.dll-registry.wxi "$dist"/work/orvelaX64.exe-registry.wxi ||
    fail "the generated registry rows differ from the twin's registration (see $work/registry-comparison.txt)"

verdict "x86 MSI test"
