#include "DispatchErrors.h"

#include "com_ptr.h"
#include "com_types.h"
#include "dispatch.h"

#include <cstring>
#include <string>

using namespace ATL;

namespace {

// What page script calls a value of this type.
const wchar_t* ValueWord(VARTYPE type) {
    switch (type & ~VT_BYREF) {
    case VT_EMPTY:
        return L"undefined";
    case VT_NULL:
        return L"null";
    case VT_BOOL:
        return L"boolean";
    case VT_BSTR:
        return L"string";
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return L"object";
    default:
        return L"number";
    }
}

// What page script calls the type a parameter takes.
const wchar_t* ParameterWord(VARTYPE type) {
    switch (type) {
    case VT_I2:
    case VT_UI2:
        return L"16-bit integer";
    case VT_I1:
    case VT_UI1:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
        return L"integer";
    case VT_R4:
    case VT_R8:
        return L"number";
    case VT_BOOL:
        return L"boolean";
    case VT_BSTR:
        return L"string";
    default:
        return L"object";
    }
}

// The method's description, released when done.
class MethodDescription {
public:
    MethodDescription(ITypeInfo* info, DISPID id) : m_info(info) {
        TYPEATTR* attributes = nullptr;
        if (!info || FAILED(info->GetTypeAttr(&attributes)))
            return;
        for (UINT i = 0; i < attributes->cFuncs && !m_function; ++i) {
            FUNCDESC* function = nullptr;
            if (FAILED(info->GetFuncDesc(i, &function)))
                continue;
            if (function->memid == id && function->invkind == INVOKE_FUNC)
                m_function = function;
            else
                info->ReleaseFuncDesc(function);
        }
        info->ReleaseTypeAttr(attributes);
    }
    ~MethodDescription() {
        if (m_function)
            m_info->ReleaseFuncDesc(m_function);
    }
    MethodDescription(const MethodDescription&) = delete;
    MethodDescription& operator=(const MethodDescription&) = delete;

    explicit operator bool() const { return m_function != nullptr; }
    // The parameters script passes: an [out, retval] one is the answer.
    UINT ScriptParameters() const {
        UINT count = static_cast<UINT>(m_function->cParams);
        if (count > 0 &&
            (m_function->lprgelemdescParam[count - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL))
            --count;
        return count;
    }
    VARTYPE ParameterType(UINT index) const {
        return m_function->lprgelemdescParam[index].tdesc.vt;
    }

private:
    ITypeInfo* m_info;
    FUNCDESC* m_function = nullptr;
};

// The first argument, counted from 1 in script order, whose value does not
// convert to its parameter's type; 0 when each does. Not every Invoke names
// the argument it refused (Wine's does not), so each is tried again here.
UINT FirstRefusedArgument(const MethodDescription& method, const DISPPARAMS& params,
                          CComVariant& refused) {
    const UINT count =
        params.cArgs < method.ScriptParameters() ? params.cArgs : method.ScriptParameters();
    for (UINT i = 0; i < count; ++i) {
        const VARTYPE type = method.ParameterType(i);
        if (type == VT_VARIANT)
            continue;
        // rgvarg holds the last argument first; a variable passed by
        // reference is judged by the value it refers to.
        CComVariant value, converted;
        if (FAILED(VariantCopyInd(&value, &params.rgvarg[params.cArgs - 1 - i])))
            continue;
        if (FAILED(VariantChangeType(&converted, &value, 0, type))) {
            refused = value;
            return i + 1;
        }
    }
    return 0;
}

std::wstring Describe(HRESULT hr, const MethodDescription& method, const DISPPARAMS& params) {
    const UINT expected = method.ScriptParameters();
    if (hr == DISP_E_TYPEMISMATCH) {
        if (!params.rgvarg)
            return std::wstring();
        CComVariant refused;
        const UINT index = FirstRefusedArgument(method, params, refused);
        if (index == 0)
            return std::wstring();
        return std::wstring(L"Invalid argument conversion from ") + ValueWord(refused.vt) +
               L" to " + ParameterWord(method.ParameterType(index - 1)) + L" at index " +
               std::to_wstring(index);
    }
    if (params.cArgs > expected)
        return L"Too many arguments, expected " + std::to_wstring(expected) + L".";
    // The same text as the in-process control's, whose number runs into "is".
    return L"Error: Argument " + std::to_wstring(params.cArgs + 1) + L"is not optional.";
}

} // namespace

HRESULT ExplainDispatchFailure(HRESULT hr, ITypeInfo* info, DISPID id, const DISPPARAMS* params,
                               EXCEPINFO* excep, const CLSID& clsid, const IID& iid) noexcept {
    if ((hr != DISP_E_TYPEMISMATCH && hr != DISP_E_BADPARAMCOUNT &&
         hr != DISP_E_PARAMNOTOPTIONAL) ||
        !params)
        return hr;
    try {
        MethodDescription method(info, id);
        if (!method)
            return hr;
        const std::wstring text = Describe(hr, method, *params);
        if (text.empty())
            return hr;
        AtlReportError(clsid, text.c_str(), iid, hr);
        if (!excep)
            return hr;
        std::memset(excep, 0, sizeof(*excep));
        LPOLESTR progId = nullptr;
        if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId))) {
            excep->bstrSource = SysAllocString(progId);
            CoTaskMemFree(progId);
        }
        excep->bstrDescription = SysAllocString(text.c_str());
        // The script engines' own codes for these failures, which VBScript
        // numbers 13 ("Type mismatch") and 450 ("Wrong number of arguments").
        excep->scode =
            MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, hr == DISP_E_TYPEMISMATCH ? 13 : 450);
        return DISP_E_EXCEPTION;
    } catch (...) {
        return hr;
    }
}
