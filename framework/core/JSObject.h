#pragma once
// The plug-in side's reference to an object that lives in the page. The browser
// adapters implement the member operations over their own object handles.

#include <memory>
#include <string>
#include <vector>

#include "JSAPI.h"

namespace FW {

class BrowserHost;
using BrowserHostPtr = std::shared_ptr<BrowserHost>;
using BrowserHostWeakPtr = std::weak_ptr<BrowserHost>;

class JSObject : public JSAPI {
public:
    explicit JSObject(const BrowserHostPtr& host);
    ~JSObject() override;

    // Identity of this page object and of the browser context it belongs to;
    // event handlers are de-duplicated and grouped by them.
    virtual EventId getEventId() const { return nullptr; }
    virtual EventContext getEventContext() const { return nullptr; }
    // Whether callMultipleFunctions delivers an event to many handlers at once.
    virtual bool supportsOptimizedCalls() const { return false; }
    virtual void callMultipleFunctions(const std::string& name, const VariantList& args,
                                       const std::vector<JSObjectPtr>& direct,
                                       const std::vector<JSObjectPtr>& ifaces);
    virtual bool isValid() = 0;

    // Calls the method (empty name: the object itself as a function) from a
    // zero-delay page timer, so the page runs it after the current script.
    virtual void InvokeAsync(const std::string& method, const VariantList& args);
    virtual void SetPropertyAsync(const std::string& name, const variant& value);
    // The plug-in scripting object this page object wraps, or null.
    virtual JSAPIPtr getJSAPI() const = 0;

    BrowserHostPtr getHost() const { return m_host.lock(); }

    // Array read-out: "length", then the indexed properties in order. A
    // length above kMaxArrayLength is refused with a script_error.
    static constexpr long kMaxArrayLength = 1L << 20;
    static void GetArrayValues(const JSObjectPtr& src, VariantList& dst);
    // Object read-out: every member name with its property value.
    static void GetObjectValues(const JSObjectPtr& src, VariantMap& dst);

protected:
    // The scheduled step of InvokeAsync; the arguments are handed on to the page.
    virtual void callAsync(VariantList&& args, const std::string& method);

    BrowserHostWeakPtr m_host;
};

} // namespace FW
