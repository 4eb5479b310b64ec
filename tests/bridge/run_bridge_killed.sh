#!/usr/bin/env bash
# run_bridge_killed.sh <wine-run> <prefix> <ie-host> <orvelaX64> <page> [host options...]
# Kills the bridge's process while the page keeps calling it: the page's next
# call must become a script exception and the page must end normally. The
# bridge dies holding the page's site, which COM only releases after its
# rundown time, so the host's end-of-page leak check is not counted here.
wine=$1 prefix=$2 host=$3 bridge=$4 page=$5
shift 5
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$wine" "$prefix" "$host" --timeout 40 "$@" "$page" >"$out" 2>&1 &
pid=$!
for _ in $(seq 200); do
    grep -q "holding the bridge" "$out" && break
    sleep 0.1
done
sleep 0.5
source "$(dirname "$0")/prefix_processes.sh"
pids=$(prefix_pids "$prefix" "$(basename "$bridge")")
[ -n "$pids" ] && kill -9 $pids && echo "killed the bridge"
wait "$pid"
status=$?
# Wine's rpcss keeps the dead server's class registration, so later clients
# would be sent to it: start rpcss afresh (COM starts it again on demand).
"$wine" "$prefix" taskkill /f /im rpcss.exe >/dev/null 2>&1
grep -v "^[0-9a-f]*:fixme:" "$out"
echo "ie-host exit code $status"
# 0, or 4 with only the site the dead bridge still held.
if [ "$status" -eq 4 ] && ! grep -q "control .* still referenced" "$out"; then
    status=0
fi
exit $status
