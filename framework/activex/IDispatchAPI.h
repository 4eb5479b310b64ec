#pragma once
// A page object (an IDispatch the page gave us) seen by the scripting core.
// Member operations become IDispatch(Ex) calls made on the browser's thread;
// one of the plug-in's own objects coming back is unwrapped to its scripting
// object, and its operations go straight there.

#include <windows.h>
#include <oaidl.h>
#include <dispex.h>

#include <memory>
#include <string>
#include <vector>

#include "ActiveXBrowserHost.h"
#include "PageObject.h"

namespace FW {
namespace ActiveX {

class IDispatchAPI;
using IDispatchAPIPtr = std::shared_ptr<IDispatchAPI>;

class IDispatchAPI : public PageObject {
public:
    static IDispatchAPIPtr create(IDispatch* object, const ActiveXBrowserHostPtr& host);
    IDispatchAPI(IDispatch* object, const ActiveXBrowserHostPtr& host);
    ~IDispatchAPI() override;

    // The page object with a new reference, or null once it was released.
    IDispatch* getIDispatch() const;

    EventId getEventId() const override;
    bool isValid() override;

    // The member's identifier on the page object; -1 when it has none.
    DISPID getIDForName(const std::wstring& name) const;

private:
    class Handlers;
    ActiveXBrowserHostPtr host() const;
    variant callPage(DISPID id, WORD flags, const VariantList& args, const char* failure);

    // By identifier: a page object does not tell methods from properties.
    bool pageHas(const PageMember& member, bool asMethod) const override;
    variant pageGet(const PageMember& member) override;
    // A put by reference first, as script engines assign objects.
    void pageSet(const PageMember& member, const variant& value) override;
    void pageRemove(const PageMember& member) override;
    // The object itself is its DISPID_VALUE.
    variant pageCall(const std::string& name, const VariantList& args, bool construct) override;
    // IDispatchEx's enumeration; a plain IDispatch cannot list its members.
    std::vector<std::string> pageMemberNames() const override;
    // Each handler is called directly, with itself as the this-argument.
    std::unique_ptr<HandlerBatch> prepareHandlers(const std::string& name,
                                                  const VariantList& args) override;

    IDispatchWRef m_object;
};

// Marker interface of the plug-in's own COM objects: hands out the scripting
// object behind them. In-process only; never marshalled.
struct IFWScriptingObjectOwner : public IUnknown {
    virtual JSAPIWeakPtr STDMETHODCALLTYPE scriptingObject() = 0;
    // Expires when the object is being destroyed.
    virtual WrapperToken STDMETHODCALLTYPE wrapperToken() = 0;
};
extern const IID IID_IFWScriptingObjectOwner;

} // namespace ActiveX
} // namespace FW
