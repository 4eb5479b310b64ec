#include "CEventHandler.h"

#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "CameraControl.h"
#include "com_ptr.h"
#include "com_types.h"
#include "orvelaAPI.h"

namespace {

// What every sink shares: the event interface's description, loaded on first
// need from the first sink's identities, and the resolved description of
// OnCtrlEvent. A sink whose identities differ is served without the shared
// record. Sinks all run on the browser's main thread.
struct SharedTypeInfo {
    bool identified = false;
    GUID libid = {};
    IID iid = {};
    WORD major = 0;
    WORD minor = 0;
    ATL::CComPtr<ITypeInfo> info;
    bool eventResolved = false;
    bool eventFromTypeLib = false;
    CEventHandler::FuncInfo eventInfo;
};

SharedTypeInfo& shared() {
    static SharedTypeInfo holder;
    return holder;
}

// The shared record when it belongs to this sink's identities (claiming it
// for them when nobody has), else null.
SharedTypeInfo* sharedFor(const CEventHandler& sink) {
    SharedTypeInfo& holder = shared();
    if (!holder.identified) {
        holder.identified = true;
        holder.libid = sink.m_libid;
        holder.iid = sink.m_iid;
        holder.major = sink.m_wMajorVerNum;
        holder.minor = sink.m_wMinorVerNum;
    }
    const bool same = InlineIsEqualGUID(holder.libid, sink.m_libid) &&
                      InlineIsEqualGUID(holder.iid, sink.m_iid) &&
                      holder.major == sink.m_wMajorVerNum && holder.minor == sink.m_wMinorVerNum;
    return same ? &holder : nullptr;
}

HRESULT loadTypeInfo(const CEventHandler& sink, LCID lcid, ITypeInfo** out) {
    SharedTypeInfo* holder = sharedFor(sink);
    if (holder && holder->info)
        return holder->info.CopyTo(out);
    ATL::CComPtr<ITypeLib> library;
    HRESULT hr =
        LoadRegTypeLib(sink.m_libid, sink.m_wMajorVerNum, sink.m_wMinorVerNum, lcid, &library);
    if (FAILED(hr))
        return hr;
    ATL::CComPtr<ITypeInfo> info;
    hr = library->GetTypeInfoOfGuid(sink.m_iid, &info);
    if (FAILED(hr))
        return hr;
    if (holder)
        holder->info = info;
    return info.CopyTo(out);
}

// Byte offset of OnCtrlEvent in the vtable, for the generic call: a pointer to
// a virtual member holds 1 + that offset under this compiler's ABI.
ULONG_PTR onCtrlEventOffset() {
    auto member = &CEventHandler::OnCtrlEvent;
    struct {
        uintptr_t ptr;
        ptrdiff_t adjust;
    } raw;
    static_assert(sizeof member == sizeof raw, "unexpected member pointer layout");
    std::memcpy(&raw, &member, sizeof raw);
    return raw.ptr - 1;
}

} // namespace

CEventHandler::CEventHandler() noexcept
    : m_libid(orvelaControl::kTypeLibId), m_iid(orvelaControl::kEventsIid),
      m_wMajorVerNum(orvelaControl::kTypeLibMajor), m_wMinorVerNum(orvelaControl::kTypeLibMinor),
      m_dwEventCookie(kNotConnected) {}

const CEventHandler::FuncInfo& CEventHandler::fixedOnCtrlEventInfo() noexcept {
    static const FuncInfo info = [] {
        FuncInfo fixed;
        fixed.returnType = VT_VOID;
        fixed.paramCount = 3;
        fixed.paramTypes[0] = VT_BSTR;
        fixed.paramTypes[1] = VT_I4;
        fixed.paramTypes[2] = VT_I4;
        return fixed;
    }();
    return info;
}

HRESULT CEventHandler::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (InlineIsEqualGUID(iid, IID_NULL))
        return E_NOINTERFACE;
    if (InlineIsEqualGUID(iid, orvelaControl::kEventsIid) || InlineIsEqualGUID(iid, m_iid) ||
        InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CEventHandler::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CEventHandler::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return loadTypeInfo(*this, lcid, info);
}

