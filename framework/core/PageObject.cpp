#include "PageObject.h"

#include "BrowserHost.h"
#include "JSExceptions.h"

namespace FW {

PageObject::PageObject(const BrowserHostPtr& host, Policy policy)
    : JSObject(host), m_policy(policy) {}

void PageObject::adoptOwnObject(const JSAPIWeakPtr& api) {
    m_isOwnObject = true;
    m_api = api;
}

JSAPIPtr PageObject::ownObject() const {
    JSAPIPtr api = m_api.lock();
    if (!api && m_policy.lossIsAnError)
        throw object_invalidated();
    return api;
}

template <class R, class Own, class Page>
R PageObject::memberOperation(R nothing, Own own, Page page) const {
    if (m_isOwnObject && m_policy.ownObjectsServedInPlace) {
        JSAPIPtr api = ownObject();
        return api ? own(*api) : nothing;
    }
    BrowserHostPtr h = m_host.lock();
    if (!h) {
        if (m_policy.lossIsAnError)
            throw script_error("Invalid object");
        return nothing;
    }
    return h->CallOnMainThread([&]() -> R {
        if (!m_isOwnObject)
            return page();
        JSAPIPtr api = ownObject();
        return api ? own(*api) : nothing;
    });
}

EventContext PageObject::getEventContext() const {
    BrowserHostPtr h = m_host.lock();
    return h ? h->getContextID() : nullptr;
}

bool PageObject::HasMethod(const std::string& name) const {
    return memberOperation(
        false, [&](JSAPI& own) { return own.HasMethod(name); },
        [&] { return pageHas(PageMember(name), true); });
}

variant PageObject::Invoke(const std::string& name, const VariantList& args) {
    return memberOperation(
        variant(false), [&](JSAPI& own) { return own.Invoke(name, args); },
        [&] { return pageCall(name, args, false); });
}

// The property operations by name and by index, each made once.
bool PageObject::hasMember(const PageMember& member) const {
    return memberOperation(
        false,
        [&](JSAPI& own) {
            return member.indexed ? own.HasProperty(member.index) : own.HasProperty(member.name);
        },
        [&] { return pageHas(member, false); });
}

variant PageObject::getMember(const PageMember& member) {
    return memberOperation(
        variant(false),
        [&](JSAPI& own) {
            return member.indexed ? own.GetProperty(member.index) : own.GetProperty(member.name);
        },
        [&] { return pageGet(member); });
}

void PageObject::setMember(const PageMember& member, const variant& value) {
    memberOperation(
        false,
        [&](JSAPI& own) {
            if (member.indexed)
                own.SetProperty(member.index, value);
            else
                own.SetProperty(member.name, value);
            return true;
        },
        [&] {
            pageSet(member, value);
            return true;
        });
}

void PageObject::removeMember(const PageMember& member) {
    memberOperation(
        false,
        [&](JSAPI& own) {
            if (member.indexed)
                own.RemoveProperty(member.index);
            else
                own.RemoveProperty(member.name);
            return true;
        },
        [&] {
            pageRemove(member);
            return true;
        });
}

variant PageObject::Construct(const VariantList& args) {
    return memberOperation(
        variant(false), [&](JSAPI& own) { return own.Construct(args); },
        [&] { return pageCall(std::string(), args, true); });
}

void PageObject::getMemberNames(std::vector<std::string>& names) const {
    std::vector<std::string> found = memberOperation(
        std::vector<std::string>(),
        [](JSAPI& own) {
            std::vector<std::string> list;
            own.getMemberNames(list);
            return list;
        },
        [&] { return pageMemberNames(); });
    names.insert(names.end(), found.begin(), found.end());
}

size_t PageObject::getMemberCount() const {
    std::vector<std::string> names;
    getMemberNames(names);
    return names.size();
}

// A page object takes no event handlers; one of ours passes them on.
void PageObject::registerEventMethod(const std::string& name, const JSObjectPtr& handler) {
    if (!m_isOwnObject)
        throw script_error("Not implemented");
    if (JSAPIPtr api = ownObject())
        api->registerEventMethod(name, handler);
}

void PageObject::unregisterEventMethod(const std::string& name, const JSObjectPtr& handler) {
    if (!m_isOwnObject)
        throw script_error("Not implemented");
    if (JSAPIPtr api = ownObject())
        api->unregisterEventMethod(name, handler);
}

void PageObject::registerEventInterface(const JSObjectPtr& object) {
    if (!m_isOwnObject)
        throw script_error("Not implemented");
    if (JSAPIPtr api = ownObject())
        api->registerEventInterface(object);
}

void PageObject::unregisterEventInterface(const JSObjectPtr& object) {
    if (!m_isOwnObject)
        throw script_error("Not implemented");
    if (JSAPIPtr api = ownObject())
        api->unregisterEventInterface(object);
}

void PageObject::callMultipleFunctions(const std::string& name, const VariantList& args,
                                       const std::vector<JSObjectPtr>& direct,
                                       const std::vector<JSObjectPtr>& ifaces) {
    BrowserHostPtr h = m_host.lock();
    if (!h || (m_policy.lossIsAnError && !isValid()))
        throw script_error("Error calling handlers");
    if (m_policy.handlerBatchesQueued && !h->isMainThread()) {
        auto self = std::static_pointer_cast<PageObject>(shared_from_this());
        h->ScheduleOnMainThread(self, [self, name, args, direct, ifaces] {
            self->callHandlers(name, args, direct, ifaces);
        });
        return;
    }
    h->CallOnMainThread([&] { callHandlers(name, args, direct, ifaces); });
}

void PageObject::callHandlers(const std::string& name, const VariantList& args,
                              const std::vector<JSObjectPtr>& direct,
                              const std::vector<JSObjectPtr>& ifaces) {
    std::unique_ptr<HandlerBatch> batch = prepareHandlers(name, args);
    for (const JSObjectPtr& handler : direct)
        batch->call(handler, false);
    for (const JSObjectPtr& handler : ifaces)
        batch->call(handler, true);
}

} // namespace FW
