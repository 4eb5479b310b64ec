#pragma once
// One embedded object of an NPAPI browser: owns the plug-in core, hands the
// browser the scriptable object and turns the browser's instance calls into
// calls on the core.

#include <memory>
#include <stdexcept>
#include <string>

#include "PluginCore.h"
#include "npapi_abi.h"

namespace FW {
namespace Npapi {

class NpapiBrowserHost;
using NpapiBrowserHostPtr = std::shared_ptr<NpapiBrowserHost>;

// The factory could not make a plug-in for the instance.
class PluginCreateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class NpapiPlugin : public std::enable_shared_from_this<NpapiPlugin> {
public:
    NpapiPlugin(const NpapiBrowserHostPtr& host, const std::string& mimetype,
                const PluginCorePtr& core);
    virtual ~NpapiPlugin();
    NpapiPlugin(const NpapiPlugin&) = delete;
    NpapiPlugin& operator=(const NpapiPlugin&) = delete;

    virtual void shutdown();
    virtual void init(NPMIMEType pluginType, int16_t argc, char* argn[], char* argv[]);
    // True only on the call that made the core ready.
    virtual bool setReady();
    virtual NPError SetWindow(NPWindow* window);
    virtual NPError NewStream(NPMIMEType type, NPStream* stream, NPBool seekable, uint16_t* stype);
    virtual NPError DestroyStream(NPStream* stream, NPReason reason);
    virtual int32_t WriteReady(NPStream* stream);
    virtual int32_t Write(NPStream* stream, int32_t offset, int32_t len, void* buffer);
    virtual void StreamAsFile(NPStream* stream, const char* fname);
    virtual int16_t HandleEvent(void* event);
    virtual void URLNotify(const char* url, NPReason reason, void* notifyData);
    virtual NPError GetValue(NPPVariable variable, void* value);
    virtual NPError SetValue(NPNVariable variable, void* value);

    // The browser's object for the root scripting object, retained for the caller.
    NPObject* getScriptableObject();
    // Gives the browser back this plug-in's own reference to that object; must
    // run while the host can still reach the browser.
    void releaseScriptableObject();
    const PluginCorePtr& core() const { return m_core; }

protected:
    PluginCorePtr m_core;
    NPObject* m_obj = nullptr;
    NpapiBrowserHostPtr m_host;
    bool m_retainReturnedNPObject = true;
    bool m_isReady = false;
    std::string m_mimetype;
    std::string m_pluginName;
    std::string m_pluginDesc;
};

using NpapiPluginPtr = std::shared_ptr<NpapiPlugin>;

} // namespace Npapi
} // namespace FW
