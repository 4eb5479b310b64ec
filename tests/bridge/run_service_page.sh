#!/usr/bin/env bash
# run_service_page.sh <wine-run> <prefix> <orvelaX64> <ie-host> <page> [host options...]
# Installs the bridge as the service "KavrinX64", runs one page against it,
# then registers the bridge as a local server again (which removes the
# service) and checks that no service is left.
wine=$1 prefix=$2 bridge=$3 host=$4 page=$5
shift 5
"$wine" "$prefix" "$bridge" /Service || { echo "FAIL /Service"; exit 1; }
"$wine" "$prefix" "$host" --timeout 40 --journal "$@" "$page"
status=$?
echo "ie-host exit code $status"
# COM started the service for the page's object; it runs until stopped.
if "$wine" "$prefix" sc query KavrinX64 2>/dev/null | grep -q RUNNING; then
    echo "the service KavrinX64 served the page"
else
    echo "FAIL the service did not run"
    status=1
fi
"$wine" "$prefix" "$bridge" /RegServer || { echo "FAIL /RegServer"; exit 1; }
if "$wine" "$prefix" sc query KavrinX64 2>/dev/null | grep -q RUNNING; then
    echo "FAIL the service still runs"
    exit 1
fi
exit $status
