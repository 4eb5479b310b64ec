#pragma once
// A scripting object whose members come from a registry: a concrete API class
// registers named methods, properties and attributes, and every scripting
// request is answered by looking them up.

#include <functional>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

#include "JSAPIImpl.h"

namespace FW {

class JSFunction;
using JSFunctionPtr = std::shared_ptr<JSFunction>;

using CallMethodFunctor = std::function<variant(const VariantList&)>;
using GetPropFunctor = std::function<variant()>;
using SetPropFunctor = std::function<void(const variant&)>;

struct PropertyFunctors {
    PropertyFunctors() = default;
    explicit PropertyFunctors(GetPropFunctor getter, SetPropFunctor setter = SetPropFunctor())
        : get(std::move(getter)), set(std::move(setter)) {}
    GetPropFunctor get;
    SetPropFunctor set; // may be empty: the property is read-only
};

class JSAPIAuto : public JSAPIImpl {
public:
    explicit JSAPIAuto(const std::string& description = "<JSAPI-Auto Javascript Object>");
    JSAPIAuto(int zone, const std::string& description);
    ~JSAPIAuto() override;

    FW_JSAPI_USING_WIDE_FORMS(JSAPIImpl);

    void getMemberNames(std::vector<std::string>& names) const override;
    size_t getMemberCount() const override;
    bool HasMethod(const std::string& name) const override;
    bool HasMethodObject(const std::string& name) const override;
    bool HasProperty(const std::string& name) const override;
    bool HasProperty(int index) const override;
    JSAPIPtr GetMethodObject(const std::string& name) override;
    variant GetProperty(const std::string& name) override;
    variant GetProperty(int index) override;
    void SetProperty(const std::string& name, const variant& value) override;
    void SetProperty(int index, const variant& value) override;
    void RemoveProperty(const std::string& name) override;
    void RemoveProperty(int index) override;
    variant Invoke(const std::string& name, const VariantList& args) override;
    variant Construct(const VariantList& args) override;

    void fireAsyncEvent(const std::string& name, const VariantList& args) override;

    virtual void registerAttribute(const std::string& name, const variant& value,
                                   bool readOnly = false);
    virtual void registerAttribute(const std::wstring& name, const variant& value,
                                   bool readOnly = false);
    virtual void setReserved(const std::string& name);
    virtual void setReserved(const std::wstring& name);
    virtual void unregisterMethod(const std::string& name);
    virtual void unregisterMethod(const std::wstring& name);
    virtual void registerMethod(const std::string& name, CallMethodFunctor method);
    virtual void registerMethod(const std::wstring& name, CallMethodFunctor method);
    virtual void registerProperty(const std::string& name, PropertyFunctors property);
    virtual void registerProperty(const std::wstring& name, PropertyFunctors property);
    virtual void unregisterProperty(const std::string& name);
    virtual void unregisterProperty(const std::wstring& name);

    virtual std::string ToString();
    virtual bool get_valid();
    virtual variant getAttribute(const std::string& name);
    virtual void setAttribute(const std::string& name, const variant& value);
    virtual void unregisterAttribute(const std::string& name);

    // Whether the name has a zone record at or below the current zone.
    bool memberAccessible(const std::string& name) const;
    bool HasMember(const std::string& name) const override {
        return m_valid && memberAccessible(name);
    }

protected:
    // Everything registered under one name, so that a request finds it with
    // one search. The zone record alone decides visibility.
    struct Member {
        bool hasZone = false;
        int zone = 0;
        bool isMethod = false;
        bool isProperty = false;
        bool isAttribute = false;
        bool readOnly = false; // of the attribute
        bool reserved = false;
        CallMethodFunctor method;
        PropertyFunctors property;
        variant attribute;
        // The method objects handed out for this name, by zone.
        std::vector<std::pair<int, JSFunctionPtr>> methodObjects;
    };
    // Hashed: every call, property access and event looks its name up here.
    using MemberMap = std::unordered_map<std::string, Member>;

    void fireEventRecord(const std::string& name, const VariantList& eventArgs) override;
    void registerDefaultMembers();
    // Calls handlers that script stored by assigning a function to the member
    // named like the event.
    void fireToEventAttribute(const std::string& name, const VariantList& args);
    int currentZoneLocked() const { return m_zoneStack.back(); }
    bool visibleLocked(const Member& member) const {
        return member.hasZone && currentZoneLocked() >= member.zone;
    }
    const Member* findLocked(const std::string& name) const;
    Member* findLocked(const std::string& name);
    // The entry of the name, made when absent; records the current zone.
    Member& registerLocked(const std::string& name);
    // Drops the zone record and forgets the entry once nothing uses it.
    void unregisteredLocked(MemberMap::iterator it);
    JSAPIPtr methodObjectLocked(Member& member, const std::string& name);
    void clearReserved();
    void throwIfInvalid() const;

    std::string m_description;
    MemberMap m_members;

    bool m_allowDynamicAttributes = true;
    bool m_allowRemoveProperties = false;
    bool m_allowMethodObjects = true;
};

} // namespace FW

#include "MethodConverter.h"
#include "PropertyConverter.h"
