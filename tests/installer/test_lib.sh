# Sourced by the installer tests: each reports its faults with fail and ends
# with verdict.
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

# fresh_prefix <source-dir> <work-dir> <win32|win64>: an empty work folder with
# a new Wine prefix of that kind in it, made current (wine runs in it; the
# prefix's wineserver ends with the test).
fresh_prefix() {
    local src=$1
    work=$2
    prefix=$work/wineprefix
    rm -rf "$work"
    mkdir -p "$work"
    echo "$3" >"$work/wine-arch"
    "$src/scripts/wine-prefix" "$prefix" >/dev/null || { echo "FAIL no prefix"; exit 1; }
    wine() { "$src/scripts/wine-run" "$prefix" "$@"; }
    source "$src/scripts/wine-env"
    wine_env "$prefix"
    trap 'wineserver -k 2>/dev/null || true' EXIT
}

# verdict <name>: prints "<name>: passed" and exits 0 when nothing failed.
verdict() {
    if [ "$failures" -eq 0 ]; then
        echo "$1: passed"
        exit 0
    fi
    echo "$1: $failures failure(s)"
    exit 1
}

# snapshot <prefix> <folder>...: the prefix's registry, one line per key and
# per value (with its key), without Wine's time stamps; then the files under
# the given folders of drive C.
snapshot() {
    local prefix=$1 hive
    shift
    wineserver -w
    for hive in system user; do
        awk -v hive="$hive" '
            /^#/ || /^$/ || /^WINE REGISTRY/ { next }
            /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); print hive ": " key; next }
            { print hive ": " key " " $0 }' "$prefix/$hive.reg"
    done
    (cd "$prefix/drive_c" && find "$@" | sed 's/^/file: /')
}

# traces <before> <after> [pattern...]: what removal left, from two snapshots.
# Allowed: Windows Installer's own bookkeeping keys (and the programs list's
# parent key), left empty; Wine's display driver stamps and monitor
# properties; lines matching the given extended patterns. Fails the test (the
# caller's fail function) when anything else is left.
traces() {
    local before=$1 after=$2 allowed=() pattern left
    shift 2
    for pattern in "$@"; do allowed+=(-e "$pattern"); done
    left=$(diff "$before" "$after" | grep '^[<>]' |
        grep -v -E -e '^[<>] system: \[Software\\\\(Wow6432Node\\\\)?(Classes\\\\Installer|Microsoft\\\\Windows\\\\CurrentVersion\\\\(Installer|Uninstall))(\\\\[A-Za-z0-9-]+)*\]$' \
            -e '"DriverDateData"=' -e '^[<>] system: \[System\\\\CurrentControlSet\\\\Enum\\\\DISPLAY\\\\' \
            "${allowed[@]}" || true)
    echo "registry and Program Files after removal: $(diff "$before" "$after" |
        grep -c '^[<>]') line(s) differ from before the install, $(echo -n "$left" | grep -c .) of them not allowed"
    if [ -n "$left" ]; then
        echo "$left" | head -20
        fail "the product left traces"
    fi
}

# verify_signatures <certificate> <file>...: osslsigncode accepts each file's
# Authenticode signature against the certificate.
verify_signatures() {
    local cert=$1 file log
    shift
    for file in "$@"; do
        if log=$(osslsigncode verify -CAfile "$cert" -in "$file" 2>&1); then
            echo "$(basename "$file"): signature verified against $cert"
        else
            echo "$log" | sed 's/^/  /'
            fail "osslsigncode does not verify $(basename "$file")"
        fi
    done
}
