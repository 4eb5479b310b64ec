#pragma once
// Base of the module's single factory: makes plug-in instances and their
// windows, runs the module's start and stop steps and answers the adapters'
// questions about the module.

#include "APITypes.h"
#include "PluginCore.h"

#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include "WindowContext.h"

#include <windows.h>

struct IDispatchEx;
#endif

namespace FW {

namespace Npapi {
class NpapiBrowserHost;
class NpapiPlugin;
using NpapiBrowserHostPtr = std::shared_ptr<NpapiBrowserHost>;
using NpapiPluginPtr = std::shared_ptr<NpapiPlugin>;
} // namespace Npapi

#ifdef _WIN32
class PluginWindowWin;
class PluginWindowlessWin;
namespace ActiveX {
class ActiveXBrowserHost;
using ActiveXBrowserHostPtr = std::shared_ptr<ActiveXBrowserHost>;
} // namespace ActiveX
#endif

// Where the module's log statements should go; empty means nowhere.
using LogMethodList = std::vector<std::string>;

class FactoryBase : public std::enable_shared_from_this<FactoryBase> {
public:
    FactoryBase() = default;
    FactoryBase(const FactoryBase&) = delete;
    FactoryBase& operator=(const FactoryBase&) = delete;
    virtual ~FactoryBase() = default;

    virtual PluginCorePtr createPlugin(const std::string& mimetype) = 0;
    // Module start and stop; run once per process by the adapter.
    virtual void globalPluginInitialize() {}
    virtual void globalPluginDeinitialize() {}

    // The NPAPI adapter's object for one instance, made by the maker that the
    // adapter installs (the core does not know the adapter); null without one.
    virtual Npapi::NpapiPluginPtr createNpapiPlugin(const Npapi::NpapiBrowserHostPtr& host,
                                                    const std::string& mimetype);
    using NpapiPluginMaker = Npapi::NpapiPluginPtr (*)(FactoryBase& factory,
                                                       const Npapi::NpapiBrowserHostPtr& host,
                                                       const std::string& mimetype);
    static void setNpapiPluginMaker(NpapiPluginMaker maker);

    // What the browsers show of the plug-in; the base has nothing to say.
    virtual std::string getPluginName(const std::string& mimetype) const;
    virtual std::string getPluginDescription(const std::string& mimetype);
    virtual void getLoggingMethods(LogMethodList& /*methods*/) {}
    virtual int getLogLevel() { return 4; }

#ifdef _WIN32
    virtual std::shared_ptr<PluginWindowWin> createPluginWindowWin(const WindowContextWin& context);
    virtual std::shared_ptr<PluginWindowlessWin>
    createPluginWindowless(const WindowContextWindowless& context);
    // The ActiveX adapter's scripting wrapper (a new reference) for a scripting
    // object. The base answers null, and the ActiveX host then makes its own
    // FWComJavascriptObject; a factory that wants another wrapper returns it.
    // (fw_core does not link the ActiveX adapter, so the base cannot build it.)
    virtual IDispatchEx* createCOMJSObject(const ActiveX::ActiveXBrowserHostPtr& host,
                                           const JSAPIWeakPtr& api, bool autoRelease);
    // Applies (install) or removes the module's registry script 103. The base
    // answers E_NOTIMPL, and the library's registration entry points then apply
    // the control's script 103 themselves, under the same per-user redirection
    // as their first attempt; a factory with its own registration returns its
    // result instead.
    virtual HRESULT updateWindowsRegistry(bool install);
#endif
};

using FactoryBasePtr = std::shared_ptr<FactoryBase>;

} // namespace FW
