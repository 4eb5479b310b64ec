#include "JSFunction.h"

#include "JSExceptions.h"
#include "JSObject.h"
#include "MethodConverter.h"
#include "ScriptTypeWords.h"

namespace FW {

JSFunction::JSFunction(const JSAPIWeakPtr& owner, const std::string& methodName, int zone)
    : JSAPIAuto(zone, methodName + "()"), m_owner(owner), m_methodName(methodName), m_zone(zone) {
    m_allowMethodObjects = false;
    clearReserved();
}

JSFunction::~JSFunction() = default;

bool JSFunction::HasMethod(const std::string& name) const {
    if (name.empty() || name == "call" || name == "apply")
        return true;
    return JSAPIAuto::HasMethod(name);
}

bool JSFunction::HasProperty(const std::string& name) const {
    if (name == "call" || name == "apply")
        return false;
    return JSAPIAuto::HasProperty(name);
}

variant JSFunction::Invoke(const std::string& name, const VariantList& args) {
    if (name.empty())
        return exec(args);
    if (name == "call") {
        // The first argument is the script's this.
        if (args.empty())
            return exec(VariantList());
        return exec(VariantList(args.begin() + 1, args.end()));
    }
    if (name == "apply") {
        if (args.size() < 2)
            return exec(VariantList());
        VariantList applied;
        try {
            applied = args[1].convert<VariantList>();
        } catch (const bad_variant_cast& e) {
            method_detail::throwConversion(e, 2); // the list is the second argument
        }
        return exec(applied);
    }
    return JSAPIAuto::Invoke(name, args);
}

variant JSFunction::exec(const VariantList& args) {
    JSAPIPtr owner = m_owner.lock();
    if (!owner)
        throw script_error("Invalid JSAPI object");
    ScopedZone zone(*owner, m_zone);
    return owner->Invoke(m_methodName, args);
}

JSFunction::EventListener JSFunction::eventListenerFrom(const VariantList& args) {
    if (args.size() < 2 || args.size() > 3)
        throw invalid_arguments();
    EventListener listener;
    try {
        listener.name = args[0].convert<std::string>();
        listener.handler = args[1].convert<JSObjectPtr>();
    } catch (const bad_variant_cast& e) {
        throwCouldNotConvert(e);
    }
    return listener;
}

} // namespace FW
