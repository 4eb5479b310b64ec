#pragma once
// The browser-independent half of one plug-in instance: its browser host, the
// embedding element's parameters, the window it is attached to and the root
// scripting object that page script sees. The concrete plug-in derives from it,
// makes the root object (createJSAPI) and handles the window's events.
//
// Cores are owned by shared references: attaching to a window hands the window
// a weak reference to the core.

#include "APITypes.h"
#include "BrowserHost.h"
#include "PluginEventSink.h"
#include "variant.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace FW {

class PluginWindow;

class PluginCore : public PluginEventSink {
public:
    PluginCore();
    ~PluginCore() override;
    PluginCore(const PluginCore&) = delete;
    PluginCore& operator=(const PluginCore&) = delete;

    virtual void SetHost(const BrowserHostPtr& host) { m_host = host; }
    virtual PluginWindow* GetWindow() const { return m_window; }
    // Set by the ActiveX adapter for a control that is only scripted, never shown.
    virtual void setScriptingOnly(bool scriptingOnly) { m_scriptingOnly = scriptingOnly; }
    virtual bool isScriptingOnly() const { return m_scriptingOnly; }

    // Attaches the core to the window as an observer; another current window is
    // cleared first. Attaching the current window again attaches the core twice.
    virtual void SetWindow(PluginWindow* window);
    // Detaches the core from the current window, if any.
    virtual void ClearWindow();

    // Called once the instance is set up: schedules the "onload" page function
    // (250 ms later, with the root object). Answers whether that call is scheduled.
    virtual bool setReady();
    virtual void onPluginReady() {}
    // Called by the adapter before it releases the instance.
    virtual void shutdown() {}

    virtual JSAPIPtr createJSAPI() = 0;
    // A stream the browser opened by itself (the element's data): accepting it
    // means filling in the request's callback or sink. Refused by default.
    virtual bool handleUnsolicitedStream(BrowserStreamRequest& /*request*/) { return false; }
    // The root scripting object, made by createJSAPI on the first request.
    virtual JSAPIPtr getRootJSAPI();

    // The "windowless" parameter as a boolean; false when absent or not a boolean.
    virtual bool isWindowless();
    virtual void setFSPath(const std::string& path) { m_filesystemPath = path; }
    const std::string& getFSPath() const { return m_filesystemPath; }
    // Stores the element's parameters. Those named "on…" name page functions and
    // are stored as those functions (null when the page has none); values that
    // cannot be processed are stored unchanged.
    virtual void setParams(const VariantMap& params);
    // The parameter as text; absent when there is none. A value without a text
    // form throws bad_variant_cast.
    virtual std::optional<std::string> getParam(const std::string& name);
    // The stored value, or an empty variant.
    virtual variant getParamVariant(const std::string& name);
    // Called at the end of setParams with the stored parameters; a place for
    // plug-ins to read them.
    virtual void onParamsSet(const VariantMap& /*params*/) {}
    virtual BrowserHostPtr getHost() const { return m_host; }

    // The windowless flag: 2 until isWindowless has run, then 0 or 1.
    uint8_t windowlessFlag() const { return m_windowless; }

    // Number of live cores in the process.
    static int ActivePluginCount() { return s_activePluginCount; }
    // The operating-system and browser names the adapters record.
    static void setPlatform(const std::string& os, const std::string& browser);
    static std::string getOS();
    static std::string getBrowser();

protected:
    BrowserHostPtr m_host;
    std::string m_filesystemPath;
    VariantMap m_params;
    PluginWindow* m_window = nullptr;
    JSAPIPtr m_api;
    uint8_t m_windowless = 2;
    bool m_scriptingOnly = false;

private:
    static std::atomic<int> s_activePluginCount;
};

using PluginCorePtr = std::shared_ptr<PluginCore>;
using PluginCoreWeakPtr = std::weak_ptr<PluginCore>;

} // namespace FW
