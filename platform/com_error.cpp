#include "com_error.h"

#include "text.h"

#include <comutil.h>

#include <cstring>
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

// ANSI code page conversions, as _bstr_t and _variant_t expect; failures are
// raised as _com_error.
BSTR WINAPI ConvertStringToBSTR(const char* src) {
    if (!src)
        return nullptr;
    BSTR out = nullptr;
    try {
        out = ATL::AnsiToBstr(src);
    } catch (const ATL::CAtlException& e) {
        _com_issue_error(e.hr());
    }
    return out;
}

char* WINAPI ConvertBSTRToString(BSTR src) {
    if (!src)
        return nullptr;
    std::string text;
    try {
        text = ATL::WideToAnsi(std::wstring_view(src, SysStringLen(src)));
    } catch (const ATL::CAtlException& e) {
        _com_issue_error(e.hr());
    }
    char* out = new char[text.size() + 1];
    std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

} // namespace _com_util
