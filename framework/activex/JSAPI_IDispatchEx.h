#pragma once
// IDispatchEx, the event source's connection point and the marker of the
// plug-in's own objects for a COM class T whose dual interface I derives from
// IDispatchEx. T lists I, IDispatchEx, IDispatch, IConnectionPointContainer,
// IConnectionPoint and IFWScriptingObjectOwner in its COM map.

#include "IDispatchAPI.h"
#include "JSAPI_IDispatchExBase.h"
#include "com_error.h"
#include "connection_points.h"

namespace FW {
namespace ActiveX {

template <class T, class I, const IID* piidEvents>
class JSAPI_IDispatchEx : public I,
                          public IConnectionPointContainer,
                          public IConnectionPoint,
                          public IFWScriptingObjectOwner,
                          public JSAPI_IDispatchExBase {
public:
    explicit JSAPI_IDispatchEx(std::string errorSource)
        : JSAPI_IDispatchExBase(std::move(errorSource)) {}

    // IDispatch
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return getIDsOfNames(names, count, ids);
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
     UINT*) override {
        return invokeEx(id, flags, params, result, info);
    }

    // IDispatchEx
    STDMETHOD(GetDispID)(BSTR name, DWORD flags, DISPID* id) override {
        return getDispID(name, flags, id);
    }
    STDMETHOD(InvokeEx)
    (DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
     IServiceProvider*) override {
        return invokeEx(id, flags, params, result, info);
    }
    STDMETHOD(DeleteMemberByName)(BSTR, DWORD) override { return E_NOTIMPL; }
    STDMETHOD(DeleteMemberByDispID)(DISPID id) override { return deleteMemberByDispID(id); }
    STDMETHOD(GetMemberProperties)(DISPID, DWORD, DWORD* props) override {
        if (props)
            *props = 0;
        return E_NOTIMPL;
    }
    STDMETHOD(GetMemberName)(DISPID id, BSTR* name) override { return getMemberName(id, name); }
    STDMETHOD(GetNextDispID)(DWORD, DISPID id, DISPID* next) override {
        return getNextDispID(id, next);
    }
    STDMETHOD(GetNameSpaceParent)(IUnknown** parent) override {
        if (parent)
            *parent = nullptr;
        return E_NOTIMPL;
    }

    // IConnectionPointContainer: the one point, for the event source.
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** points) override {
        return ATL::EnumConnectionPointsOf({static_cast<IConnectionPoint*>(this)}, points);
    }
    STDMETHOD(FindConnectionPoint)(REFIID iid, IConnectionPoint** point) override {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (!InlineIsEqualGUID(iid, *piidEvents))
            return CONNECT_E_NOCONNECTION;
        *point = static_cast<IConnectionPoint*>(this);
        (*point)->AddRef();
        return S_OK;
    }

    // IConnectionPoint
    STDMETHOD(GetConnectionInterface)(IID* iid) override {
        if (!iid)
            return E_POINTER;
        *iid = *piidEvents;
        return S_OK;
    }
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** container) override {
        if (!container)
            return E_POINTER;
        *container = static_cast<IConnectionPointContainer*>(this);
        (*container)->AddRef();
        return S_OK;
    }
    STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) override { return advise(sink, cookie); }
    STDMETHOD(Unadvise)(DWORD cookie) override { return unadvise(cookie); }
    STDMETHOD(EnumConnections)(IEnumConnections** connections) override {
        if (connections)
            *connections = nullptr;
        return E_NOTIMPL;
    }

    // IFWScriptingObjectOwner
    JSAPIWeakPtr STDMETHODCALLTYPE scriptingObject() override { return m_api; }
    WrapperToken STDMETHODCALLTYPE wrapperToken() override { return aliveToken(); }
};

} // namespace ActiveX
} // namespace FW
