#pragma once
// A page object (an NPObject the browser gave us) seen by the scripting core.
// Member operations become browser calls, made on the main thread; one of the
// plug-in's own wrappers coming back is unwrapped to its scripting object.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "JSObject.h"
#include "npapi_abi.h"

namespace FW {
namespace Npapi {

class NpapiBrowserHost;
using NpapiBrowserHostPtr = std::shared_ptr<NpapiBrowserHost>;

class NPObjectAPI;
using NPObjectAPIPtr = std::shared_ptr<NPObjectAPI>;

class NPObjectAPI : public JSObject {
public:
    // Retains object through the host for the lifetime of this wrapper.
    NPObjectAPI(NPObject* object, const NpapiBrowserHostPtr& host);
    ~NPObjectAPI() override;

    NPObject* getNPObject() const { return m_object; }
    // Gives the browser reference back now (main thread); the wrapper then
    // stands for nothing.
    void releaseNPObject();

    // JSObject
    EventId getEventId() const override;
    EventContext getEventContext() const override;
    bool supportsOptimizedCalls() const override { return true; }
    void callMultipleFunctions(const std::string& name, const VariantList& args,
                               const std::vector<JSObjectPtr>& direct,
                               const std::vector<JSObjectPtr>& ifaces) override;
    bool isValid() override { return m_object.load() != nullptr && !m_host.expired(); }
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

private:
    NpapiBrowserHostPtr host() const;
    variant getPropertyById(NPIdentifier id, const std::string& name);
    void setPropertyById(NPIdentifier id, const variant& value);
    variant callBrowser(NPIdentifier name, bool isDefault, bool construct, const VariantList& args);

    std::atomic<NPObject*> m_object;
    bool m_isOwnObject = false;
    JSAPIWeakPtr m_api;
    mutable EventId m_eventId = nullptr;
};

} // namespace Npapi
} // namespace FW
