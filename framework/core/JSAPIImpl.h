#pragma once
// What every scripting object of the plug-in shares: validity, security zones,
// event handlers with their delivery, and proxies that re-fire events.

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "JSAPI.h"
#include "Mutex.h"

namespace FW {

class JSAPIImpl;
using JSAPIImplPtr = std::shared_ptr<JSAPIImpl>;
using JSAPIImplWeakPtr = std::weak_ptr<JSAPIImpl>;

class JSAPIImpl : public JSAPI {
public:
    explicit JSAPIImpl(int zone = 0);
    ~JSAPIImpl() override;

    void invalidate() override { m_valid = false; }
    bool isValid() const { return m_valid; }

    // pushZone takes the zone lock and keeps it until the matching popZone.
    void pushZone(int zone) override;
    void popZone() override;
    void setDefaultZone(int zone) override;
    int getDefaultZone() const override;
    int getZone() const override;

    FW_JSAPI_USING_WIDE_FORMS(JSAPI);
    void registerEventMethod(const std::string& name, const JSObjectPtr& handler) override;
    void unregisterEventMethod(const std::string& name, const JSObjectPtr& handler) override;
    void registerEventInterface(const JSObjectPtr& object) override;
    void unregisterEventInterface(const JSObjectPtr& object) override;

    virtual void fireAsyncEvent(const std::string& name, const VariantList& args);
    virtual void FireEvent(const std::string& name, const VariantList& args);
    virtual void FireEvent(const std::wstring& name, const VariantList& args);
    virtual void FireJSEvent(const std::string& name, const VariantList& args);
    virtual void FireJSEvent(const std::string& name, const VariantMap& members);
    virtual void FireJSEvent(const std::string& name, const VariantMap& members,
                             const VariantList& args);
    virtual void registerProxy(const JSAPIImplWeakPtr& proxy);
    virtual void unregisterProxy(const JSAPIImplPtr& proxy);

protected:
    // Each object is called asynchronously on the main thread by method name
    // (empty: as a function).
    static void invokeAsyncSwallowing(const JSObjectPtr& object, const std::string& method,
                                      const VariantList& args);

    // Calls every handler and event interface with the one event record.
    virtual void fireEventRecord(const std::string& name, const VariantList& eventArgs);

    // Events go to the live proxies with every reference to this object, at
    // any depth, replaced by the proxy.
    void forwardToProxies(const std::string& name, const VariantMap* members,
                          const VariantList& args);

    using HandlerMultimap = std::multimap<std::string, JSObjectPtr, std::less<>>;
    using EventContextMap = std::map<EventContext, HandlerMultimap>;
    // Interface objects are keyed by their own identity (their address).
    using EventIfaceMap = std::map<const void*, JSObjectPtr>;
    using EventIfaceContextMap = std::map<EventContext, EventIfaceMap>;

    std::atomic<bool> m_valid{true};
    std::deque<int> m_zoneStack;
    size_t m_pushedZones = 0; // guarded by m_zoneMutex
    mutable FW::RecursiveMutex m_zoneMutex;
    mutable FW::RecursiveMutex m_eventMutex;
    mutable FW::RecursiveMutex m_proxyMutex;
    // Copied on write, so that firing takes a snapshot under the lock without
    // copying the maps themselves.
    std::shared_ptr<const EventContextMap> m_eventMap;
    std::shared_ptr<const EventIfaceContextMap> m_evtIfaces;
    std::vector<JSAPIImplWeakPtr> m_proxies;

    // Both event tables as they are now, taken under the lock.
    struct EventTables {
        std::shared_ptr<const EventContextMap> handlers;
        std::shared_ptr<const EventIfaceContextMap> interfaces;
    };
    EventTables snapshotEventTables() const;

private:
    // A handler stands once per event id under a name in its context: adding
    // one already there, or removing one not there, changes nothing.
    void changeEventMethod(const std::string& name, const JSObjectPtr& handler, bool add);
};

// Holds the zone from construction to destruction.
class ScopedZone {
public:
    ScopedZone(JSAPI& api, int zone) : m_api(api) { m_api.pushZone(zone); }
    ~ScopedZone() { m_api.popZone(); }
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

private:
    JSAPI& m_api;
};

} // namespace FW
