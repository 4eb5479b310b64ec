#include "NPJavascriptObject.h"

#include <typeinfo>

#include "JSExceptions.h"
#include "JSObject.h"
#include "LastScriptError.h"
#include "NpapiBrowserHost.h"

namespace FW {
namespace Npapi {

namespace {

const char kAddEventListener[] = "addEventListener";
const char kRemoveEventListener[] = "removeEventListener";
const char kGetLastException[] = "getLastException";

bool isSpecialMember(const std::string& name) {
    return name == kAddEventListener || name == kRemoveEventListener || name == kGetLastException;
}

} // namespace

NPJavascriptObject::NPJavascriptObject(NPP) {
    _class = &NPJavascriptObjectClass;
    referenceCount = 0;
    // The cache and the special members hold weak references to this; the
    // browser's count, not this pointer, decides its lifetime.
    m_sharedRef = std::shared_ptr<NPJavascriptObject>(this, [](NPJavascriptObject*) {});
    m_addEventFunc = std::make_shared<NPO_addEventListener>(m_sharedRef, true);
    m_removeEventFunc = std::make_shared<NPO_addEventListener>(m_sharedRef, false);
    m_getLastExceptionFunc = std::make_shared<NPO_getLastException>(m_sharedRef);
}

NPJavascriptObject::~NPJavascriptObject() {
    if (m_autoRelease) {
        JSAPIPtr api = m_api.lock();
        NpapiBrowserHostPtr h = m_host.lock();
        if (api && h)
            h->releaseJSAPIPtr(api);
    }
    m_sharedRef.reset();
}

NPJavascriptObject* NPJavascriptObject::NewObject(const NpapiBrowserHostPtr& host,
                                                  const JSAPIWeakPtr& api, bool autoRelease) {
    if (!host)
        return nullptr;
    NPObject* object = host->CreateObject(&NPJavascriptObjectClass);
    if (!isNPJavaScriptObject(object))
        return nullptr;
    auto* wrapper = static_cast<NPJavascriptObject*>(object);
    wrapper->m_api = api;
    wrapper->m_host = host;
    wrapper->m_autoRelease = autoRelease;
    if (autoRelease) {
        if (JSAPIPtr alive = api.lock())
            host->retainJSAPIPtr(alive);
    }
    return wrapper;
}

bool NPJavascriptObject::isValid() const {
    return m_valid && !m_api.expired() && !m_host.expired();
}

template <class T>
std::shared_ptr<T> NPJavascriptObject::alive(const std::weak_ptr<T>& target) const {
    std::shared_ptr<T> strong = target.lock();
    if (!strong) {
        const_cast<NPJavascriptObject*>(this)->m_valid = false;
        throw std::bad_cast();
    }
    return strong;
}

JSAPIPtr NPJavascriptObject::api() const {
    return alive(m_api);
}

NpapiBrowserHostPtr NPJavascriptObject::host() const {
    return alive(m_host);
}

void NPJavascriptObject::setException(const std::string& message) const {
    if (NpapiBrowserHostPtr h = m_host.lock())
        h->SetException(const_cast<NPJavascriptObject*>(this), message);
    lastScriptError() = variant(message);
}

// ---- special members

NPJavascriptObject::NPO_addEventListener::NPO_addEventListener(
    std::weak_ptr<NPJavascriptObject> owner, bool add)
    : JSFunction(JSAPIWeakPtr(), add ? "attachEvent" : "detachEvent", 0),
      m_wrapper(std::move(owner)), m_add(add) {}

variant NPJavascriptObject::NPO_addEventListener::exec(const VariantList& args) {
    auto wrapper = m_wrapper.lock();
    if (!wrapper || !wrapper->isValid())
        throw invalid_arguments();
    const EventListener listener = eventListenerFrom(args);
    JSAPIPtr api = wrapper->api();
    if (m_add)
        api->registerEventMethod("on" + listener.name, listener.handler);
    else
        api->unregisterEventMethod("on" + listener.name, listener.handler);
    return variant();
}

NPJavascriptObject::NPO_getLastException::NPO_getLastException(std::weak_ptr<NPJavascriptObject>)
    : JSFunction(JSAPIWeakPtr(), kGetLastException, 0) {}

variant NPJavascriptObject::NPO_getLastException::exec(const VariantList&) {
    return lastScriptError();
}

// ---- class callbacks

struct NPJavascriptObjectCallbacks {
    static NPJavascriptObject* self(NPObject* object) {
        return static_cast<NPJavascriptObject*>(object);
    }

