#!/usr/bin/env bash
# run_bridge_page.sh <wine-run> <prefix> <camera_sim_request> <ie-host> <page>
# Runs a bridge page in the IE host and, once the bridge has made its camera,
# asks the camera for an event (abc, 3, 7) every half second until the page
# has closed. The host's exit code is the test's.
wine=$1 prefix=$2 request=$3 host=$4 page=$5
"$wine" "$prefix" "$host" --timeout 40 "$page" &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
    "$wine" "$prefix" "$request" event abc 3 7 >/dev/null 2>&1
    sleep 0.5
done
wait "$pid"
