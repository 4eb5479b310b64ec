#pragma once
// Every object that page script can call on the plug-in side. The browser
// adapters turn scripting requests into calls on this interface.

#include <memory>
#include <string>
#include <vector>

#include "APITypes.h"
#include "JSExceptions.h"
#include "variant.h"

namespace FW {

// Opaque identities that group and de-duplicate event handlers: the browser
// context a handler lives in and the handler's own identity.
using EventContext = const void*;
using EventId = const void*;

class JSAPI : public std::enable_shared_from_this<JSAPI> {
public:
    JSAPI() = default;
    JSAPI(const JSAPI&) = delete;
    JSAPI& operator=(const JSAPI&) = delete;
    virtual ~JSAPI() = default;

    virtual void invalidate() = 0;
    // Called by the browser host when it shuts down while holding this object.
    virtual void shutdown() {}

    virtual void pushZone(int /*zone*/) {}
    virtual void popZone() {}
    virtual void setDefaultZone(int /*zone*/) {}
    virtual int getDefaultZone() const { return 0; }
    virtual int getZone() const { return 0; }

    virtual void registerEventMethod(const std::string& name, const JSObjectPtr& handler);
    virtual void registerEventMethod(const std::wstring& name, const JSObjectPtr& handler);
    virtual void unregisterEventMethod(const std::string& name, const JSObjectPtr& handler);
    virtual void unregisterEventMethod(const std::wstring& name, const JSObjectPtr& handler);
    virtual void registerEventInterface(const JSObjectPtr& object);
    virtual void unregisterEventInterface(const JSObjectPtr& object);

    virtual void getMemberNames(std::vector<std::string>& names) const = 0;
    virtual void getMemberNames(std::vector<std::wstring>& names) const;
    virtual size_t getMemberCount() const = 0;

    virtual bool HasMethod(const std::string& name) const = 0;
    virtual bool HasMethod(const std::wstring& name) const;
    virtual bool HasMethodObject(const std::string& name) const;
    virtual bool HasMethodObject(const std::wstring& name) const;
    virtual bool HasProperty(const std::string& name) const = 0;
    virtual bool HasProperty(const std::wstring& name) const;
    virtual bool HasProperty(int index) const = 0;
    // Whether the name stands for something now: a method, a property, or a
    // value set on the object. HasProperty may also answer for a name that
    // could only take a value.
    virtual bool HasMember(const std::string& name) const {
        return HasMethod(name) || HasProperty(name);
    }

    virtual JSAPIPtr GetMethodObject(const std::string& name);
    virtual JSAPIPtr GetMethodObject(const std::wstring& name);

    virtual variant GetProperty(const std::string& name) = 0;
    virtual variant GetProperty(const std::wstring& name);
    virtual variant GetProperty(int index) = 0;

    virtual void SetProperty(const std::string& name, const variant& value) = 0;
    virtual void SetProperty(const std::wstring& name, const variant& value);
    virtual void SetProperty(int index, const variant& value) = 0;

    virtual void RemoveProperty(const std::string& name) = 0;
    virtual void RemoveProperty(const std::wstring& name);
    virtual void RemoveProperty(int index) = 0;

    virtual variant Invoke(const std::string& name, const VariantList& args) = 0;
    virtual variant Invoke(const std::wstring& name, const VariantList& args);
    virtual variant Construct(const VariantList& args) = 0;
};

// Derived classes override the narrow forms only; this brings the inherited wide
// forms back into scope beside them.
#define FW_JSAPI_USING_WIDE_FORMS(Base)                                                            \
    using Base::registerEventMethod;                                                               \
    using Base::unregisterEventMethod;                                                             \
    using Base::getMemberNames;                                                                    \
    using Base::HasMethod;                                                                         \
    using Base::HasMethodObject;                                                                   \
    using Base::HasProperty;                                                                       \
    using Base::GetMethodObject;                                                                   \
    using Base::GetProperty;                                                                       \
    using Base::SetProperty;                                                                       \
    using Base::RemoveProperty;                                                                    \
    using Base::Invoke

} // namespace FW
