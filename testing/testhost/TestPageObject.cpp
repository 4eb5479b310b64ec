#include "TestPageObject.h"

#include "BrowserHost.h"

namespace FW {
namespace Testing {

TestPageObject::TestPageObject(const BrowserHostPtr& host) : JSObject(host), m_eventId(this) {}

TestPageObjectPtr TestPageObject::makeFunction(const BrowserHostPtr& host, Method body) {
    auto function = std::make_shared<TestPageObject>(host);
    function->setCallable(body ? std::move(body) : [](const VariantList&) { return variant(); });
    return function;
}

TestPageObjectPtr TestPageObject::makeArray(const BrowserHostPtr& host, const VariantList& values) {
    auto array = std::make_shared<TestPageObject>(host);
    TestPageObject* raw = array.get();
    array->setProperty("length", static_cast<int>(values.size()));
    for (size_t i = 0; i < values.size(); ++i)
        array->setProperty(std::to_string(i), values[i]);
    array->setMethod("push", [raw](const VariantList& args) {
        int length = raw->GetProperty("length").convert<int>();
        for (const auto& value : args)
            raw->setProperty(std::to_string(length++), value);
        raw->setProperty("length", length);
        return variant(length);
    });
    return array;
}

void TestPageObject::setMethod(const std::string& name, Method method) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_methods[name] = std::move(method);
}

void TestPageObject::setCallable(Method body) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_callable = std::move(body);
}

void TestPageObject::setProperty(const std::string& name, const variant& value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_properties[name] = value;
}

std::vector<TestPageObject::Call> TestPageObject::calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<TestPageObject::BatchedCall> TestPageObject::batchedCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_batchedCalls;
}

size_t TestPageObject::callCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls.size();
}

void TestPageObject::clearCalls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
    m_batchedCalls.clear();
}

EventContext TestPageObject::getEventContext() const {
    BrowserHostPtr host = getHost();
    return host ? host->getContextID() : nullptr;
}

void TestPageObject::callMultipleFunctions(const std::string& name, const VariantList& args,
                                           const std::vector<JSObjectPtr>& direct,
                                           const std::vector<JSObjectPtr>& ifaces) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_batchedCalls.push_back(BatchedCall{name, args, direct, ifaces});
}

void TestPageObject::getMemberNames(std::vector<std::string>& names) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& entry : m_properties)
        names.push_back(entry.first);
}

size_t TestPageObject::getMemberCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_properties.size();
}

bool TestPageObject::HasMethod(const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_methods.count(name) != 0;
}

bool TestPageObject::HasProperty(const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_properties.count(name) != 0;
}

bool TestPageObject::HasProperty(int index) const {
    return HasProperty(std::to_string(index));
}

variant TestPageObject::GetProperty(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_properties.find(name);
    return it != m_properties.end() ? it->second : variant();
}

variant TestPageObject::GetProperty(int index) {
    return GetProperty(std::to_string(index));
}

void TestPageObject::SetProperty(const std::string& name, const variant& value) {
    setProperty(name, value);
}

void TestPageObject::SetProperty(int index, const variant& value) {
    setProperty(std::to_string(index), value);
}

void TestPageObject::RemoveProperty(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_properties.erase(name);
}

void TestPageObject::RemoveProperty(int index) {
    RemoveProperty(std::to_string(index));
}

variant TestPageObject::Invoke(const std::string& name, const VariantList& args) {
    Method method;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(Call{name, args});
        if (name.empty()) {
            method = m_callable;
        } else {
            auto it = m_methods.find(name);
            if (it != m_methods.end())
                method = it->second;
        }
    }
    if (!method)
        throw script_error("Method invoke failed");
    return method(args);
}

variant TestPageObject::Construct(const VariantList&) {
    throw script_error("Method invoke failed");
}

} // namespace Testing
} // namespace FW
