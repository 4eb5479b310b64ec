#include "JSAPIAuto.h"

#include "JSFunction.h"
#include "JSObject.h"
#include "utf8_tools.h"

namespace FW {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

const char* const kReservedNames[] = {
    "offsetWidth", "offsetHeight", "width",      "height",          "attributes",
    "nodeType",    "namespaceURI", "localName",  "wrappedJSObject", "prototype",
    "style",       "id",           "constructor"};

[[noreturn]] void throwCouldNotConvert(const bad_variant_cast& e) {
    throw invalid_arguments("Could not convert from " + std::string(e.from) + " to " +
                            std::string(e.to));
}

} // namespace

JSAPIAuto::JSAPIAuto(const std::string& description) : JSAPIAuto(0, description) {}

JSAPIAuto::JSAPIAuto(int zone, const std::string& description)
    : JSAPIImpl(zone), m_description(description) {
    registerDefaultMembers();
}

JSAPIAuto::~JSAPIAuto() = default;

void JSAPIAuto::registerDefaultMembers() {
    {
        ScopedZone defaultZone(*this, 0);
        registerMethod("toString", make_method(this, &JSAPIAuto::ToString));
        registerMethod("getAttribute", make_method(this, &JSAPIAuto::getAttribute));
        registerMethod("setAttribute", make_method(this, &JSAPIAuto::setAttribute));
        registerProperty("value", make_property(this, &JSAPIAuto::ToString));
        registerProperty("valid", make_property(this, &JSAPIAuto::get_valid));
    }
    for (const char* name : kReservedNames)
        m_reservedMembers.emplace(name);
}

void JSAPIAuto::throwIfInvalid() const {
    if (!m_valid)
        throw object_invalidated();
}

bool JSAPIAuto::memberAccessibleLocked(const std::string& name) const {
    auto it = m_zoneMap.find(name);
    return it != m_zoneMap.end() && currentZoneLocked() >= it->second;
}

bool JSAPIAuto::memberAccessible(const std::string& name) const {
    Lock lock(m_zoneMutex);
    return memberAccessibleLocked(name);
}

void JSAPIAuto::getMemberNames(std::vector<std::string>& names) const {
    Lock lock(m_zoneMutex);
    const int zone = currentZoneLocked();
    for (const auto& [name, memberZone] : m_zoneMap) {
        if (zone >= memberZone)
            names.push_back(name);
    }
}

size_t JSAPIAuto::getMemberCount() const {
    Lock lock(m_zoneMutex);
    const int zone = currentZoneLocked();
    size_t count = 0;
    for (const auto& entry : m_zoneMap) {
        if (zone >= entry.second)
            ++count;
    }
    return count;
}

bool JSAPIAuto::HasMethod(const std::string& name) const {
    if (!m_valid)
        return false;
    Lock lock(m_zoneMutex);
    return m_methodFunctorMap.find(name) != m_methodFunctorMap.end() &&
           memberAccessibleLocked(name);
}

bool JSAPIAuto::HasMethodObject(const std::string& name) const {
    return m_allowMethodObjects && HasMethod(name);
}

bool JSAPIAuto::HasProperty(const std::string& name) const {
    if (!m_valid)
        return false;
    Lock lock(m_zoneMutex);
    const bool isMethod = m_methodFunctorMap.find(name) != m_methodFunctorMap.end();
    if (m_allowDynamicAttributes && !isMethod &&
        m_reservedMembers.find(name) == m_reservedMembers.end())
        return true;
    if (m_allowMethodObjects && isMethod && memberAccessibleLocked(name))
        return true;
    return m_propertyFunctorsMap.find(name) != m_propertyFunctorsMap.end() ||
           m_attributes.find(name) != m_attributes.end();
}

bool JSAPIAuto::HasProperty(int index) const {
    if (!m_valid)
        return false;
    if (m_allowDynamicAttributes)
        return true;
    Lock lock(m_zoneMutex);
    return m_attributes.find(std::to_string(index)) != m_attributes.end();
}