    // Runs work under the errors page script can see: a lost object or a
    // refused value answers false, a script error becomes the page's exception.
    template <class F>
    static bool guarded(NPJavascriptObject* object, F work) {
        try {
            work();
            return true;
        } catch (const std::bad_cast&) {
            return false;
        } catch (const script_error& e) {
            object->setException(e.what());
            return false;
        } catch (const std::exception& e) {
            // Anything else a member throws still ends the call as a failure.
            object->setException(e.what());
            return false;
        } catch (...) {
            object->setException("Unknown error");
            return false;
        }
    }

    static NPObject* allocate(NPP npp, NPClass*) {
        try {
            return new NPJavascriptObject(npp);
        } catch (...) {
            return nullptr;
        }
    }

    // One browser call on a live wrapper, given the wrapper, its host and its
    // scripting object: false when any of them is gone or the work fails.
    template <class F>
    static bool withLive(NPObject* object, F work) {
        auto* wrapper = self(object);
        if (!wrapper->isValid())
            return false;
        return guarded(wrapper, [&] { work(wrapper, wrapper->host(), wrapper->api()); });
    }

    static void deallocate(NPObject* object) { delete self(object); }

    static void invalidate(NPObject* object) {
        auto* wrapper = self(object);
        wrapper->m_valid = false;
        try {
            if (JSAPIPtr api = wrapper->m_api.lock())
                api->invalidate();
        } catch (...) {
            // Invalidation must not fail the browser's tear-down.
        }
    }

    static bool hasMethodByName(NPJavascriptObject* wrapper, const std::string& name) {
        if (name == "toString")
            return true;
        JSAPIPtr api = wrapper->api();
        return !api->HasMethodObject(name) && api->HasMethod(name);
    }

    static bool hasMethod(NPObject* object, NPIdentifier name) {
        auto* wrapper = self(object);
        if (!wrapper->isValid())
            return false;
        bool answer = false;
        guarded(wrapper, [&] {
            const std::string text = wrapper->host()->StringFromIdentifier(name);
            answer = hasMethodByName(wrapper, text);
            if (!answer && !isSpecialMember(text) && !wrapper->api()->HasMember(text))
                noteMissingMember(text);
        });
        return answer;
    }

    static bool hasProperty(NPObject* object, NPIdentifier name) {
        bool answer = false;
        withLive(object, [&](NPJavascriptObject* wrapper, const NpapiBrowserHostPtr& h,
                             const JSAPIPtr& api) {
            if (!h->IdentifierIsString(name)) {
                answer = api->HasProperty(static_cast<int>(h->IntFromIdentifier(name)));
                return;
            }
            const std::string text = h->StringFromIdentifier(name);
            if (isSpecialMember(text))
                answer = true;
            else if (text != "toString" && api->HasMethodObject(text))
                answer = true;
            else
                answer = !hasMethodByName(wrapper, text) && api->HasProperty(text);
        });
        return answer;
    }

    static bool getProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
        if (result == nullptr)
            return false;
        return withLive(object, [&](NPJavascriptObject* wrapper, const NpapiBrowserHostPtr& h,
                                    const JSAPIPtr& api) {
            variant value;
            if (!h->IdentifierIsString(name)) {
                value = api->GetProperty(static_cast<int>(h->IntFromIdentifier(name)));
            } else {
                const std::string text = h->StringFromIdentifier(name);
                if (text == kAddEventListener)
                    value = wrapper->m_addEventFunc;
                else if (text == kRemoveEventListener)
                    value = wrapper->m_removeEventFunc;
                else if (text == kGetLastException)
                    value = wrapper->m_getLastExceptionFunc;
                else if (api->HasMethodObject(text))
                    value = api->GetMethodObject(text);
                else
                    value = api->GetProperty(text);
            }
            h->getNPVariant(result, value);
        });
    }

    static bool setProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
        return withLive(
            object, [&](NPJavascriptObject*, const NpapiBrowserHostPtr& h, const JSAPIPtr& api) {
                variant converted = h->getVariant(value);
                if (!h->IdentifierIsString(name)) {
                    api->SetProperty(static_cast<int>(h->IntFromIdentifier(name)), converted);
                    return;
                }
                const std::string text = h->StringFromIdentifier(name);
                if (api->HasMethodObject(text))
                    throw script_error("This property cannot be changed");
                api->SetProperty(text, converted);
            });
    }

    static bool removeProperty(NPObject* object, NPIdentifier name) {
        return withLive(
            object, [&](NPJavascriptObject*, const NpapiBrowserHostPtr& h, const JSAPIPtr& api) {
                if (h->IdentifierIsString(name))
                    api->RemoveProperty(h->StringFromIdentifier(name));
                else
                    api->RemoveProperty(static_cast<int>(h->IntFromIdentifier(name)));
            });
    }

