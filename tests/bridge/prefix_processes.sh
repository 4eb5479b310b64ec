# Sourced by the bridge's page scripts. prefix_pids <prefix> <exe-name> prints
# the Unix process ids of the Windows program <exe-name> running in the Wine
# prefix <prefix>. Wine shows a program under its Windows path; only this
# prefix's processes count, since other build trees may run theirs meanwhile.
prefix_pids() {
    local prefix=$1 name=$2 pid
    for pid in $(pgrep -f "\\\\${name//./\\.}"); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
            echo "$pid"
        fi
    done
}
