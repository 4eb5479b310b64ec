#include "dispatch.h"

#include "com_types.h"

#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace ATL {

HRESULT LoadTypeLibRegisteredOrOwn(const GUID& libid, WORD major, WORD minor, LCID lcid,
                                   ITypeLib** lib) noexcept {
    if (!lib)
        return E_POINTER;
    *lib = nullptr;
    HRESULT hr = LoadRegTypeLib(libid, major, minor, lcid, lib);
    if (SUCCEEDED(hr))
        return hr;
    wchar_t path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return hr;
    CComPtr<ITypeLib> own;
    if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &own)))
        return hr;
    TLIBATTR* attr = nullptr;
    if (FAILED(own->GetLibAttr(&attr)))
        return hr;
    const bool same = InlineIsEqualGUID(attr->guid, libid) && attr->wMajorVerNum == major;
    own->ReleaseTLibAttr(attr);
    if (!same)
        return hr;
    *lib = own.Detach();
    return S_OK;
}

HRESULT CComTypeInfoHolder::GetTI(LCID lcid, ITypeInfo** info) noexcept {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_info) {
        if (!m_plibid || !m_pguid)
            return E_UNEXPECTED;
        CComPtr<ITypeLib> lib;
        HRESULT hr = LoadTypeLibRegisteredOrOwn(*m_plibid, m_wMajor, m_wMinor, lcid, &lib);
        if (FAILED(hr))
            return hr;
        CComPtr<ITypeInfo> ti;
        hr = lib->GetTypeInfoOfGuid(*m_pguid, &ti);
        if (FAILED(hr))
            return hr;
        m_info = ti;
    }
    return m_info.CopyTo(info);
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return GetTI(lcid, info);
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) noexcept {
    CComPtr<ITypeInfo> info;
    const HRESULT hr = GetTI(lcid, &info);
    if (FAILED(hr))
        return hr;
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) noexcept {
    if (!InlineIsEqualGUID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    CComPtr<ITypeInfo> info;
    const HRESULT hr = GetTI(lcid, &info);
    if (FAILED(hr))
        return hr;
    return info->Invoke(self, id, flags, params, result, excep, argErr);
}

HRESULT AtlReportError(const CLSID& clsid, const wchar_t* description, const IID&,
                       HRESULT hr) noexcept {
    CComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create)))
        return hr;
    create->SetGUID(clsid);
    create->SetDescription(const_cast<LPOLESTR>(description ? description : L""));
    LPOLESTR progid = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(clsid, &progid))) {
        create->SetSource(progid);
        CoTaskMemFree(progid);
    }
    CComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.QueryInterface(&info)))
        SetErrorInfo(0, info);
    return hr;
}

namespace {

RetvalSlot retvalSlotAt(ITypeInfo* info, unsigned slot) noexcept {
    RetvalSlot found;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)))
        return found;
    const WORD functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    const SHORT offset = static_cast<SHORT>(slot * sizeof(void*));
    for (WORD i = 0; i < functions && !found.described; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(info->GetFuncDesc(i, &func)))
            continue;
        if (func->oVft == offset) {
            found.described = true;
            const ELEMDESC* only = func->cParams == 1 ? func->lprgelemdescParam : nullptr;
            if (only && func->callconv == CC_STDCALL && func->elemdescFunc.tdesc.vt == VT_HRESULT &&
                (only->paramdesc.wParamFlags & PARAMFLAG_FRETVAL) && only->tdesc.vt == VT_PTR &&
                only->tdesc.lptdesc)
                found.type = only->tdesc.lptdesc->vt;
        }
        info->ReleaseFuncDesc(func);
    }
    return found;
}

} // namespace

RetvalSlot DescribeRetvalSlot(const GUID& libid, WORD major, WORD minor, const IID& iid,
                              unsigned slot) noexcept {
    CComPtr<ITypeLib> library;
    CComPtr<ITypeInfo> info;
    if (FAILED(LoadRegTypeLib(libid, major, minor, LOCALE_NEUTRAL, &library)) ||
        FAILED(library->GetTypeInfoOfGuid(iid, &info)))
        return {};
    // A dual interface is listed as its dispatch half; the vtable half holds the slots.
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)))
        return {};
    const bool dispatchHalf = attr->typekind == TKIND_DISPATCH;
    info->ReleaseTypeAttr(attr);
    if (dispatchHalf) {
        HREFTYPE vtableHalf = 0;
        CComPtr<ITypeInfo> interfaceInfo;
        if (FAILED(info->GetRefTypeOfImplType(-1, &vtableHalf)) ||
            FAILED(info->GetRefTypeInfo(vtableHalf, &interfaceInfo)))
            return {};
        info = interfaceInfo;
    }
    return retvalSlotAt(info, slot);
}

} // namespace ATL
