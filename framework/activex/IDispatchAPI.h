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
#include "JSObject.h"

namespace FW {
namespace ActiveX {

class IDispatchAPI;
using IDispatchAPIPtr = std::shared_ptr<IDispatchAPI>;

class IDispatchAPI : public JSObject {
public:
    static IDispatchAPIPtr create(IDispatch* object, const ActiveXBrowserHostPtr& host);
    IDispatchAPI(IDispatch* object, const ActiveXBrowserHostPtr& host);
    ~IDispatchAPI() override;

    // The page object with a new reference, or null once it was released.
    IDispatch* getIDispatch() const;
    bool isOwnObject() const { return m_isOwnObject; }

    // JSObject
    EventId getEventId() const override;
    EventContext getEventContext() const override;
    bool supportsOptimizedCalls() const override { return true; }
    void callMultipleFunctions(const std::string& name, const VariantList& args,
                               const std::vector<JSObjectPtr>& direct,
                               const std::vector<JSObjectPtr>& ifaces) override;
    bool isValid() override;
    JSAPIPtr getJSAPI() const override { return m_api.lock(); }

    // JSAPI
    FW_JSAPI_USING_WIDE_FORMS(JSObject);
    void invalidate() override {}
    void registerEventMethod(const std::string& name, const JSObjectPtr& handler) override;
    void unregisterEventMethod(const std::string& name, const JSObjectPtr& handler) override;
    void registerEventInterface(const JSObjectPtr& object) override;
    void unregisterEventInterface(const JSObjectPtr& object) override;
    void getMemberNames(std::vector<std::string>& names) const override;
    size_t getMemberCount() const override;
    bool HasMethod(const std::string& name) const override;
    bool HasProperty(const std::string& name) const override;
    bool HasProperty(int index) const override;
    variant GetProperty(const std::string& name) override;
    variant GetProperty(int index) override;
    void SetProperty(const std::string& name, const variant& value) override;
    void SetProperty(int index, const variant& value) override;
    void RemoveProperty(const std::string& name) override;
    void RemoveProperty(int index) override;
    variant Invoke(const std::string& name, const VariantList& args) override;
    variant Construct(const VariantList& args) override;

    // The member's identifier on the page object; -1 when it has none.
    DISPID getIDForName(const std::wstring& name) const;

private:
    ActiveXBrowserHostPtr host() const;
    JSAPIPtr ownAPI() const;
    variant callPage(DISPID id, WORD flags, const VariantList& args, const char* failure);

    IDispatchWRef m_object;
    bool m_isOwnObject = false;
    JSAPIWeakPtr m_api;
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
