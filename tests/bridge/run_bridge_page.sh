#!/usr/bin/env bash
# run_bridge_page.sh <wine-run> <prefix> <camera_sim_request> <ie-host> <orvelaX64> <page> [host options...]
# Runs a bridge page in the IE host and, once the bridge has made its camera,
# asks the camera for an event (abc, 3, 7) every half second until the page
# has closed. Then checks that the bridge ends by itself about 5 s after the
# page let it go.
wine=$1 prefix=$2 request=$3 host=$4 bridge=$5 page=$6
shift 6
"$wine" "$prefix" "$host" --timeout 40 "$@" "$page" &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
    "$wine" "$prefix" "$request" event abc 3 7 >/dev/null 2>&1
    sleep 0.5
done
wait "$pid"
status=$?
echo "ie-host exit code $status"
[ "$status" -eq 0 ] || echo "FAIL the page's host ended with $status"

# The bridge's process serves 5 s past its last object, then ends.
source "$(dirname "$0")/prefix_processes.sh"
name=$(basename "$bridge")
for tenth in $(seq 0 150); do
    if [ -z "$(prefix_pids "$prefix" "$name")" ]; then
        echo "bridge ended $((tenth / 10)).$((tenth % 10)) s after the page"
        exit 0
    fi
    sleep 0.1
done
echo "FAIL the bridge still runs 15 s after the page ended"
exit 1
