#pragma once
// A call through the type library's Invoke that fails before it reaches the
// method (an argument of the wrong type, too few or too many arguments) has
// only a code. This gives it the text the in-process control's page sees for
// the same mistake.

#include <windows.h>
#include <oaidl.h>

// hr itself unless it is such a failure of the method id of info; then the
// error information says what was wrong, excep (when given) carries it, and
// the answer is DISP_E_EXCEPTION (or hr without excep).
HRESULT ExplainDispatchFailure(HRESULT hr, ITypeInfo* info, DISPID id, const DISPPARAMS* params,
                               EXCEPINFO* excep, const CLSID& clsid, const IID& iid) noexcept;