JSAPIPtr JSAPIAuto::GetMethodObject(const std::string& name) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    if (m_methodFunctorMap.find(name) == m_methodFunctorMap.end() || !memberAccessibleLocked(name))
        throw invalid_member(name);
    const int zone = currentZoneLocked();
    auto key = std::make_pair(name, zone);
    auto it = m_methodObjectMap.find(key);
    if (it != m_methodObjectMap.end())
        return it->second;
    auto function = std::make_shared<JSFunction>(weak_from_this(), name, zone);
    m_methodObjectMap.emplace(std::move(key), function);
    return function;
}

variant JSAPIAuto::GetProperty(const std::string& name) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const bool visible = memberAccessibleLocked(name);
    if (visible) {
        auto prop = m_propertyFunctorsMap.find(name);
        if (prop != m_propertyFunctorsMap.end())
            return prop->second.get();
        if (HasMethodObject(name))
            return variant(GetMethodObject(name));
        auto attr = m_attributes.find(name);
        if (attr != m_attributes.end())
            return attr->second.value;
    }
    if (m_allowDynamicAttributes)
        return variant();
    throw invalid_member(name);
}

variant JSAPIAuto::GetProperty(int index) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const std::string name = std::to_string(index);
    auto attr = m_attributes.find(name);
    if (attr != m_attributes.end() && memberAccessibleLocked(name))
        return attr->second.value;
    if (m_allowDynamicAttributes)
        return variant();
    throw invalid_member(name);
}

void JSAPIAuto::SetProperty(const std::string& name, const variant& value) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    auto prop = m_propertyFunctorsMap.find(name);
    if (prop != m_propertyFunctorsMap.end()) {
        if (!memberAccessibleLocked(name))
            throw invalid_member(name);
        if (!prop->second.set)
            throw script_error("call to empty boost::function");
        try {
            prop->second.set(value);
        } catch (const bad_variant_cast& e) {
            throwCouldNotConvert(e);
        }
        return;
    }
    auto attr = m_attributes.find(name);
    if (m_allowDynamicAttributes || (attr != m_attributes.end() && !attr->second.readOnly)) {
        registerAttribute(name, value, false);
        return;
    }
    throw invalid_member(name);
}

void JSAPIAuto::SetProperty(int index, const variant& value) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const std::string name = std::to_string(index);
    auto attr = m_attributes.find(name);
    if (!m_allowDynamicAttributes && (attr == m_attributes.end() || attr->second.readOnly))
        throw invalid_member(name);
    registerAttribute(name, value, false);
}

void JSAPIAuto::RemoveProperty(const std::string& name) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    if (!memberAccessibleLocked(name))
        throw invalid_member(name);
    if (m_allowRemoveProperties &&
        m_propertyFunctorsMap.find(name) != m_propertyFunctorsMap.end()) {
        unregisterProperty(name);
        return;
    }
    auto attr = m_attributes.find(name);
    if (m_allowDynamicAttributes && attr != m_attributes.end() && !attr->second.readOnly)
        unregisterAttribute(name);
}

void JSAPIAuto::RemoveProperty(int index) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const std::string name = std::to_string(index);
    auto attr = m_attributes.find(name);
    if (m_allowDynamicAttributes && attr != m_attributes.end() && !attr->second.readOnly) {
        unregisterAttribute(name);
        return;
    }
    throw invalid_member(name);
}

variant JSAPIAuto::Invoke(const std::string& name, const VariantList& args) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    auto method = m_methodFunctorMap.find(name);
    if (method == m_methodFunctorMap.end() || !memberAccessibleLocked(name))
        throw invalid_member(name);
    try {
        return method->second(args);
    } catch (const bad_variant_cast& e) {
        throwCouldNotConvert(e);
    }
}

variant JSAPIAuto::Construct(const VariantList&) {
    throw invalid_member("constructor");
}

void JSAPIAuto::fireToEventAttribute(const std::string& name, const VariantList& args) {
    try {
        JSObjectPtr handler;
        {
            Lock lock(m_zoneMutex);
            auto attr = m_attributes.find(name);
            if (attr == m_attributes.end() || !attr->second.value.holds<JSObjectPtr>())
                return;
            handler = attr->second.value.get<JSObjectPtr>();
        }
        if (handler)
            handler->InvokeAsync(std::string(), args);
    } catch (...) {
        // Errors in asynchronous delivery never reach the firing code.
    }
}