HRESULT CEventHandler::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    ATL::CComPtr<ITypeInfo> info;
    const HRESULT hr = loadTypeInfo(*this, lcid, &info);
    if (FAILED(hr))
        return hr;
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT CEventHandler::GetFuncInfoFromId(const IID& iid, DISPID id, LCID lcid, FuncInfo& out) {
    SharedTypeInfo* holder = sharedFor(*this);
    const bool onCtrlEvent = id == orvelaControl::kOnCtrlEventId && InlineIsEqualGUID(iid, m_iid);
    if (holder && onCtrlEvent && holder->eventResolved) {
        if (!holder->eventFromTypeLib)
            return TYPE_E_ELEMENTNOTFOUND;
        out = holder->eventInfo;
        return S_OK;
    }

    ATL::CComPtr<ITypeInfo> info;
    HRESULT hr = loadTypeInfo(*this, lcid, &info);
    FuncInfo found;
    if (SUCCEEDED(hr)) {
        ATL::CComPtr<ITypeInfo2> info2;
        hr = info.QueryInterface(&info2);
        UINT index = 0;
        if (SUCCEEDED(hr))
            hr = info2->GetFuncIndexOfMemId(id, INVOKE_FUNC, &index);
        FUNCDESC* desc = nullptr;
        if (SUCCEEDED(hr))
            hr = info->GetFuncDesc(index, &desc);
        if (SUCCEEDED(hr)) {
            if (desc->cParams > static_cast<SHORT>(kMaxParams)) {
                hr = E_FAIL;
            } else {
                found.returnType = desc->elemdescFunc.tdesc.vt;
                found.paramCount = static_cast<unsigned short>(desc->cParams);
                for (SHORT i = 0; i < desc->cParams; ++i)
                    found.paramTypes[i] = desc->lprgelemdescParam[i].tdesc.vt;
            }
            info->ReleaseFuncDesc(desc);
        }
    }
    // Resolved once: later events neither reload nor retry a missing library.
    if (holder && onCtrlEvent) {
        holder->eventResolved = true;
        holder->eventFromTypeLib = SUCCEEDED(hr);
        holder->eventInfo = found;
    }
    if (SUCCEEDED(hr))
        out = found;
    return hr;
}

HRESULT CEventHandler::Invoke(DISPID id, REFIID, LCID lcid, WORD, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (id != orvelaControl::kOnCtrlEventId)
        return S_OK;
    if (!params || (params->cArgs && !params->rgvarg))
        return E_POINTER;

    FuncInfo info;
    if (FAILED(GetFuncInfoFromId(m_iid, id, lcid, info)))
        info = fixedOnCtrlEventInfo();
    const UINT count = info.paramCount;
    if (count > kMaxParams)
        return E_FAIL;
    if (params->cArgs != count)
        return DISP_E_BADPARAMCOUNT;

    // The dispatch record holds the arguments last to first; the handler takes
    // them in declaration order, each of the described type.
    ATL::CComVariant converted[kMaxParams];
    VARIANTARG* args[kMaxParams] = {};
    for (UINT i = 0; i < count; ++i) {
        VARIANTARG& given = params->rgvarg[count - 1 - i];
        if (given.vt == info.paramTypes[i]) {
            args[i] = &given;
            continue;
        }
        if (FAILED(VariantChangeType(&converted[i], &given, 0, info.paramTypes[i]))) {
            if (argErr)
                *argErr = count - 1 - i;
            return DISP_E_TYPEMISMATCH;
        }
        args[i] = &converted[i];
    }

    // The system's generic call refuses VT_HRESULT as a return type.
    const VARTYPE returnType =
        info.returnType == VT_HRESULT ? static_cast<VARTYPE>(VT_ERROR) : info.returnType;
    ATL::CComVariant answer;
    const HRESULT hr = DispCallFunc(static_cast<IDispatch*>(this), onCtrlEventOffset(), CC_STDCALL,
                                    returnType, count, info.paramTypes, args, &answer);
    if (result)
        answer.Detach(result);
    return hr;
}

HRESULT CEventHandler::OnCtrlEvent(BSTR text, LONG type, LONG subtype) {
    if (!m_pOwner)
        return S_FALSE;
    // Called from the control through the generic call: nothing may unwind past it.
    try {
        m_pOwner->fire_OnCtrlEvent(text, type, subtype);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}
