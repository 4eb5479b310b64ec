#include "BenchObjects.h"

#include <cstdio>
#include <string>

#include "Host.h"
#include "HostObjects.h"
#include "event_tally.h"
#include "sim_settings.h"

namespace IeHost {

namespace {

// Far above the testbed's own members.
enum Member : DISPID {
    kNativeHandler = 1000,
    kCallHandler,
    kHandlerFigures,
    kInvokeLoop,
    kLoadLibraries
};
const wchar_t* const kNames[] = {L"nativeHandler", L"callHandler", L"handlerFigures", L"invokeLoop",
                                 L"loadLibraries"};

// Asked for to tell a handler made here from any other object.
// {6F1C2B0E-4D7A-4E59-9C3B-2A81D5E0B7C4}
const IID IID_NativeHandler = {
    0x6F1C2B0E, 0x4D7A, 0x4E59, {0x9C, 0x3B, 0x2A, 0x81, 0xD5, 0xE0, 0xB7, 0xC4}};

// A page handler of the host's own: it keeps a tally of the events it gets.
// Called as a function (DISPID_VALUE); the event's text is its first argument.
class NativeHandler : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(NativeHandler)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY_IID(IID_NativeHandler, NativeHandler)
    END_COM_MAP()
    STDMETHOD(GetTypeInfoCount)(UINT* n) override {
        if (!n)
            return E_POINTER;
        *n = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override {
        if (ids)
            ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
     UINT*) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        if (result)
            VariantInit(result);
        if (!params || params->cArgs <= params->cNamedArgs)
            return S_OK;
        // Positional arguments come after the named ones, last to first.
        const VARIANT& text = params->rgvarg[params->cArgs - 1];
        if (text.vt == VT_BSTR && text.bstrVal) {
            try {
                tally.take(text.bstrVal, SysStringLen(text.bstrVal));
            } catch (...) {
                return E_OUTOFMEMORY;
            }
        }
        return S_OK;
    }

    CameraSim::EventTally tally;
};

// The handler behind a script value, borrowed (the script value holds it).
NativeHandler* handlerOf(const VARIANT* value) {
    if (!value || value->vt != VT_DISPATCH || !value->pdispVal)
        return nullptr;
    ATL::CComPtr<IUnknown> handler;
    value->pdispVal->QueryInterface(IID_NativeHandler, reinterpret_cast<void**>(&handler));
    return reinterpret_cast<NativeHandler*>(handler.p);
}

// The control of an element, or any other object as it is.
ATL::CComPtr<IDispatch> targetOf(const VARIANT* value) {
    if (!value || value->vt != VT_DISPATCH || !value->pdispVal)
        return nullptr;
    ATL::CComPtr<IUnknown> element;
    value->pdispVal->QueryInterface(IID_IeHostElement, reinterpret_cast<void**>(&element));
    if (!element)
        return value->pdispVal;
    ControlSite* site = reinterpret_cast<Element*>(element.p)->site;
    return site ? site->controlDispatch : nullptr;
}

void setNumber(VARIANT* result, double value) {
    if (result) {
        result->vt = VT_R8;
        result->dblVal = value;
    }
}

HRESULT callHandler(const std::vector<VARIANT*>& args, VARIANT* result) {
    NativeHandler* handler = handlerOf(args.empty() ? nullptr : args[0]);
    if (!handler || args.size() < 3)
        return DISP_E_TYPEMISMATCH;
    const bool burst = displayText(*args[1]) == L"b";
    ATL::CComVariant count;
    if (FAILED(VariantChangeType(&count, args[2], 0, VT_I4)))
        return DISP_E_TYPEMISMATCH;
    const double start = CameraSim::nowMicroseconds();
    for (LONG i = 0; i < count.lVal; ++i) {
        wchar_t text[48];
        if (burst)
            swprintf(text, 48, L"b%ld@%.0f", static_cast<long>(i), CameraSim::nowMicroseconds());
        else
            swprintf(text, 48, L"t%.0f", CameraSim::nowMicroseconds());
        // Last to first, as a caller lays them out.
        ATL::CComVariant values[3] = {7, 3, text};
        DISPPARAMS params{values, nullptr, 3, 0};
        handler->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                        nullptr, nullptr, nullptr);
    }
    setNumber(result, CameraSim::nowMicroseconds() - start);
    return S_OK;
}

HRESULT invokeLoop(const std::vector<VARIANT*>& args, VARIANT* result) {
    ATL::CComPtr<IDispatch> target = targetOf(args.empty() ? nullptr : args[0]);
    ATL::CComVariant count;
    if (!target || args.size() < 3 || FAILED(VariantChangeType(&count, args[2], 0, VT_I4)))
        return DISP_E_TYPEMISMATCH;
    std::wstring name = displayText(*args[1]);
    LPOLESTR names[] = {&name[0]};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
        return DISP_E_MEMBERNOTFOUND;
    // The call's arguments, last to first.
    std::vector<ATL::CComVariant> values(args.rbegin(), args.rend() - 3);
    DISPPARAMS params{values.empty() ? nullptr : &values[0], nullptr,
                      static_cast<UINT>(values.size()), 0};
    ATL::CComQIPtr<IDispatchEx> ex(target);
    HRESULT hr = S_OK;
    const double start = CameraSim::nowMicroseconds();
    for (LONG i = 0; i < count.lVal && SUCCEEDED(hr); ++i) {
        ATL::CComVariant answer;
        hr = ex ? ex->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &answer, nullptr,
                               nullptr)
                : target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 &answer, nullptr, nullptr);
    }
    setNumber(result, SUCCEEDED(hr) ? CameraSim::nowMicroseconds() - start : -1);
    return S_OK;
}

} // namespace

DISPID benchMemberId(const wchar_t* name) {
    for (DISPID i = 0; i < static_cast<DISPID>(sizeof kNames / sizeof kNames[0]); ++i)
        if (wcscmp(name, kNames[i]) == 0)
            return kNativeHandler + i;
    return DISPID_UNKNOWN;
}

HRESULT invokeBenchMember(DISPID id, const std::vector<VARIANT*>& args, VARIANT* result) {
    try {
        switch (id) {
        case kNativeHandler: {
            ATL::CComObject<NativeHandler>* handler = nullptr;
            HRESULT hr = ATL::CComObject<NativeHandler>::CreateInstance(&handler);
            if (FAILED(hr))
                return hr;
            handler->AddRef();
            if (result) {
                result->vt = VT_DISPATCH;
                result->pdispVal = handler;
            } else {
                handler->Release();
            }
            return S_OK;
        }
        case kCallHandler:
            return callHandler(args, result);
        case kHandlerFigures: {
            NativeHandler* handler = handlerOf(args.empty() ? nullptr : args[0]);
            if (!handler)
                return DISP_E_TYPEMISMATCH;
            if (result) {
                const std::string figures = handler->tally.figures();
                result->vt = VT_BSTR;
                result->bstrVal =
                    SysAllocString(std::wstring(figures.begin(), figures.end()).c_str());
            }
            return S_OK;
        }
        case kInvokeLoop:
            return invokeLoop(args, result);
        case kLoadLibraries:
            // Held for the life of the process, as a browser holds them.
            for (const VARIANT* name : args)
                if (!LoadLibraryW(displayText(*name).c_str()))
                    return HRESULT_FROM_WIN32(GetLastError());
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // namespace IeHost
