#pragma once
// A page object seen by the scripting core, over any browser: the member
// operations are made on the browser's main thread, one of the plug-in's own
// objects coming back is served by its scripting object, and an event's
// handlers are called in one batch. A browser adapter supplies only the
// browser's calls on its own object handle.

#include <memory>
#include <string>
#include <vector>

#include "JSObject.h"

namespace FW {

// A member of a page object, by name or by index (whose name is its text).
struct PageMember {
    explicit PageMember(std::string memberName) : name(std::move(memberName)) {}
    explicit PageMember(int memberIndex)
        : name(std::to_string(memberIndex)), index(memberIndex), indexed(true) {}
    std::string name;
    int index = 0;
    bool indexed = false;
};

class PageObject : public JSObject {
public:
    bool isOwnObject() const { return m_isOwnObject; }

    // JSObject
    EventContext getEventContext() const override;
    bool supportsOptimizedCalls() const override { return true; }
    void callMultipleFunctions(const std::string& name, const VariantList& args,
                               const std::vector<JSObjectPtr>& direct,
                               const std::vector<JSObjectPtr>& ifaces) override;
    JSAPIPtr getJSAPI() const override { return m_api.lock(); }

    // JSAPI: named members first, then indexed ones, then the object itself.
    FW_JSAPI_USING_WIDE_FORMS(JSObject);
    void invalidate() override {}
    bool HasMethod(const std::string& name) const override;
    variant Invoke(const std::string& name, const VariantList& args) override;
    bool HasProperty(const std::string& name) const override { return hasMember(PageMember(name)); }
    variant GetProperty(const std::string& name) override { return getMember(PageMember(name)); }
    void SetProperty(const std::string& name, const variant& value) override {
        setMember(PageMember(name), value);
    }
    void RemoveProperty(const std::string& name) override { removeMember(PageMember(name)); }

    bool HasProperty(int index) const override { return hasMember(PageMember(index)); }
    variant GetProperty(int index) override { return getMember(PageMember(index)); }
    void SetProperty(int index, const variant& value) override {
        setMember(PageMember(index), value);
    }
    void RemoveProperty(int index) override { removeMember(PageMember(index)); }

    variant Construct(const VariantList& args) override;
    void getMemberNames(std::vector<std::string>& names) const override;
    size_t getMemberCount() const override;
    void registerEventMethod(const std::string& name, const JSObjectPtr& handler) override;
    void unregisterEventMethod(const std::string& name, const JSObjectPtr& handler) override;
    void registerEventInterface(const JSObjectPtr& object) override;
    void unregisterEventInterface(const JSObjectPtr& object) override;

protected:
    // How an adapter's browser wants its page objects handled.
    struct Policy {
        // The plug-in's own objects are served where the caller is (their
        // scripting objects lock for themselves), not on the main thread.
        bool ownObjectsServedInPlace;
        // A lost host or own object is an error; otherwise operations give
        // nothing (false, no value, no effect).
        bool lossIsAnError;
        // A batch of handler calls from another thread is queued, not awaited.
        bool handlerBatchesQueued;
    };

    // The handlers of one event, called with arguments converted once.
    class HandlerBatch {
    public:
        virtual ~HandlerBatch() = default;
        // An interface handler is called by the event's name, a direct one as
        // a function.
        virtual void call(const JSObjectPtr& handler, bool asInterface) = 0;
    };

    PageObject(const BrowserHostPtr& host, Policy policy);
    // The object is one of the plug-in's own: its operations go to api.
    void adoptOwnObject(const JSAPIWeakPtr& api);

    // The browser's calls, made on the main thread for a page object only.
    virtual std::vector<std::string> pageMemberNames() const = 0;
    virtual bool pageHas(const PageMember& member, bool asMethod) const = 0;
    virtual variant pageGet(const PageMember& member) = 0;
    virtual void pageSet(const PageMember& member, const variant& value) = 0;
    virtual void pageRemove(const PageMember& member) = 0;
    // An empty name calls the object itself; construct makes a new object.
    virtual variant pageCall(const std::string& name, const VariantList& args, bool construct) = 0;
    virtual std::unique_ptr<HandlerBatch> prepareHandlers(const std::string& name,
                                                          const VariantList& args) = 0;

private:
    template <class R, class Own, class Page>
    R memberOperation(R nothing, Own own, Page page) const;
    JSAPIPtr ownObject() const;
    bool hasMember(const PageMember& member) const;
    variant getMember(const PageMember& member);
    void setMember(const PageMember& member, const variant& value);
    void removeMember(const PageMember& member);
    void callHandlers(const std::string& name, const VariantList& args,
                      const std::vector<JSObjectPtr>& direct,
                      const std::vector<JSObjectPtr>& ifaces);

    Policy m_policy;
    bool m_isOwnObject = false;
    JSAPIWeakPtr m_api;
};

} // namespace FW
