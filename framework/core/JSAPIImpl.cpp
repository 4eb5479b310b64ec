#include "JSAPIImpl.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "JSObject.h"
#include "utf8_tools.h"

namespace FW {

namespace {

// A writable copy of a copied-on-write map, put in place of the shared one.
template <class Map>
Map& writable(std::shared_ptr<const Map>& shared) {
    auto copy = std::make_shared<Map>(*shared);
    Map& map = *copy;
    shared = std::move(copy);
    return map;
}

} // namespace

JSAPIImpl::JSAPIImpl(int zone)
    : m_eventMap(std::make_shared<const EventContextMap>()),
      m_evtIfaces(std::make_shared<const EventIfaceContextMap>()) {
    m_zoneStack.push_back(zone);
}

JSAPIImpl::~JSAPIImpl() = default;

void JSAPIImpl::pushZone(int zone) {
    m_zoneMutex.lock();
    m_zoneStack.push_back(zone);
    ++m_pushedZones;
}

void JSAPIImpl::popZone() {
    // Only the thread that holds pushed zones may pop one: any other thread
    // fails to take the lock; the holder (or anyone, when nothing is pushed)
    // gets it and finds out whether a push is left to undo.
    std::unique_lock<std::recursive_mutex> lock(m_zoneMutex, std::try_to_lock);
    if (!lock.owns_lock() || m_pushedZones == 0)
        return;
    --m_pushedZones;
    m_zoneStack.pop_back();
    m_zoneMutex.unlock();
}

void JSAPIImpl::setDefaultZone(int zone) {
    std::lock_guard<std::recursive_mutex> lock(m_zoneMutex);
    m_zoneStack.pop_front();
    m_zoneStack.push_front(zone);
}

int JSAPIImpl::getDefaultZone() const {
    std::lock_guard<std::recursive_mutex> lock(m_zoneMutex);
    return m_zoneStack.front();
}

int JSAPIImpl::getZone() const {
    std::lock_guard<std::recursive_mutex> lock(m_zoneMutex);
    return m_zoneStack.back();
}

void JSAPIImpl::registerEventMethod(const std::string& name, const JSObjectPtr& handler) {
    changeEventMethod(name, handler, true);
}

void JSAPIImpl::unregisterEventMethod(const std::string& name, const JSObjectPtr& handler) {
    changeEventMethod(name, handler, false);
}

void JSAPIImpl::changeEventMethod(const std::string& name, const JSObjectPtr& handler, bool add) {
    if (!handler)
        throw invalid_arguments();
    const EventContext context = handler->getEventContext();
    const EventId id = handler->getEventId();
    std::lock_guard<std::recursive_mutex> lock(m_eventMutex);
    std::optional<std::ptrdiff_t> position;
    auto contextIt = m_eventMap->find(context);
    if (contextIt != m_eventMap->end()) {
        auto range = contextIt->second.equal_range(name);
        for (auto it = range.first; it != range.second && !position; ++it) {
            if (it->second->getEventId() == id)
                position = std::distance(contextIt->second.begin(), it);
        }
    }
    if (add && !position) {
        writable(m_eventMap)[context].emplace(name, handler);
    } else if (!add && position) {
        HandlerMultimap& handlers = writable(m_eventMap)[context];
        handlers.erase(std::next(handlers.begin(), *position));
    }
}

void JSAPIImpl::registerEventInterface(const JSObjectPtr& object) {
    if (!object)
        throw invalid_arguments();
    std::lock_guard<std::recursive_mutex> lock(m_eventMutex);
    writable(m_evtIfaces)[object->getEventContext()][object.get()] = object;
}

void JSAPIImpl::unregisterEventInterface(const JSObjectPtr& object) {
    if (!object)
        throw invalid_arguments();
    std::lock_guard<std::recursive_mutex> lock(m_eventMutex);
    auto contextIt = m_evtIfaces->find(object->getEventContext());
    if (contextIt != m_evtIfaces->end() && contextIt->second.count(object.get()) != 0)
        writable(m_evtIfaces)[object->getEventContext()].erase(object.get());
}

void JSAPIImpl::invokeAsyncSwallowing(const JSObjectPtr& object, const std::string& method,
                                      const VariantList& args) {
    try {
        object->InvokeAsync(method, args);
    } catch (const std::exception&) {
        // A handler that cannot be reached any more must not stop the others.
    }
}

JSAPIImpl::EventTables JSAPIImpl::snapshotEventTables() const {
    std::lock_guard<std::recursive_mutex> lock(m_eventMutex);
    return {m_eventMap, m_evtIfaces};
}

void JSAPIImpl::fireAsyncEvent(const std::string& name, const VariantList& args) {
    const EventTables tables = snapshotEventTables();
    const EventContextMap& handlerMap = *tables.handlers;
    const EventIfaceContextMap& ifaceMap = *tables.interfaces;

    std::vector<EventContext> served;
    for (const auto& [context, handlers] : handlerMap) {
        auto range = handlers.equal_range(name);
        bool first = true;
        for (auto it = range.first; it != range.second; ++it) {
            const JSObjectPtr& handler = it->second;
            if (!handler->isValid())
                continue;
            if (first && handler->supportsOptimizedCalls()) {
                served.push_back(context);
                std::vector<JSObjectPtr> direct;
                for (auto h = range.first; h != range.second; ++h)
                    direct.push_back(h->second);
                std::vector<JSObjectPtr> ifaces;
                auto ifaceIt = ifaceMap.find(context);
                if (ifaceIt != ifaceMap.end()) {
                    for (const auto& entry : ifaceIt->second)
                        ifaces.push_back(entry.second);
                }
                try {
                    handler->callMultipleFunctions(name, args, direct, ifaces);
                } catch (const std::exception&) {
                    // Delivery errors never reach the firing code.
                }
                break;
            }
            first = false;
            invokeAsyncSwallowing(handler, std::string(), args);
        }
    }

    for (const auto& [context, objects] : ifaceMap) {
        if (std::find(served.begin(), served.end(), context) != served.end())
            continue;
        for (const auto& entry : objects) {
            const JSObjectPtr& object = entry.second;
            if (object->isValid() && object->supportsOptimizedCalls()) {
                std::vector<JSObjectPtr> ifaces;
                for (const auto& all : objects)
                    ifaces.push_back(all.second);
                try {
                    object->callMultipleFunctions(name, args, std::vector<JSObjectPtr>(), ifaces);
                } catch (const std::exception&) {
                    // Delivery errors never reach the firing code.
                }
                break;
            }
            invokeAsyncSwallowing(object, name, args);
        }
    }
}

namespace {

// Copies value with every reference to self, at any depth, replaced by proxy.
variant replaceSelf(const variant& value, const JSAPIPtr& self, const JSAPIPtr& proxy) {
    if (value.holds<JSAPIPtr>()) {
        if (self && value.get<JSAPIPtr>() == self)
            return variant(proxy);
        return value;
    }
    if (value.holds<VariantList>()) {
        VariantList out;
        const VariantList& in = value.get<VariantList>();
        out.reserve(in.size());
        for (const auto& item : in)
            out.push_back(replaceSelf(item, self, proxy));
        return variant(std::move(out));
    }
    if (value.holds<VariantMap>()) {
        VariantMap out;
        for (const auto& [key, item] : value.get<VariantMap>())
            out.emplace(key, replaceSelf(item, self, proxy));
        return variant(std::move(out));
    }
    return value;
}

VariantList replaceSelf(const VariantList& list, const JSAPIPtr& self, const JSAPIPtr& proxy) {
    VariantList out;
    out.reserve(list.size());
    for (const auto& item : list)
        out.push_back(replaceSelf(item, self, proxy));
    return out;
}

VariantMap replaceSelf(const VariantMap& map, const JSAPIPtr& self, const JSAPIPtr& proxy) {
    VariantMap out;
    for (const auto& [key, item] : map)
        out.emplace(key, replaceSelf(item, self, proxy));
    return out;
}

} // namespace

void JSAPIImpl::forwardToProxies(const std::string& name, const VariantMap* members,
                                 const VariantList& args) {
    std::lock_guard<std::recursive_mutex> lock(m_proxyMutex);
    if (m_proxies.empty())
        return;
    const JSAPIPtr self = weak_from_this().lock();
    for (auto it = m_proxies.begin(); it != m_proxies.end();) {
        JSAPIImplPtr proxy = it->lock();
        if (!proxy) {
            it = m_proxies.erase(it);
            continue;
        }
        const JSAPIPtr proxyApi = proxy;
        VariantList proxyArgs = replaceSelf(args, self, proxyApi);
        if (members)
            proxy->FireJSEvent(name, replaceSelf(*members, self, proxyApi), proxyArgs);
        else
            proxy->FireEvent(name, proxyArgs);
        ++it;
    }
}

void JSAPIImpl::FireEvent(const std::string& name, const VariantList& args) {
    if (!m_valid)
        return;
    forwardToProxies(name, nullptr, args);
    try {
        fireAsyncEvent(name, args);
    } catch (const script_error&) {
        // Errors in asynchronous delivery never reach the firing code.
    }
}

void JSAPIImpl::FireEvent(const std::wstring& name, const VariantList& args) {
    FireEvent(wstring_to_utf8(name), args);
}

void JSAPIImpl::FireJSEvent(const std::string& name, const VariantList& args) {
    FireJSEvent(name, VariantMap(), args);
}

void JSAPIImpl::FireJSEvent(const std::string& name, const VariantMap& members) {
    FireJSEvent(name, members, VariantList());
}

void JSAPIImpl::FireJSEvent(const std::string& name, const VariantMap& members,
                            const VariantList& args) {
    if (!m_valid)
        return;
    forwardToProxies(name, &members, args);

    VariantMap event;
    const JSAPIPtr self = weak_from_this().lock();
    event["type"] = name;
    event["target"] = self;
    event["currentTarget"] = self;
    event["eventPhase"] = 2;
    event["bubbles"] = false;
    event["cancelable"] = false;
    event["namespaceURI"] = name;
    for (const auto& entry : members)
        event.emplace(entry.first, entry.second);
    event["arguments"] = args;
    // Moved in: a braced list would copy the whole record once more.
    VariantList record;
    record.emplace_back(std::move(event));
    fireEventRecord(name, record);
}

void JSAPIImpl::fireEventRecord(const std::string& name, const VariantList& eventArgs) {
    const EventTables tables = snapshotEventTables();
    const EventContextMap& handlerMap = *tables.handlers;
    const EventIfaceContextMap& ifaceMap = *tables.interfaces;
    for (const auto& [context, handlers] : handlerMap) {
        auto range = handlers.equal_range(name);
        for (auto it = range.first; it != range.second; ++it)
            invokeAsyncSwallowing(it->second, std::string(), eventArgs);
    }
    for (const auto& [context, objects] : ifaceMap) {
        for (const auto& entry : objects)
            invokeAsyncSwallowing(entry.second, name, eventArgs);
    }
}

void JSAPIImpl::registerProxy(const JSAPIImplWeakPtr& proxy) {
    std::lock_guard<std::recursive_mutex> lock(m_proxyMutex);
    m_proxies.push_back(proxy);
}

void JSAPIImpl::unregisterProxy(const JSAPIImplPtr& proxy) {
    std::lock_guard<std::recursive_mutex> lock(m_proxyMutex);
    m_proxies.erase(std::remove_if(m_proxies.begin(), m_proxies.end(),
                                   [&proxy](const JSAPIImplWeakPtr& entry) {
                                       JSAPIImplPtr live = entry.lock();
                                       return !live || live == proxy;
                                   }),
                    m_proxies.end());
}

} // namespace FW
