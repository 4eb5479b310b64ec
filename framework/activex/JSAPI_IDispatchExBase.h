#pragma once
// The work of the IDispatchEx bridge between page script and a scripting
// object, shared by the control and by the wrappers of other scripting
// objects: member identifiers, calls with the error mapping, enumeration, the
// three special members and the event source's connections. Every entry is
// noexcept and answers an HRESULT.

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <dispex.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ActiveXBrowserHost.h"
#include "JSFunction.h"
#include "TypeIDMap.h"
#include "variant.h"

namespace FW {
namespace ActiveX {

class JSAPI_IDispatchExBase {
public:
    explicit JSAPI_IDispatchExBase(std::string errorSource);
    virtual ~JSAPI_IDispatchExBase();
    JSAPI_IDispatchExBase(const JSAPI_IDispatchExBase&) = delete;
    JSAPI_IDispatchExBase& operator=(const JSAPI_IDispatchExBase&) = delete;

    void setAPI(const JSAPIPtr& api, const ActiveXBrowserHostPtr& host);
    JSAPIPtr getAPI() const { return m_api; }
    ActiveXBrowserHostPtr getHost() const { return m_host.lock(); }
    // Expires when this bridge is being destroyed (for the host's wrapper cache).
    WrapperToken aliveToken() const { return m_alive; }
    // Called first thing when the object is being destroyed: from then on the
    // host's cache never hands it out again.
    void expireToken() { m_alive.reset(); }

    // The control's ready state; other objects are always complete.
    virtual long bridgeReadyState() const { return READYSTATE_COMPLETE; }

    HRESULT getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    // A name the object lacks is unknown unless fdexNameEnsure asks for it to
    // be made (an assignment): script then reports the missing member itself.
    HRESULT getDispID(BSTR name, DWORD flags, DISPID* id) noexcept;
    HRESULT invokeEx(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* exception) noexcept;
    HRESULT deleteMemberByDispID(DISPID id) noexcept;
    HRESULT getMemberName(DISPID id, BSTR* name) noexcept;
    HRESULT getNextDispID(DISPID id, DISPID* next) noexcept;
    HRESULT advise(IUnknown* sink, DWORD* cookie) noexcept;
    HRESULT unadvise(DWORD cookie) noexcept;
    // Connects the sinks that came before the scripting object.
    void registerWaitingSinks() noexcept;
    // Drops every connected sink (shutdown).
    void clearSinks() noexcept;
    size_t sinkCount() const { return m_sinks.size() + m_waitingSinks.size(); }

protected:
    class SpecialMember;

    // The scripting object; std::bad_cast ("Invalid object") when there is none.
    JSAPIPtr api() const;
    VariantList convertArgs(ActiveXBrowserHost& host, DISPPARAMS* params, bool skipThis) const;
    void doInvoke(const std::wstring& name, const std::string& narrow, DISPID id, WORD flags,
                  DISPPARAMS* params, VARIANT* result);

    std::string m_errorSource;
    // The names of the member called last: a page calls one member over and
    // over, and the table's lock and look-up are then left out. The table's
    // entries are never removed or changed.
    std::atomic<const TypeIDMap::Names*> m_lastCalled{nullptr};
    JSAPIPtr m_api;
    ActiveXBrowserHostWeakPtr m_host;
    std::vector<std::wstring> m_memberNameCache;
    size_t m_memberCountAtFill = 0;
    std::map<DWORD, JSObjectPtr> m_sinks;
    // Sinks connected before there is a scripting object (a container that
    // connects while it sites the control); they are registered with it when
    // it comes.
    std::map<DWORD, ATL::CComPtr<IDispatch>> m_waitingSinks;
    DWORD m_lastCookie = 0;
    std::shared_ptr<JSAPI_IDispatchExBase> m_self;
    std::shared_ptr<void> m_alive;
    std::shared_ptr<JSFunction> m_attachEvent;
    std::shared_ptr<JSFunction> m_detachEvent;
    std::shared_ptr<JSFunction> m_getLastException;
};

} // namespace ActiveX
} // namespace FW
