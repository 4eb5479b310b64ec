#pragma once
// The benchmarks' members of window.testbed: a page handler written in C++
// (an IDispatch), the host calling such a handler itself, and a loop of
// IDispatchEx::InvokeEx (IDispatch::Invoke where there is no IDispatchEx) on a
// control or object, each timed natively; and the libraries a browser holds
// before any control, loaded for the start-up floor.

#include <windows.h>

#include <vector>

namespace IeHost {

// The DISPID of a benchmark member, or DISPID_UNKNOWN.
DISPID benchMemberId(const wchar_t* name);
// Runs a benchmark member; DISP_E_MEMBERNOTFOUND for any other DISPID.
HRESULT invokeBenchMember(DISPID id, const std::vector<VARIANT*>& args, VARIANT* result);

} // namespace IeHost