void JSAPIAuto::fireAsyncEvent(const std::string& name, const VariantList& args) {
    JSAPIImpl::fireAsyncEvent(name, args);
    fireToEventAttribute(name, args);
}

void JSAPIAuto::fireEventRecord(const std::string& name, const VariantList& eventArgs) {
    JSAPIImpl::fireEventRecord(name, eventArgs);
    fireToEventAttribute(name, eventArgs);
}

void JSAPIAuto::registerAttribute(const std::string& name, const variant& value, bool readOnly) {
    Lock lock(m_zoneMutex);
    m_attributes[name] = Attribute{value, readOnly};
    m_zoneMap[name] = currentZoneLocked();
}

void JSAPIAuto::registerAttribute(const std::wstring& name, const variant& value, bool readOnly) {
    registerAttribute(wstring_to_utf8(name), value, readOnly);
}

void JSAPIAuto::setReserved(const std::string& name) {
    Lock lock(m_zoneMutex);
    m_reservedMembers.insert(name);
}

void JSAPIAuto::setReserved(const std::wstring& name) {
    setReserved(wstring_to_utf8(name));
}

void JSAPIAuto::unregisterMethod(const std::string& name) {
    Lock lock(m_zoneMutex);
    auto it = m_methodFunctorMap.find(name);
    if (it == m_methodFunctorMap.end())
        return;
    m_methodFunctorMap.erase(it);
    m_zoneMap.erase(name);
}

void JSAPIAuto::unregisterMethod(const std::wstring& name) {
    unregisterMethod(wstring_to_utf8(name));
}

void JSAPIAuto::registerMethod(const std::string& name, CallMethodFunctor method) {
    Lock lock(m_zoneMutex);
    m_methodFunctorMap[name] = std::move(method);
    m_zoneMap[name] = currentZoneLocked();
}

void JSAPIAuto::registerMethod(const std::wstring& name, CallMethodFunctor method) {
    registerMethod(wstring_to_utf8(name), std::move(method));
}

void JSAPIAuto::registerProperty(const std::string& name, PropertyFunctors property) {
    Lock lock(m_zoneMutex);
    m_propertyFunctorsMap[name] = std::move(property);
    m_zoneMap[name] = currentZoneLocked();
}

void JSAPIAuto::registerProperty(const std::wstring& name, PropertyFunctors property) {
    registerProperty(wstring_to_utf8(name), std::move(property));
}

void JSAPIAuto::unregisterProperty(const std::string& name) {
    Lock lock(m_zoneMutex);
    auto it = m_propertyFunctorsMap.find(name);
    if (it == m_propertyFunctorsMap.end())
        return;
    m_propertyFunctorsMap.erase(it);
    m_zoneMap.erase(name);
}

void JSAPIAuto::unregisterProperty(const std::wstring& name) {
    unregisterProperty(wstring_to_utf8(name));
}

std::string JSAPIAuto::ToString() {
    return m_description;
}

bool JSAPIAuto::get_valid() {
    return true;
}

variant JSAPIAuto::getAttribute(const std::string& name) {
    Lock lock(m_zoneMutex);
    auto attr = m_attributes.find(name);
    return attr != m_attributes.end() ? attr->second.value : variant();
}

void JSAPIAuto::setAttribute(const std::string& name, const variant& value) {
    Lock lock(m_zoneMutex);
    auto attr = m_attributes.find(name);
    if (attr != m_attributes.end() && attr->second.readOnly)
        throw script_error("Cannot set read-only property " + name);
    registerAttribute(name, value, false);
}

void JSAPIAuto::unregisterAttribute(const std::string& name) {
    Lock lock(m_zoneMutex);
    auto attr = m_attributes.find(name);
    if (attr == m_attributes.end())
        return;
    if (attr->second.readOnly)
        throw script_error("Cannot remove read-only property " + name);
    m_attributes.erase(attr);
    m_zoneMap.erase(name);
}

} // namespace FW
