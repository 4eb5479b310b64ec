#include "JSAPIAuto.h"

#include <algorithm>
#include <iterator>

#include "JSFunction.h"
#include "JSObject.h"
#include "ScriptTypeWords.h"
#include "utf8_tools.h"

namespace FW {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

const char* const kReservedNames[] = {
    "offsetWidth", "offsetHeight", "width",      "height",          "attributes",
    "nodeType",    "namespaceURI", "localName",  "wrappedJSObject", "prototype",
    "style",       "id",           "constructor"};

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
        m_members[name].reserved = true;
}

void JSAPIAuto::clearReserved() {
    Lock lock(m_zoneMutex);
    for (auto it = m_members.begin(); it != m_members.end();) {
        auto next = std::next(it);
        if (it->second.reserved) {
            it->second.reserved = false;
            if (!it->second.hasZone)
                unregisteredLocked(it);
        }
        it = next;
    }
}

void JSAPIAuto::throwIfInvalid() const {
    if (!m_valid)
        throw object_invalidated();
}

const JSAPIAuto::Member* JSAPIAuto::findLocked(const std::string& name) const {
    auto it = m_members.find(name);
    return it != m_members.end() ? &it->second : nullptr;
}

JSAPIAuto::Member* JSAPIAuto::findLocked(const std::string& name) {
    auto it = m_members.find(name);
    return it != m_members.end() ? &it->second : nullptr;
}

JSAPIAuto::Member& JSAPIAuto::registerLocked(const std::string& name) {
    Member& member = m_members[name];
    member.hasZone = true;
    member.zone = currentZoneLocked();
    return member;
}

void JSAPIAuto::unregisteredLocked(MemberMap::iterator it) {
    Member& member = it->second;
    member.hasZone = false;
    // Method objects stay cached: the same one is handed out if the method returns.
    if (!member.isMethod && !member.isProperty && !member.isAttribute && !member.reserved &&
        member.methodObjects.empty())
        m_members.erase(it);
}

bool JSAPIAuto::memberAccessible(const std::string& name) const {
    Lock lock(m_zoneMutex);
    const Member* member = findLocked(name);
    return member && visibleLocked(*member);
}

void JSAPIAuto::getMemberNames(std::vector<std::string>& names) const {
    std::vector<std::string> visible;
    {
        Lock lock(m_zoneMutex);
        for (const auto& [name, member] : m_members) {
            if (visibleLocked(member))
                visible.push_back(name);
        }
    }
    // In name order, whatever the table's.
    std::sort(visible.begin(), visible.end());
    names.insert(names.end(), std::make_move_iterator(visible.begin()),
                 std::make_move_iterator(visible.end()));
}

size_t JSAPIAuto::getMemberCount() const {
    Lock lock(m_zoneMutex);
    size_t count = 0;
    for (const auto& entry : m_members) {
        if (visibleLocked(entry.second))
            ++count;
    }
    return count;
}

bool JSAPIAuto::HasMethod(const std::string& name) const {
    if (!m_valid)
        return false;
    Lock lock(m_zoneMutex);
    const Member* member = findLocked(name);
    return member && member->isMethod && visibleLocked(*member);
}

bool JSAPIAuto::HasMethodObject(const std::string& name) const {
    return m_allowMethodObjects && HasMethod(name);
}

bool JSAPIAuto::HasProperty(const std::string& name) const {
    if (!m_valid)
        return false;
    Lock lock(m_zoneMutex);
    const Member* member = findLocked(name);
    if (!member)
        return m_allowDynamicAttributes;
    if (m_allowDynamicAttributes && !member->isMethod && !member->reserved)
        return true;
    if (m_allowMethodObjects && member->isMethod && visibleLocked(*member))
        return true;
    return member->isProperty || member->isAttribute;
}

bool JSAPIAuto::HasProperty(int index) const {
    if (!m_valid)
        return false;
    if (m_allowDynamicAttributes)
        return true;
    Lock lock(m_zoneMutex);
    const Member* member = findLocked(std::to_string(index));
    return member && member->isAttribute;
}

JSAPIPtr JSAPIAuto::methodObjectLocked(Member& member, const std::string& name) {
    const int zone = currentZoneLocked();
    for (const auto& [objectZone, function] : member.methodObjects) {
        if (objectZone == zone)
            return function;
    }
    auto function = std::make_shared<JSFunction>(weak_from_this(), name, zone);
    member.methodObjects.emplace_back(zone, function);
    return function;
}

JSAPIPtr JSAPIAuto::GetMethodObject(const std::string& name) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    Member* member = findLocked(name);
    if (!member || !member->isMethod || !visibleLocked(*member))
        throw invalid_member(name);
    return methodObjectLocked(*member, name);
}

variant JSAPIAuto::GetProperty(const std::string& name) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    Member* member = findLocked(name);
    if (member && visibleLocked(*member)) {
        if (member->isProperty)
            return member->property.get();
        if (member->isMethod && m_allowMethodObjects)
            return variant(methodObjectLocked(*member, name));
        if (member->isAttribute)
            return member->attribute;
    }
    if (m_allowDynamicAttributes)
        return variant();
    throw invalid_member(name);
}

variant JSAPIAuto::GetProperty(int index) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const std::string name = std::to_string(index);
    const Member* member = findLocked(name);
    if (member && member->isAttribute && visibleLocked(*member))
        return member->attribute;
    if (m_allowDynamicAttributes)
        return variant();
    throw invalid_member(name);
}