    // The wrapper's spare argument list for one call, when no other call has it.
    class ArgsLease {
    public:
        explicit ArgsLease(const NPJavascriptObject& wrapper) : m_spare(wrapper.m_spareArgs) {
            if (m_spare->busy.exchange(true))
                m_spare.reset();
        }
        ~ArgsLease() {
            if (!m_spare)
                return;
            m_spare->values.clear();
            m_spare->busy = false;
        }
        ArgsLease(const ArgsLease&) = delete;
        ArgsLease& operator=(const ArgsLease&) = delete;
        VariantList* list() const { return m_spare ? &m_spare->values : nullptr; }

    private:
        std::shared_ptr<NPJavascriptObject::SpareArgs> m_spare;
    };

    // Runs work with the browser's arguments as script values.
    template <class F>
    static void withArgs(NPJavascriptObject& wrapper, NpapiBrowserHost& h, const NPVariant* args,
                         uint32_t count, F work) {
        ArgsLease lease(wrapper);
        VariantList own;
        VariantList& list = lease.list() ? *lease.list() : own;
        if (args != nullptr) {
            list.reserve(count);
            for (uint32_t i = 0; i < count; ++i)
                list.push_back(h.getVariant(&args[i]));
        }
        work(static_cast<const VariantList&>(list));
    }

    // Both invoke callbacks: the member is `name`, else the identifier's text.
    static bool invokeNamed(NPObject* object, const std::string* name, NPIdentifier id,
                            const NPVariant* args, uint32_t count, NPVariant* result) {
        if (result == nullptr)
            return false;
        result->type = NPVariantType_Void;
        return withLive(object, [&](NPJavascriptObject* wrapper, const NpapiBrowserHostPtr& h,
                                    const JSAPIPtr& api) {
            const std::string member = name ? *name : h->StringFromIdentifier(id);
            withArgs(*wrapper, *h, args, count, [&](const VariantList& values) {
                h->getNPVariant(result, api->Invoke(member, values));
            });
        });
    }

    static bool invoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                       NPVariant* result) {
        return invokeNamed(object, nullptr, name, args, count, result);
    }

    static bool invokeDefault(NPObject* object, const NPVariant* args, uint32_t count,
                              NPVariant* result) {
        const std::string empty;
        return invokeNamed(object, &empty, nullptr, args, count, result);
    }

    static bool enumerate(NPObject* object, NPIdentifier** identifiers, uint32_t* count) {
        if (identifiers == nullptr || count == nullptr)
            return false;
        return withLive(
            object, [&](NPJavascriptObject*, const NpapiBrowserHostPtr& h, const JSAPIPtr& api) {
                std::vector<std::string> names;
                api->getMemberNames(names);
                names.emplace_back(kAddEventListener);
                names.emplace_back(kRemoveEventListener);
                names.emplace_back(kGetLastException);
                auto* array = static_cast<NPIdentifier*>(
                    h->MemAlloc(static_cast<uint32_t>(names.size() * sizeof(NPIdentifier))));
                if (array == nullptr)
                    throw script_error("Out of memory");
                for (size_t i = 0; i < names.size(); ++i)
                    array[i] = h->GetStringIdentifier(names[i]);
                *identifiers = array;
                *count = static_cast<uint32_t>(names.size());
            });
    }

    static bool construct(NPObject* object, const NPVariant* args, uint32_t count,
                          NPVariant* result) {
        if (result == nullptr)
            return false;
        return withLive(object, [&](NPJavascriptObject* wrapper, const NpapiBrowserHostPtr& h,
                                    const JSAPIPtr& api) {
            withArgs(*wrapper, *h, args, count, [&](const VariantList& values) {
                h->getNPVariant(result, api->Construct(values));
            });
        });
    }
};

NPClass NPJavascriptObject::NPJavascriptObjectClass = {
    NP_CLASS_STRUCT_VERSION,
    &NPJavascriptObjectCallbacks::allocate,
    &NPJavascriptObjectCallbacks::deallocate,
    &NPJavascriptObjectCallbacks::invalidate,
    &NPJavascriptObjectCallbacks::hasMethod,
    &NPJavascriptObjectCallbacks::invoke,
    &NPJavascriptObjectCallbacks::invokeDefault,
    &NPJavascriptObjectCallbacks::hasProperty,
    &NPJavascriptObjectCallbacks::getProperty,
    &NPJavascriptObjectCallbacks::setProperty,
    &NPJavascriptObjectCallbacks::removeProperty,
    &NPJavascriptObjectCallbacks::enumerate,
    &NPJavascriptObjectCallbacks::construct,
};

} // namespace Npapi
} // namespace FW
