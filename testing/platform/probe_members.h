#pragma once
// The members that the in-process and the local-server probe objects share.

#include "com_error.h"
#include "com_types.h"

#include <string>

namespace ProbeMembers {

// Wraps around like the 32-bit arithmetic of a script engine's integers.
inline HRESULT Add(long a, long b, long* sum) noexcept {
    if (!sum)
        return E_POINTER;
    *sum = static_cast<long>(static_cast<unsigned long>(a) + static_cast<unsigned long>(b));
    return S_OK;
}

// A null BSTR is the empty text.
inline HRESULT Concat(BSTR a, BSTR b, BSTR* joined) noexcept {
    if (!joined)
        return E_POINTER;
    *joined = nullptr;
    return ATL::CallNoThrow([&] {
        std::wstring text(a ? a : L"", SysStringLen(a));
        text.append(b ? b : L"", SysStringLen(b));
        *joined = ATL::CComBSTR(text).Detach();
        return S_OK;
    });
}

} // namespace ProbeMembers
