#pragma once
// An in-memory page object for tests: named and indexed properties, methods
// given as C++ callables, an optional call of the object itself, and a record
// of every call it received.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "JSObject.h"
#include "Mutex.h"

namespace FW {
namespace Testing {

class TestPageObject;
using TestPageObjectPtr = std::shared_ptr<TestPageObject>;

class TestPageObject : public JSObject {
public:
    using Method = std::function<variant(const VariantList&)>;

    struct Call {
        std::string method; // empty: the object was called as a function
        VariantList args;
    };
    struct BatchedCall {
        std::string event;
        VariantList args;
        std::vector<JSObjectPtr> direct;
        std::vector<JSObjectPtr> ifaces;
    };

    explicit TestPageObject(const BrowserHostPtr& host);

    // A page function: calling it runs body.
    static TestPageObjectPtr makeFunction(const BrowserHostPtr& host, Method body = Method());
    // A page array holding the values, with "length" and "push".
    static TestPageObjectPtr makeArray(const BrowserHostPtr& host, const VariantList& values);

    void setMethod(const std::string& name, Method method);
    void setCallable(Method body);
    void setProperty(const std::string& name, const variant& value);
    // The plug-in scripting object this page object stands for.
    void setWrappedAPI(const JSAPIPtr& api) { m_wrapped = api; }
    void setOptimizedCalls(bool on) { m_optimized = on; }
    void setValid(bool valid) { m_valid = valid; }
    // Gives several page objects the same event identity, as one page
    // function wrapped twice would have.
    void setEventId(EventId id) { m_eventId = id; }

    std::vector<Call> calls() const;
    std::vector<BatchedCall> batchedCalls() const;
    size_t callCount() const;
    void clearCalls();

    // JSObject
    EventId getEventId() const override { return m_eventId; }
    EventContext getEventContext() const override;
    bool supportsOptimizedCalls() const override { return m_optimized; }
    void callMultipleFunctions(const std::string& name, const VariantList& args,
                               const std::vector<JSObjectPtr>& direct,
                               const std::vector<JSObjectPtr>& ifaces) override;
    bool isValid() override { return m_valid; }
    JSAPIPtr getJSAPI() const override { return m_wrapped.lock(); }

    // JSAPI
    FW_JSAPI_USING_WIDE_FORMS(JSObject);
    void invalidate() override { m_valid = false; }
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
    mutable FW::Mutex m_mutex;
    std::map<std::string, variant> m_properties;
    std::map<std::string, Method> m_methods;
    Method m_callable;
    std::vector<Call> m_calls;
    std::vector<BatchedCall> m_batchedCalls;
    JSAPIWeakPtr m_wrapped;
    std::atomic<bool> m_optimized{false};
    std::atomic<bool> m_valid{true};
    EventId m_eventId;
};

} // namespace Testing
} // namespace FW
