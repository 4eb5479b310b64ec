#include "disp_event.h"

#include "com_error.h"
#include "connection_points.h"

#include <vector>

namespace ATL {
namespace {

// The VARTYPE that DispCallFunc passes for a parameter's type description.
VARTYPE ParamType(ITypeInfo* info, const TYPEDESC& desc) {
    if (desc.vt == VT_PTR && desc.lptdesc)
        return static_cast<VARTYPE>(ParamType(info, *desc.lptdesc) | VT_BYREF);
    if (desc.vt != VT_USERDEFINED)
        return desc.vt;
    CComPtr<ITypeInfo> ref;
    if (FAILED(info->GetRefTypeInfo(desc.hreftype, &ref)))
        return VT_EMPTY;
    TYPEATTR* attr = nullptr;
    if (FAILED(ref->GetTypeAttr(&attr)))
        return VT_EMPTY;
    VARTYPE vt = VT_EMPTY;
    switch (attr->typekind) {
    case TKIND_ENUM:
        vt = VT_I4;
        break;
    case TKIND_ALIAS:
        vt = ParamType(ref, attr->tdescAlias);
        break;
    case TKIND_DISPATCH:
    case TKIND_INTERFACE:
        vt = VT_DISPATCH;
        break;
    default:
        break;
    }
    ref->ReleaseTypeAttr(attr);
    return vt;
}

} // namespace

HRESULT DispEventTypeInfo::GetTypeInfo(ITypeInfo** info) noexcept {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (!m_info) {
        if (!m_known)
            return E_UNEXPECTED;
        CComPtr<ITypeLib> lib;
        HRESULT hr = LoadRegTypeLib(m_libid, m_major, m_minor, LOCALE_USER_DEFAULT, &lib);
        if (FAILED(hr))
            return hr;
        hr = lib->GetTypeInfoOfGuid(m_iid, &m_info);
        if (FAILED(hr))
            return hr;
    }
    return m_info.CopyTo(info);
}

HRESULT DispEventTypeInfo::GetFuncInfo(const GUID& libid, const IID& iid, WORD major, WORD minor,
                                       DISPID dispid, LCID, _ATL_FUNC_INFO& out) noexcept {
    if (!m_known) {
        m_libid = libid;
        m_iid = iid;
        m_major = major;
        m_minor = minor;
        m_known = true;
    }
    const auto known = m_described.find(dispid);
    if (known != m_described.end()) {
        out = known->second;
        return S_OK;
    }
    CComPtr<ITypeInfo> info;
    HRESULT hr = GetTypeInfo(&info);
    if (FAILED(hr))
        return hr;
    CComPtr<ITypeInfo2> info2;
    hr = info.QueryInterface(&info2);
    if (FAILED(hr))
        return hr;
    UINT index = 0;
    hr = info2->GetFuncIndexOfMemId(dispid, INVOKE_FUNC, &index);
    if (FAILED(hr))
        return hr;
    FUNCDESC* desc = nullptr;
    hr = info->GetFuncDesc(index, &desc);
    if (FAILED(hr))
        return hr;
    out = {};
    out.cc = CC_STDCALL;
    out.vtReturn = desc->elemdescFunc.tdesc.vt;
    out.nParams = desc->cParams;
    for (SHORT i = 0; i < desc->cParams && i < 8; ++i)
        out.pVarTypes[i] = ParamType(info, desc->lprgelemdescParam[i].tdesc);
    info->ReleaseFuncDesc(desc);
    return CallNoThrow([&] {
        m_described.emplace(dispid, out);
        return S_OK;
    });
}

STDMETHODIMP IDispEventBase::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (InlineIsEqualGUID(iid, GUID_NULL))
        return E_NOINTERFACE;
    if (InlineIsEqualGUID(iid, m_iid) || InlineIsEqualGUID(iid, IID_IUnknown) ||
        InlineIsEqualGUID(iid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP IDispEventBase::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP IDispEventBase::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return m_shared.GetTypeInfo(info);
}

STDMETHODIMP IDispEventBase::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    CComPtr<ITypeInfo> info;
    const HRESULT hr = m_shared.GetTypeInfo(&info);
    if (FAILED(hr))
        return hr;
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT IDispEventBase::GetFuncInfoFromId(const IID& iid, DISPID dispid, LCID lcid,
                                          _ATL_FUNC_INFO& info) {
    return m_shared.GetFuncInfo(m_libid, iid, m_wMajorVerNum, m_wMinorVerNum, dispid, lcid, info);
}

STDMETHODIMP IDispEventBase::Invoke(DISPID dispid, REFIID, LCID lcid, WORD, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO*, UINT*) {
    return CallNoThrow([&]() -> HRESULT {
        const UINT id = SinkControlId();
        for (const SinkMapEntry* e = SinkMap(); e->piid; ++e) {
            if (e->nControlID != id || e->dispid != dispid || !InlineIsEqualGUID(*e->piid, m_iid))
                continue;
            _ATL_FUNC_INFO described;
            const _ATL_FUNC_INFO* info = e->pInfo;
            if (!info || e->infoIsFallback) {
                if (SUCCEEDED(GetFuncInfoFromId(m_iid, dispid, lcid, described)))
                    info = &described;
                else if (!info)
                    return S_OK; // no description: the event is dropped
            }
            return InvokeSinkHandler(SinkObject(), e->handler, *info, params, result);
        }
        return S_OK;
    });
}

HRESULT IDispEventBase::DispEventAdvise(IUnknown* source) noexcept {
    DWORD cookie = 0;
    const HRESULT hr = AtlAdvise(source, static_cast<IDispatch*>(this), m_iid, &cookie);
    if (SUCCEEDED(hr))
        m_dwEventCookie = cookie;
    return hr;
}

HRESULT IDispEventBase::DispEventUnadvise(IUnknown* source) noexcept {
    const HRESULT hr = AtlUnadvise(source, m_iid, m_dwEventCookie);
    m_dwEventCookie = kNotConnected;
    return hr;
}

HRESULT InvokeSinkHandler(void* object, const SinkHandler& handler, const _ATL_FUNC_INFO& info,
                          DISPPARAMS* params, VARIANT* result) noexcept {
    // A call with another parameter count than the handler's would leave the
    // stack unbalanced on 32-bit Windows.
    if (info.nParams > 8 || info.nParams < 0 || handler.nParams != info.nParams)
        return E_FAIL;
    const UINT n = static_cast<UINT>(info.nParams);
    if (n && (!params || params->cArgs < n || !params->rgvarg))
        return DISP_E_BADPARAMCOUNT;

    char* self = static_cast<char*>(object) + handler.fn.adj;
    void* fn = nullptr;
    if (handler.fn.ptr & 1) {
        void** vtable = *reinterpret_cast<void***>(self);
        fn = vtable[(handler.fn.ptr - 1) / sizeof(void*)];
    } else {
        fn = reinterpret_cast<void*>(handler.fn.ptr);
    }

    // Values are converted to the handler's parameter types so that a source
    // sending another type cannot make the handler read a wrong kind of value.
    VARIANT converted[8];
    // The object goes first, as a by-reference value: pointer-sized in both
    // builds (DispCallFunc reads 8 bytes for it on x64).
    VARIANT thisArg;
    VariantInit(&thisArg);
    thisArg.vt = VT_BYREF | VT_UI1;
    thisArg.byref = self;
    VARTYPE types[9] = {thisArg.vt};
    VARIANTARG* args[9] = {&thisArg};
    HRESULT hr = S_OK;
    UINT ready = 0;
    for (; ready < n; ++ready) {
        // Invoke lists the arguments last to first.
        VARIANT& given = params->rgvarg[params->cArgs - 1 - ready];
        VariantInit(&converted[ready]);
        const VARTYPE want = handler.pVarTypes[ready];
        types[ready + 1] = want;
        if (given.vt == want || want == VT_VARIANT) {
            args[ready + 1] = &given;
            if (want == VT_VARIANT)
                types[ready + 1] = VT_VARIANT;
            continue;
        }
        if (want & VT_BYREF) {
            hr = DISP_E_TYPEMISMATCH;
            break;
        }
        hr = VariantChangeType(&converted[ready], &given, 0, want);
        if (FAILED(hr))
            break;
        args[ready + 1] = &converted[ready];
    }
    if (SUCCEEDED(hr)) {
        VARIANT out;
        VariantInit(&out);
        hr = DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(fn), CC_STDCALL, VT_ERROR, n + 1,
                          types, args, &out);
        if (SUCCEEDED(hr) && result) {
            VariantClear(result);
            *result = out;
        } else {
            VariantClear(&out);
        }
    }
    for (UINT i = 0; i < ready; ++i)
        VariantClear(&converted[i]);
    return hr;
}

} // namespace ATL
