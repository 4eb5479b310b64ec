#pragma once
// The NPObject the browser sees for one of the plug-in's scripting objects.
// Its class callbacks forward to the scripting object; every such object also
// answers "addEventListener", "removeEventListener" and "getLastException".

#include <atomic>
#include <memory>
#include <string>

#include "JSAPI.h"
#include "JSFunction.h"
#include "npapi_abi.h"
#include "variant.h"

namespace FW {
namespace Npapi {

class NpapiBrowserHost;
using NpapiBrowserHostPtr = std::shared_ptr<NpapiBrowserHost>;
using NpapiBrowserHostWeakPtr = std::weak_ptr<NpapiBrowserHost>;

class NPJavascriptObject : public NPObject {
public:
    static NPClass NPJavascriptObjectClass;

    // Asks the browser for a new wrapper (reference count 1), or null.
    static NPJavascriptObject* NewObject(const NpapiBrowserHostPtr& host, const JSAPIWeakPtr& api,
                                         bool autoRelease);
    static bool isNPJavaScriptObject(const NPObject* object) {
        return object != nullptr && object->_class == &NPJavascriptObjectClass;
    }

    explicit NPJavascriptObject(NPP npp);
    virtual ~NPJavascriptObject();
    NPJavascriptObject(const NPJavascriptObject&) = delete;
    NPJavascriptObject& operator=(const NPJavascriptObject&) = delete;

    bool isValid() const;
    JSAPIWeakPtr getAPI() const { return m_api; }
    std::weak_ptr<NPJavascriptObject> getWeakReference() const { return m_sharedRef; }

    // The special members; they refer back to their wrapper weakly, since
    // script may keep them longer than the wrapper lives.
    class NPO_addEventListener : public JSFunction {
    public:
        NPO_addEventListener(std::weak_ptr<NPJavascriptObject> owner, bool add);
        variant exec(const VariantList& args) override;

    private:
        std::weak_ptr<NPJavascriptObject> m_wrapper;
        bool m_add;
    };
    class NPO_getLastException : public JSFunction {
    public:
        explicit NPO_getLastException(std::weak_ptr<NPJavascriptObject> owner);
        variant exec(const VariantList& args) override;
    };

private:
    friend struct NPJavascriptObjectCallbacks;

    // The object behind a weak reference; a gone one marks this wrapper invalid
    // and fails the call.
    template <class T>
    std::shared_ptr<T> alive(const std::weak_ptr<T>& target) const;
    JSAPIPtr api() const;
    NpapiBrowserHostPtr host() const;
    void setException(const std::string& message) const;

    JSAPIWeakPtr m_api;
    NpapiBrowserHostWeakPtr m_host;
    bool m_valid = true;
    bool m_autoRelease = false;
    std::shared_ptr<NPJavascriptObject> m_sharedRef;
    JSAPIPtr m_addEventFunc;
    JSAPIPtr m_removeEventFunc;
    JSAPIPtr m_getLastExceptionFunc;
    // The arguments of the last finished call, kept with their capacity so that
    // a call allocates no list; a nested or concurrent call makes its own. A call
    // shares the list, as the browser may let go of this wrapper while it runs.
    struct SpareArgs {
        VariantList values;
        std::atomic<bool> busy{false};
    };
    std::shared_ptr<SpareArgs> m_spareArgs = std::make_shared<SpareArgs>();
};

} // namespace Npapi
} // namespace FW
