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
        try {
            for (size_t i = 0; i < args.size(); ++i)
                host.getNPVariant(&m_values[i], args[i]);
        } catch (...) {
            // The values converted before the failing one are the browser's to free.
            release();
            throw;
        }
    }
    ~NPVariantArgs() { release(); }
    const NPVariant* data() const { return m_values.empty() ? nullptr : m_values.data(); }
    uint32_t size() const { return static_cast<uint32_t>(m_values.size()); }

private:
    void release() {
        for (auto& value : m_values)
            m_host.ReleaseVariantValue(&value);
    }

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
    : PageObject(host, Policy{false, false, true}), m_object(object) {
    if (object == nullptr || !host)
        return;
    host->RetainObject(object);
    if (NPJavascriptObject::isNPJavaScriptObject(object))
        adoptOwnObject(static_cast<NPJavascriptObject*>(object)->getAPI());
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

NPIdentifier NPObjectAPI::identifier(NpapiBrowserHost& h, const PageMember& member) const {
    return member.indexed ? h.GetIntIdentifier(member.index) : h.GetStringIdentifier(member.name);
}

std::vector<std::string> NPObjectAPI::pageMemberNames() const {
    std::vector<std::string> names;
    auto h = host();
    NPIdentifier* ids = nullptr;
    uint32_t count = 0;
    if (!h->HasEnumerate() || !h->Enumerate(m_object, &ids, &count))
        return names;
    names.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        names.push_back(h->StringFromIdentifier(ids[i]));
    h->MemFree(ids);
    return names;
}

bool NPObjectAPI::pageHas(const PageMember& member, bool asMethod) const {
    auto h = host();
    const NPIdentifier id = identifier(*h, member);
    return asMethod ? h->HasMethod(m_object, id) : h->HasProperty(m_object, id);
}

variant NPObjectAPI::pageGet(const PageMember& member) {
    auto h = host();
    NPResult result(*h);
    if (!h->GetProperty(m_object, identifier(*h, member), result.get()))
        throw script_error("Failed to retrieve property " + member.name);
    return h->getVariant(result.get());
}

void NPObjectAPI::pageSet(const PageMember& member, const variant& value) {
    auto h = host();
    NPResult converted(*h);
    h->getNPVariant(converted.get(), value);
    // A refusal is an error, not a no-op: a map handed to the page would
    // otherwise lack entries, and an event handler would go unstamped.
    if (!h->SetProperty(m_object, identifier(*h, member), converted.get()))
        throw script_error("Failed to set property");
}

void NPObjectAPI::pageRemove(const PageMember& member) {
    auto h = host();
    h->RemoveProperty(m_object, identifier(*h, member));
}

variant NPObjectAPI::pageCall(const std::string& name, const VariantList& args, bool construct) {
    auto h = host();
    NPVariantArgs npArgs(*h, args);
    NPResult result(*h);
    bool ok;
    if (construct)
        ok = h->Construct(m_object, npArgs.data(), npArgs.size(), result.get());
    else if (name.empty())
        ok = h->InvokeDefault(m_object, npArgs.data(), npArgs.size(), result.get());
    else
        ok = h->Invoke(m_object, h->GetStringIdentifier(name), npArgs.data(), npArgs.size(),
                       result.get());
    if (!ok)
        throw script_error("Error calling method on NPObject");
    return h->getVariant(result.get());
}

// The page's call function takes (0, handler, arguments[, event name]): the
// last three are converted once for every handler.
class NPObjectAPI::Handlers : public HandlerBatch {
public:
    Handlers(const NpapiBrowserHostPtr& host, const std::string& name, const VariantList& args)
        : m_host(host), m_args(args), m_prepared(*host) {
        m_helper = std::dynamic_pointer_cast<NPObjectAPI>(host->getJSCallFunction());
        if (!m_helper)
            throw script_error("Error calling handlers (delegate disappeared)");
        host->getNPVariant(&m_prepared.values[0], variant(0));
        host->getNPArray(&m_prepared.values[2], args);
        host->getNPVariant(&m_prepared.values[3], variant(name));
    }

    void call(const JSObjectPtr& handler, bool asInterface) override {
        if (!handler)
            return;
        if (JSAPIPtr own = handler->getJSAPI()) {
            own->Invoke(std::string(), m_args);
            return;
        }
        auto page = std::dynamic_pointer_cast<NPObjectAPI>(handler);
        if (!page)
            return;
        const NPVariant* prepared = m_prepared.values;
        NPVariant callArgs[4] = {prepared[0], prepared[1], prepared[2], prepared[3]};
        callArgs[1].type = NPVariantType_Object;
        callArgs[1].value.objectValue = page->getNPObject();
        NPResult result(*m_host);
        m_host->InvokeDefault(m_helper->getNPObject(), callArgs, asInterface ? 4 : 3, result.get());
    }

private:
    // Released however the batch ends, even when its making fails.
    struct Prepared {
        explicit Prepared(NpapiBrowserHost& host) : host(host) {
            for (auto& value : values)
                value.type = NPVariantType_Void;
        }
        ~Prepared() {
            for (auto& value : values)
                host.ReleaseVariantValue(&value);
        }
        Prepared(const Prepared&) = delete;
        Prepared& operator=(const Prepared&) = delete;
        NpapiBrowserHost& host;
        NPVariant values[4];
    };

    NpapiBrowserHostPtr m_host;
    const VariantList& m_args;
    Prepared m_prepared;
    NPObjectAPIPtr m_helper;
};

std::unique_ptr<PageObject::HandlerBatch> NPObjectAPI::prepareHandlers(const std::string& name,
                                                                       const VariantList& args) {
    return std::make_unique<Handlers>(host(), name, args);
}

} // namespace Npapi
} // namespace FW
