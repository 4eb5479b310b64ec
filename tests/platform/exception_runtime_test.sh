#!/usr/bin/env bash
# exception_runtime_test.sh <objdump> <c++ compiler> <start-file folder> <shipped binary>...
# scripts/check-exception-runtime passes the shipped 32-bit binaries, fails a
# DLL that throws linked the toolchain's way (its crtbegin.o looks up an
# already loaded libgcc_s_dw2-1.dll), and passes the same DLL linked with our
# start file.
set -uo pipefail
objdump=$1 cxx=$2 startfiles=$3
shift 3
check=$(dirname "$0")/../../scripts/check-exception-runtime
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/thrower.cpp" <<'CPP'
#include <stdexcept>
extern "C" __declspec(dllexport) int thrower(int fail) {
    try {
        if (fail)
            throw std::runtime_error("thrown");
    } catch (const std::exception&) {
        return 1;
    }
    return 0;
}
CPP
link=(-O2 -shared -static -static-libgcc -static-libstdc++ "$scratch/thrower.cpp")
status=0
if ! "$cxx" "${link[@]}" -o "$scratch/toolchain-start.dll" ||
    ! "$cxx" "${link[@]}" -B"$startfiles/" -o "$scratch/own-start.dll"; then
    echo "FAIL: the test DLLs did not build" >&2
    exit 1
fi
if "$check" "$objdump" "$scratch/toolchain-start.dll" >/dev/null 2>&1; then
    echo "FAIL: the check passed a DLL linked with the toolchain's start-up code" >&2
    status=1
fi
"$check" "$objdump" "$scratch/own-start.dll" || status=1
"$check" "$objdump" "$@" || status=1
[ $status -eq 0 ] && echo "exception runtime: own unwinder in every shipped binary; the toolchain's start-up code is caught"
exit $status
