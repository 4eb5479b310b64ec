#include "JSObject.h"

#include <stdexcept>
#include <string>

#include "BrowserHost.h"

namespace FW {

JSObject::JSObject(const BrowserHostPtr& host) : m_host(host) {}

JSObject::~JSObject() = default;

void JSObject::callMultipleFunctions(const std::string&, const VariantList&,
                                     const std::vector<JSObjectPtr>&,
                                     const std::vector<JSObjectPtr>&) {}

void JSObject::InvokeAsync(const std::string& method, const VariantList& args) {
    BrowserHostPtr host = m_host.lock();
    if (!host)
        throw std::runtime_error("Cannot invoke asynchronously");
    // The call's one copy of the arguments, moved from here to the page; the
    // scheduled call keeps this object alive.
    host->ScheduleOnMainThread(shared_from_this(), [this, copy = args, method]() mutable {
        callAsync(std::move(copy), method);
    });
}

void JSObject::callAsync(VariantList&& args, const std::string& method) {
    BrowserHostPtr host = m_host.lock();
    if (!host)
        return;
    host->delayedInvoke(0, std::static_pointer_cast<JSObject>(shared_from_this()), std::move(args),
                        method);
}

void JSObject::SetPropertyAsync(const std::string& name, const variant& value) {
    BrowserHostPtr host = m_host.lock();
    if (!host)
        throw std::runtime_error("Cannot invoke asynchronously");
    auto self = std::static_pointer_cast<JSObject>(shared_from_this());
    host->ScheduleOnMainThread(self, [self, name, value] { self->SetProperty(name, value); });
}

void JSObject::GetArrayValues(const JSObjectPtr& src, VariantList& dst) {
    if (!src)
        return;
    try {
        // A page may claim any length: nothing is reserved up front on its
        // word, and a length no real array passed to a plug-in has is refused
        // before it ties up the browser reading billions of holes.
        const long length = src->GetProperty("length").convert<long>();
        if (length > kMaxArrayLength)
            throw script_error("Array too long: " + std::to_string(length) + " elements");
        for (long i = 0; i < length; ++i)
            dst.push_back(src->GetProperty(static_cast<int>(i)));
    } catch (const script_error& e) {
        throw script_error(e.what());
    }
}

void JSObject::GetObjectValues(const JSObjectPtr& src, VariantMap& dst) {
    if (!src)
        return;
    std::vector<std::string> names;
    src->getMemberNames(names);
    for (const auto& name : names)
        dst[name] = src->GetProperty(name);
}

} // namespace FW
