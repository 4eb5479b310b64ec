#!/usr/bin/env bash
# sink_handler_convention_test.sh <32-bit c++ compiler>
# A sink map entry whose handler is not HRESULT __stdcall T::f(...) does not
# compile for 32-bit Windows (such a handler would be __thiscall there and
# DispCallFunc would call it with the wrong convention); one that is compiles.
set -uo pipefail
cxx=$1
platform=$(cd "$(dirname "$0")/../../platform" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sink() {
    cat <<CPP
#include "disp_event.h"
static const GUID kEvents = {};
class Sink : public ATL::IDispEventImpl<0, Sink, &kEvents, &kEvents, 1, 0> {
public:
    BEGIN_SINK_MAP(Sink)
    SINK_ENTRY_EX(0, kEvents, 1, OnEvent)
    END_SINK_MAP()
    HRESULT $1 OnEvent(BSTR text, long type, long subtype);
};
const ATL::SinkMapEntry* map = Sink::_GetSinkMap();
CPP
}
compile() {
    "$cxx" -std=c++17 -DUNICODE -D_UNICODE -fsyntax-only -I"$platform" -x c++ "$1" 2>&1
}
status=0
sink __stdcall >"$scratch/stdcall.cpp"
if ! compile "$scratch/stdcall.cpp" >"$scratch/stdcall.log"; then
    cat "$scratch/stdcall.log" >&2
    echo "FAIL: a __stdcall handler does not compile" >&2
    status=1
fi
sink "" >"$scratch/default.cpp"
refused=$(compile "$scratch/default.cpp")
if ! grep -q 'an event handler is declared HRESULT __stdcall' <<<"$refused"; then
    echo "FAIL: a handler without __stdcall compiled" >&2
    status=1
fi
[ $status -eq 0 ] && echo "sink handlers: only HRESULT __stdcall handlers compile"
exit $status
