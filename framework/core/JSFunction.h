#pragma once
// The method object that a method name yields when script reads it as a
// property: callable directly, or through "call" and "apply".

#include <string>

#include "JSAPIAuto.h"

namespace FW {

class JSFunction : public JSAPIAuto {
public:
    // The object runs in the given zone on its owner and is described as
    // the method name followed by "()".
    JSFunction(const JSAPIWeakPtr& owner, const std::string& methodName, int zone);
    ~JSFunction() override;

    FW_JSAPI_USING_WIDE_FORMS(JSAPIAuto);
    bool HasMethod(const std::string& name) const override;
    bool HasProperty(const std::string& name) const override;
    variant Invoke(const std::string& name, const VariantList& args) override;

    virtual variant exec(const VariantList& args);

    const std::string& getMethodName() const { return m_methodName; }

protected:
    // What "attachEvent" and "detachEvent" take: an event name and a handler,
    // and at most one argument more; anything else is a script error.
    struct EventListener {
        std::string name;
        JSObjectPtr handler;
    };
    static EventListener eventListenerFrom(const VariantList& args);

    JSAPIWeakPtr m_owner;
    std::string m_methodName;
    int m_zone;
};

} // namespace FW
