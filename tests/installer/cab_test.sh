#!/usr/bin/env bash
# cab_test.sh <source-dir> <dist-dir> <test-certificate>
# The cabinet for Internet Explorer's code download: it holds nporvela.dll and
# orvela.inf; the INF names that file, the control's class, RegisterServer=yes
# and the DLL's own file version, and no list of allowed sites (code download
# is no administrator's choice); the DLL is the signed, stripped one of the
# packages; osslsigncode accepts the signatures of the cabinet and the DLL
# against the signing certificate (ORVELA_SIGN_CERT, else the test certificate
# make-dist made). Prints "CAB test: passed".
set -uo pipefail
src=$1 dist=$2 cert=${ORVELA_SIGN_CERT:-$3}
cab=$(ls "$dist"/orvela-*.cab 2>/dev/null | head -n1)
[ -n "$cab" ] || { echo "FAIL no orvela-*.cab in $dist"; exit 1; }
work=$dist/cab-test
rm -rf "$work"
mkdir -p "$work"
source "$src/tests/installer/test_lib.sh"

listing=$(gcab -l "$cab" | awk '{ print $1 }' | sort | tr '\n' ' ')
echo "$(basename "$cab") holds: $listing"
[ "$listing" = "nporvela.dll orvela.inf " ] || fail "the cabinet holds $listing, not nporvela.dll and orvela.inf"
gcab -x -C "$work" "$cab" || fail "the cabinet cannot be read"
inf=$work/orvela.inf
sed 's/^/  orvela.inf: /' "$inf"
section=$(sed -n '/^\[nporvela.dll\]/,/^\[/p' "$inf")
grep -qx 'nporvela.dll=nporvela.dll' "$inf" || fail "[Add.Code] does not name nporvela.dll"
echo "$section" | grep -qx 'file-win32-x86=thiscab' || fail "the INF does not take nporvela.dll from the cabinet"
echo "$section" | grep -qx 'clsid={37B01B35-A939-54A1-A03C-1B49CDBAAACC}' || fail "the INF names another class"
echo "$section" | grep -qx 'RegisterServer=yes' || fail "the INF does not register nporvela.dll"
grep -qi 'AllowedSites' "$inf" && fail "the INF writes a list of allowed sites"
version=$("$src/scripts/check-shipped-abi" --file-version "$work/nporvela.dll")
echo "nporvela.dll in the cabinet: file version $version"
echo "$section" | grep -qx "FileVersion=${version//./,}" ||
    fail "the INF's FileVersion is not the DLL's version $version"
cmp -s "$work/nporvela.dll" "$dist/work/orvela-"*/nporvela.dll ||
    fail "the cabinet's nporvela.dll is not the packages' signed one"
verify_signatures "$cert" "$cab" "$work/nporvela.dll"
i686-w64-mingw32-objdump -h "$work/nporvela.dll" | grep -q '\.debug_info' &&
    fail "the cabinet's nporvela.dll carries debugging information"
verdict "CAB test"
