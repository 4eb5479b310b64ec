#include "NPObjectAPI.h"

#include <atomic>
#include <mutex>

#include "BrowserHost.h"
#include "JSExceptions.h"
#include "NPJavascriptObject.h"
#include "NpapiBrowserHost.h"

namespace FW {
namespace Npapi {

namespace {

// Converted arguments for one browser call, released however the call ends.
class NPVariantArgs {
public:
    NPVariantArgs(NpapiBrowserHost& host, const VariantList& args)
        : m_host(host), m_values(args.size()) {
        for (auto& value : m_values)
            value.type = NPVariantType_Void;
        for (size_t i = 0; i < args.size(); ++i)
            host.getNPVariant(&m_values[i], args[i]);
    }
    ~NPVariantArgs() {
        for (auto& value : m_values)
            m_host.ReleaseVariantValue(&value);
    }
    const NPVariant* data() const { return m_values.empty() ? nullptr : m_values.data(); }
    uint32_t size() const { return static_cast<uint32_t>(m_values.size()); }

private:
    NpapiBrowserHost& m_host;
    std::vector<NPVariant> m_values;
};

// A browser result value, released when done.
class NPResult {
public:
    explicit NPResult(NpapiBrowserHost& host) : m_host(host) { m_value.type = NPVariantType_Void; }
    ~NPResult() { m_host.ReleaseVariantValue(&m_value); }
    NPVariant* get() { return &m_value; }

private:
    NpapiBrowserHost& m_host;
    NPVariant m_value;
};

std::mutex s_eventIdMutex;
long s_lastEventId = 0;

} // namespace

NPObjectAPI::NPObjectAPI(NPObject* object, const NpapiBrowserHostPtr& host)
    : JSObject(host), m_object(object) {
    if (object == nullptr || !host)
        return;
    host->RetainObject(object);
    if (NPJavascriptObject::isNPJavaScriptObject(object)) {
        m_isOwnObject = true;
        m_api = static_cast<NPJavascriptObject*>(object)->getAPI();
    }
}

NPObjectAPI::~NPObjectAPI() {
    releaseNPObject();
}

void NPObjectAPI::releaseNPObject() {
    NPObject* object = m_object.exchange(nullptr);
    if (object == nullptr)
        return;
    if (auto h = host())
        h->ReleaseObject(object);
}

NpapiBrowserHostPtr NPObjectAPI::host() const {
    return std::static_pointer_cast<NpapiBrowserHost>(m_host.lock());
}

EventContext NPObjectAPI::getEventContext() const {
    auto h = host();
    return h ? h->getContextID() : nullptr;
}

EventId NPObjectAPI::getEventId() const {
    if (m_eventId != nullptr)
        return m_eventId;
    auto self = std::const_pointer_cast<NPObjectAPI>(
        std::static_pointer_cast<const NPObjectAPI>(shared_from_this()));
    if (!self->HasProperty("__fw_event_id")) {
        long id;
        {
            std::lock_guard<std::mutex> lock(s_eventIdMutex);
            id = ++s_lastEventId;
        }
        self->SetProperty("__fw_event_id", variant(id));
    }
    long id;
    try {
        id = self->GetProperty("__fw_event_id").convert<long>();
    } catch (const bad_variant_cast& e) {
        throw invalid_arguments(e.what());
    }
    m_eventId = reinterpret_cast<EventId>(static_cast<uintptr_t>(id));
    return m_eventId;
}

void NPObjectAPI::registerEventMethod(const std::string&, const JSObjectPtr&) {
    throw script_error("Not implemented");
}
void NPObjectAPI::unregisterEventMethod(const std::string&, const JSObjectPtr&) {
    throw script_error("Not implemented");
}
void NPObjectAPI::registerEventInterface(const JSObjectPtr&) {
    throw script_error("Not implemented");
}
void NPObjectAPI::unregisterEventInterface(const JSObjectPtr&) {
    throw script_error("Not implemented");
}

void NPObjectAPI::getMemberNames(std::vector<std::string>& names) const {
    auto h = host();
    if (!h)
        return;
    if (!h->isMainThread()) {
        names = h->CallOnMainThread([this] {
            std::vector<std::string> result;
            getMemberNames(result);
            return result;
        });
        return;
    }
    if (m_isOwnObject) {
        if (auto api = m_api.lock())
            api->getMemberNames(names);
        return;
    }
    if (!h->HasEnumerate())
        return;
    NPIdentifier* ids = nullptr;
    uint32_t count = 0;
    if (!h->Enumerate(m_object, &ids, &count))
        return;
    names.reserve(names.size() + count);
    for (uint32_t i = 0; i < count; ++i)
        names.push_back(h->StringFromIdentifier(ids[i]));
    h->MemFree(ids);
}

size_t NPObjectAPI::getMemberCount() const {
    std::vector<std::string> names;
    getMemberNames(names);
    return names.size();
}

bool NPObjectAPI::HasMethod(const std::string& name) const {
    auto h = host();
    if (!h)
        return false;
    if (!h->isMainThread())
        return h->CallOnMainThread([this, name] { return HasMethod(name); });
    if (m_isOwnObject) {
        auto api = m_api.lock();
        return api && api->HasMethod(name);
    }
    return h->HasMethod(m_object, h->GetStringIdentifier(name));
}

bool NPObjectAPI::HasProperty(const std::string& name) const {
    auto h = host();
    if (!h)
        return false;
    if (!h->isMainThread())
        return h->CallOnMainThread([this, name] { return HasProperty(name); });
    if (m_isOwnObject) {
        auto api = m_api.lock();
        return api && api->HasProperty(name);
    }
    return h->HasProperty(m_object, h->GetStringIdentifier(name));
}

bool NPObjectAPI::HasProperty(int index) const {
    auto h = host();
    if (!h)
        return false;
    if (!h->isMainThread())
        return h->CallOnMainThread([this, index] { return HasProperty(index); });
    if (m_isOwnObject) {
        auto api = m_api.lock();
        return api && api->HasProperty(index);
    }
    return h->HasProperty(m_object, h->GetIntIdentifier(index));
}

variant NPObjectAPI::getPropertyById(NPIdentifier id, const std::string& name) {
    auto h = host();
    NPResult result(*h);
    if (!h->GetProperty(m_object, id, result.get()))
        throw script_error("Failed to retrieve property " + name);
    return h->getVariant(result.get());
}

variant NPObjectAPI::GetProperty(const std::string& name) {
    auto h = host();
    if (!h)
        return variant(false);
    if (!h->isMainThread())
        return h->CallOnMainThread([this, name] { return GetProperty(name); });
    if (m_isOwnObject) {
        auto api = m_api.lock();
        return api ? api->GetProperty(name) : variant(false);
    }
    return getPropertyById(h->GetStringIdentifier(name), name);
}

variant NPObjectAPI::GetProperty(int index) {
    auto h = host();
    if (!h)
        return variant(false);
    if (!h->isMainThread())
        return h->CallOnMainThread([this, index] { return GetProperty(index); });
    if (m_isOwnObject) {
        auto api = m_api.lock();
        return api ? api->GetProperty(index) : variant(false);
    }
    return getPropertyById(h->GetIntIdentifier(index), std::to_string(index));
}

void NPObjectAPI::setPropertyById(NPIdentifier id, const variant& value) {
    auto h = host();
    NPResult converted(*h);
    h->getNPVariant(converted.get(), value);
    // A refusal is an error, not a no-op: a map handed to the page would
    // otherwise lack entries, and an event handler would go unstamped.
    if (!h->SetProperty(m_object, id, converted.get()))
        throw script_error("Failed to set property");
}

void NPObjectAPI::SetProperty(const std::string& name, const variant& value) {
    auto h = host();
    if (!h)
        return;
    if (!h->isMainThread())
        return h->CallOnMainThread([this, name, value] { SetProperty(name, value); });
    if (m_isOwnObject) {
        if (auto api = m_api.lock())
            api->SetProperty(name, value);
        return;
    }
    setPropertyById(h->GetStringIdentifier(name), value);
}

void NPObjectAPI::SetProperty(int index, const variant& value) {
    auto h = host();
    if (!h)
        return;
    if (!h->isMainThread())
        return h->CallOnMainThread([this, index, value] { SetProperty(index, value); });
    if (m_isOwnObject) {
        if (auto api = m_api.lock())
            api->SetProperty(index, value);
        return;
    }
    setPropertyById(h->GetIntIdentifier(index), value);
}

void NPObjectAPI::RemoveProperty(const std::string& name) {
    auto h = host();
    if (!h)
        return;
    if (!h->isMainThread())
        return h->CallOnMainThread([this, name] { RemoveProperty(name); });
    if (m_isOwnObject) {
        if (auto api = m_api.lock())
            api->RemoveProperty(name);
        return;
    }
    h->RemoveProperty(m_object, h->GetStringIdentifier(name));
}

void NPObjectAPI::RemoveProperty(int index) {
    auto h = host();
    if (!h)
        return;
    if (!h->isMainThread())
        return h->CallOnMainThread([this, index] { RemoveProperty(index); });
    if (m_isOwnObject) {
        if (auto api = m_api.lock())
            api->RemoveProperty(index);
        return;
    }
    h->RemoveProperty(m_object, h->GetIntIdentifier(index));
}

variant NPObjectAPI::callBrowser(NPIdentifier name, bool isDefault, bool construct,
                                 const VariantList& args) {
    auto h = host();
    NPVariantArgs npArgs(*h, args);
    NPResult result(*h);
    bool ok;
    if (construct)
        ok = h->Construct(m_object, npArgs.data(), npArgs.size(), result.get());
    else if (isDefault)
        ok = h->InvokeDefault(m_object, npArgs.data(), npArgs.size(), result.get());
    else
        ok = h->Invoke(m_object, name, npArgs.data(), npArgs.size(), result.get());
    if (!ok)
        throw script_error("Error calling method on NPObject");
    return h->getVariant(result.get());
}

variant NPObjectAPI::Invoke(const std::string& name, const VariantList& args) {
    auto h = host();
    if (!h)
        return variant(false);
    if (!h->isMainThread())
        return h->CallOnMainThread([this, name, args] { return Invoke(name, args); });
    if (m_isOwnObject) {
        auto api = m_api.lock();
        return api ? api->Invoke(name, args) : variant(false);
    }
    if (name.empty())
        return callBrowser(nullptr, true, false, args);
    return callBrowser(h->GetStringIdentifier(name), false, false, args);
}

variant NPObjectAPI::Construct(const VariantList& args) {
    auto h = host();
    if (!h)
        return variant(false);
    if (!h->isMainThread())
        return h->CallOnMainThread([this, args] { return Construct(args); });
    if (m_isOwnObject) {
        auto api = m_api.lock();
        return api ? api->Construct(args) : variant(false);
    }
    return callBrowser(nullptr, false, true, args);
}

void NPObjectAPI::callMultipleFunctions(const std::string& name, const VariantList& args,
                                        const std::vector<JSObjectPtr>& direct,
                                        const std::vector<JSObjectPtr>& ifaces) {
    auto h = host();
    if (!h)
        throw script_error("Error calling handlers");
    if (!h->isMainThread()) {
        auto self = std::static_pointer_cast<NPObjectAPI>(shared_from_this());
        h->ScheduleOnMainThread(self, [self, name, args, direct, ifaces] {
            self->callMultipleFunctions(name, args, direct, ifaces);
        });
        return;
    }
    JSObjectPtr helper = h->getJSCallFunction();
    auto page = std::dynamic_pointer_cast<NPObjectAPI>(helper);
    if (!page)
        throw script_error("Error calling handlers (delegate disappeared)");

    NPVariant prepared[4];
    for (auto& value : prepared)
        value.type = NPVariantType_Void;
    struct Release {
        NpapiBrowserHost& host;
        NPVariant* values;
        ~Release() {
            for (int i = 0; i < 4; ++i)
                host.ReleaseVariantValue(&values[i]);
        }
    } release{*h, prepared};
    h->getNPVariant(&prepared[0], variant(0));
    h->getNPVariant(&prepared[2], variant(args));
    h->getNPVariant(&prepared[3], variant(name));

    auto deliver = [&](const JSObjectPtr& handler, bool asObject) {
        if (!handler)
            return;
        if (JSAPIPtr own = handler->getJSAPI()) {
            own->Invoke(std::string(), args);
            return;
        }
        auto pageHandler = std::dynamic_pointer_cast<NPObjectAPI>(handler);
        if (!pageHandler)
            return;
        NPVariant callArgs[4] = {prepared[0], prepared[1], prepared[2], prepared[3]};
        callArgs[1].type = NPVariantType_Object;
        callArgs[1].value.objectValue = pageHandler->getNPObject();
        NPResult result(*h);
        h->InvokeDefault(page->getNPObject(), callArgs, asObject ? 4 : 3, result.get());
    };
    for (const auto& handler : direct)
        deliver(handler, false);
    for (const auto& handler : ifaces)
        deliver(handler, true);
}

} // namespace Npapi
} // namespace FW
