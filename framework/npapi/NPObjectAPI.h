#pragma once
// A page object (an NPObject the browser gave us) seen by the scripting core.
// Member operations become browser calls, made on the main thread; one of the
// plug-in's own wrappers coming back is unwrapped to its scripting object.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "PageObject.h"
#include "npapi_abi.h"

namespace FW {
namespace Npapi {

class NpapiBrowserHost;
using NpapiBrowserHostPtr = std::shared_ptr<NpapiBrowserHost>;

class NPObjectAPI;
using NPObjectAPIPtr = std::shared_ptr<NPObjectAPI>;

class NPObjectAPI : public PageObject {
public:
    // Retains object through the host for the lifetime of this wrapper.
    NPObjectAPI(NPObject* object, const NpapiBrowserHostPtr& host);
    ~NPObjectAPI() override;

    NPObject* getNPObject() const { return m_object; }
    // Gives the browser reference back now (main thread); the wrapper then
    // stands for nothing.
    void releaseNPObject();

    EventId getEventId() const override;
    bool isValid() override { return m_object.load() != nullptr && !m_host.expired(); }

private:
    class Handlers;
    NpapiBrowserHostPtr host() const;
    NPIdentifier identifier(NpapiBrowserHost& host, const PageMember& member) const;

    // NPN_Enumerate, when the browser offers it.
    std::vector<std::string> pageMemberNames() const override;
    // An index is the browser's integer identifier.
    bool pageHas(const PageMember& member, bool asMethod) const override;
    variant pageGet(const PageMember& member) override;
    // A refused assignment is an error.
    void pageSet(const PageMember& member, const variant& value) override;
    void pageRemove(const PageMember& member) override;
    // The object itself is called with NPN_InvokeDefault.
    variant pageCall(const std::string& name, const VariantList& args, bool construct) override;
    // Through the page's call function, which takes the handler as an argument.
    std::unique_ptr<HandlerBatch> prepareHandlers(const std::string& name,
                                                  const VariantList& args) override;

    std::atomic<NPObject*> m_object;
    mutable EventId m_eventId = nullptr;
};

} // namespace Npapi
} // namespace FW
