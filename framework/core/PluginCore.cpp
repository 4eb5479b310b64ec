#include "PluginCore.h"

#include "DOM/Window.h"
#include "PluginWindow.h"

#include <mutex>
#include <stdexcept>

namespace FW {

namespace {

std::mutex g_platformLock;
std::string g_osName;
std::string g_browserName;

constexpr int kOnloadDelayMs = 250;

bool namesPageFunction(const std::string& name) {
    return name.compare(0, 2, "on") == 0;
}

// A page function is looked up once, when the element is made: one defined
// later in the page is never found, which an author cannot see otherwise, so
// the page's console says so. What is kept is the function, a null reference
// when the page has nothing by that name, or the text when the name holds no
// object.
variant findPageFunction(BrowserHost& host, const DOM::WindowPtr& window, const std::string& param,
                         const variant& value, const std::string& function) {
    variant found = value;
    bool missing = true;
    try {
        JSObjectPtr object = window->getProperty<JSObjectPtr>(function);
        found = object;
        missing = !object;
    } catch (const std::exception&) {
    }
    if (missing)
        host.htmlLog("Parameter \"" + param + "\": the page has no function \"" + function +
                     "\" yet; define it before the <object> element.");
    return found;
}

} // namespace

std::atomic<int> PluginCore::s_activePluginCount{0};

PluginCore::PluginCore() {
    ++s_activePluginCount;
}

PluginCore::~PluginCore() {
    // No scheduled call of this instance may run once it is gone.
    if (m_host) {
        try {
            m_host->shutdown();
        } catch (...) {
        }
    }
    --s_activePluginCount;
}

void PluginCore::setPlatform(const std::string& os, const std::string& browser) {
    std::lock_guard<std::mutex> lock(g_platformLock);
    g_osName = os;
    g_browserName = browser;
}

std::string PluginCore::getOS() {
    std::lock_guard<std::mutex> lock(g_platformLock);
    return g_osName;
}

std::string PluginCore::getBrowser() {
    std::lock_guard<std::mutex> lock(g_platformLock);
    return g_browserName;
}

void PluginCore::SetWindow(PluginWindow* window) {
    if (m_window && m_window != window)
        ClearWindow();
    m_window = window;
    if (!window)
        return;
    try {
        window->AttachObserver(this);
    } catch (...) {
        m_window = nullptr; // not attached, so not current
        throw;
    }
}

void PluginCore::ClearWindow() {
    if (!m_window)
        return;
    m_window->DetachObserver(this);
    m_window = nullptr;
}

bool PluginCore::setReady() {
    bool scheduled = false;
    try {
        auto onload = m_params.find("onload");
        if (onload != m_params.end() && m_host) {
            m_host->initJS(this);
            JSObjectPtr function = onload->second.convert<JSObjectPtr>();
            if (function) {
                // -1 means the page has no call function: nothing will run.
                scheduled = m_host->delayedInvoke(kOnloadDelayMs, function,
                                                  VariantList{variant(getRootJSAPI())}) != -1;
            }
        }
    } catch (...) {
        // A page that cannot take the onload call only makes the answer false.
        scheduled = false;
    }
    onPluginReady();
    return scheduled;
}

JSAPIPtr PluginCore::getRootJSAPI() {
    if (!m_api)
        m_api = createJSAPI();
    return m_api;
}

bool PluginCore::isWindowless() {
    bool windowless = false;
    auto param = m_params.find("windowless");
    if (param != m_params.end()) {
        try {
            windowless = param->second.convert<bool>();
        } catch (const std::exception&) {
            windowless = false;
        }
    }
    m_windowless = windowless ? 1 : 0;
    return windowless;
}

void PluginCore::setParams(const VariantMap& params) {
    VariantMap stored;
    for (const auto& [name, value] : params) {
        try {
            const std::string text = value.convert<std::string>();
            if (namesPageFunction(name)) {
                DOM::WindowPtr window = m_host ? m_host->getDOMWindow() : nullptr;
                if (!window)
                    throw std::runtime_error("no page window to look up " + text);
                stored[name] = findPageFunction(*m_host, window, name, value, text);
            } else {
                stored[name] = value;
            }
        } catch (const std::exception&) {
            stored[name] = value;
        }
    }
    m_params.swap(stored);
    onParamsSet(m_params);
}

std::optional<std::string> PluginCore::getParam(const std::string& name) {
    auto param = m_params.find(name);
    if (param == m_params.end())
        return std::nullopt;
    return param->second.convert<std::string>();
}

variant PluginCore::getParamVariant(const std::string& name) {
    auto param = m_params.find(name);
    return param == m_params.end() ? variant() : param->second;
}

} // namespace FW
