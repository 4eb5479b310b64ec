#include "com_error.h"

#include <comutil.h>

#include <string>

namespace ATL {

void AtlThrow(HRESULT hr) {
    throw CAtlException(hr);
}

void AtlThrowLastWin32() {
    const DWORD err = GetLastError();
    throw CAtlException(err ? HRESULT_FROM_WIN32(err) : E_FAIL);
}

} // namespace ATL

// The error information of the failing object is attached only when the object
// says (ISupportErrorInfo) that it set it for this interface; otherwise a stale
// record of an unrelated call could be reported.
void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid) {
    IErrorInfo* info = nullptr;
    if (punk) {
        ISupportErrorInfo* support = nullptr;
        if (SUCCEEDED(
                punk->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
            if (support->InterfaceSupportsErrorInfo(riid) == S_OK && GetErrorInfo(0, &info) != S_OK)
                info = nullptr;
            support->Release();
        }
    }
    throw _com_error(hr, info, false);
}

namespace _com_util {

// ANSI code page conversions, as _bstr_t and _variant_t expect.
BSTR WINAPI ConvertStringToBSTR(const char* src) {
    if (!src)
        return nullptr;
    const int n = MultiByteToWideChar(CP_ACP, 0, src, -1, nullptr, 0);
    if (n <= 0)
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n - 1));
    if (!out)
        _com_issue_error(E_OUTOFMEMORY);
    MultiByteToWideChar(CP_ACP, 0, src, -1, out, n);
    return out;
}

char* WINAPI ConvertBSTRToString(BSTR src) {
    if (!src)
        return nullptr;
    const int len = static_cast<int>(SysStringLen(src));
    const int n = WideCharToMultiByte(CP_ACP, 0, src, len, nullptr, 0, nullptr, nullptr);
    char* out = new char[static_cast<size_t>(n) + 1];
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, src, len, out, n, nullptr, nullptr);
    out[n] = '\0';
    return out;
}

} // namespace _com_util
