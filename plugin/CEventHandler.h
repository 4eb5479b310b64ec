#pragma once
// The sink for the camera control's event interface. It maps one event,
// OnCtrlEvent (DISPID 1: text, type, subtype), to its owner's
// fire_OnCtrlEvent; every other DISPID is answered S_OK and dropped.
//
// The sink lives inside its owner and is not reference counted. Its owner
// connects it to the control (cookie) and disconnects it again.

#include <windows.h>
#include <oaidl.h>

class orvelaAPI;

class CEventHandler : public IDispatch {
public:
    static constexpr DWORD kNotConnected = 0xFEFEFEFE;
    static constexpr unsigned kMaxParams = 8;

    // An event's parameter description: what the handler is called with.
    struct FuncInfo {
        VARTYPE returnType = VT_EMPTY;
        unsigned short paramCount = 0;
        VARTYPE paramTypes[kMaxParams] = {};
    };

    CEventHandler() noexcept;
    CEventHandler(const CEventHandler&) = delete;
    CEventHandler& operator=(const CEventHandler&) = delete;

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)
    (REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHOD(Invoke)
    (DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
     EXCEPINFO* excepInfo, UINT* argErr) override;

    // The event's description from the control's registered type library.
    virtual HRESULT GetFuncInfoFromId(const IID& iid, DISPID id, LCID lcid, FuncInfo& info);
    virtual HRESULT STDMETHODCALLTYPE OnCtrlEvent(BSTR text, LONG type, LONG subtype);

    // The description used when the type library cannot describe the event.
    static const FuncInfo& fixedOnCtrlEventInfo() noexcept;

    GUID m_libid;
    IID m_iid;
    unsigned short m_wMajorVerNum;
    unsigned short m_wMinorVerNum;
    DWORD m_dwEventCookie;
    orvelaAPI* m_pOwner = nullptr;
};