void JSAPIAuto::SetProperty(const std::string& name, const variant& value) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const Member* member = findLocked(name);
    if (member && member->isProperty) {
        if (!visibleLocked(*member))
            throw invalid_member(name);
        if (!member->property.set)
            throw script_error("call to empty boost::function");
        try {
            member->property.set(value);
        } catch (const bad_variant_cast& e) {
            throwCouldNotConvert(e);
        }
        return;
    }
    if (m_allowDynamicAttributes || (member && member->isAttribute && !member->readOnly)) {
        registerAttribute(name, value, false);
        return;
    }
    throw invalid_member(name);
}

void JSAPIAuto::SetProperty(int index, const variant& value) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const std::string name = std::to_string(index);
    const Member* member = findLocked(name);
    if (!m_allowDynamicAttributes && (!member || !member->isAttribute || member->readOnly))
        throw invalid_member(name);
    registerAttribute(name, value, false);
}

void JSAPIAuto::RemoveProperty(const std::string& name) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const Member* member = findLocked(name);
    if (!member || !visibleLocked(*member))
        throw invalid_member(name);
    if (m_allowRemoveProperties && member->isProperty) {
        unregisterProperty(name);
        return;
    }
    if (m_allowDynamicAttributes && member->isAttribute && !member->readOnly)
        unregisterAttribute(name);
}

void JSAPIAuto::RemoveProperty(int index) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const std::string name = std::to_string(index);
    const Member* member = findLocked(name);
    if (m_allowDynamicAttributes && member && member->isAttribute && !member->readOnly) {
        unregisterAttribute(name);
        return;
    }
    throw invalid_member(name);
}

variant JSAPIAuto::Invoke(const std::string& name, const VariantList& args) {
    Lock lock(m_zoneMutex);
    throwIfInvalid();
    const Member* member = findLocked(name);
    if (!member || !member->isMethod || !visibleLocked(*member))
        throw invalid_member(name);
    try {
        return member->method(args);
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
            const Member* member = findLocked(name);
            if (!member || !member->isAttribute || !member->attribute.holds<JSObjectPtr>())
                return;
            handler = member->attribute.get<JSObjectPtr>();
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
    Member& member = registerLocked(name);
    member.isAttribute = true;
    member.attribute = value;
    member.readOnly = readOnly;
}

void JSAPIAuto::registerAttribute(const std::wstring& name, const variant& value, bool readOnly) {
    registerAttribute(wstring_to_utf8(name), value, readOnly);
}

void JSAPIAuto::setReserved(const std::string& name) {
    Lock lock(m_zoneMutex);
    m_members[name].reserved = true;
}

void JSAPIAuto::setReserved(const std::wstring& name) {
    setReserved(wstring_to_utf8(name));
}

void JSAPIAuto::unregisterMethod(const std::string& name) {
    Lock lock(m_zoneMutex);
    auto it = m_members.find(name);
    if (it == m_members.end() || !it->second.isMethod)
        return;
    it->second.isMethod = false;
    it->second.method = CallMethodFunctor();
    unregisteredLocked(it);
}

void JSAPIAuto::unregisterMethod(const std::wstring& name) {
    unregisterMethod(wstring_to_utf8(name));
}

void JSAPIAuto::registerMethod(const std::string& name, CallMethodFunctor method) {
    Lock lock(m_zoneMutex);
    Member& member = registerLocked(name);
    member.isMethod = true;
    member.method = std::move(method);
}

void JSAPIAuto::registerMethod(const std::wstring& name, CallMethodFunctor method) {
    registerMethod(wstring_to_utf8(name), std::move(method));
}

void JSAPIAuto::registerProperty(const std::string& name, PropertyFunctors property) {
    Lock lock(m_zoneMutex);
    Member& member = registerLocked(name);
    member.isProperty = true;
    member.property = std::move(property);
}

void JSAPIAuto::registerProperty(const std::wstring& name, PropertyFunctors property) {
    registerProperty(wstring_to_utf8(name), std::move(property));
}

void JSAPIAuto::unregisterProperty(const std::string& name) {
    Lock lock(m_zoneMutex);
    auto it = m_members.find(name);
    if (it == m_members.end() || !it->second.isProperty)
        return;
    it->second.isProperty = false;
    it->second.property = PropertyFunctors();
    unregisteredLocked(it);
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
    const Member* member = findLocked(name);
    return member && member->isAttribute ? member->attribute : variant();
}

void JSAPIAuto::setAttribute(const std::string& name, const variant& value) {
    Lock lock(m_zoneMutex);
    const Member* member = findLocked(name);
    if (member && member->isAttribute && member->readOnly)
        throw script_error("Cannot set read-only property " + name);
    registerAttribute(name, value, false);
}

void JSAPIAuto::unregisterAttribute(const std::string& name) {
    Lock lock(m_zoneMutex);
    auto it = m_members.find(name);
    if (it == m_members.end() || !it->second.isAttribute)
        return;
    if (it->second.readOnly)
        throw script_error("Cannot remove read-only property " + name);
    it->second.isAttribute = false;
    it->second.readOnly = false;
    it->second.attribute = variant();
    unregisteredLocked(it);
}

} // namespace FW
