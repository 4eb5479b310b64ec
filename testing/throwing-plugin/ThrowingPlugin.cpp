#include "ThrowingPlugin.h"

#include "FaultInjector.h"
#include "GeneralEvents.h"
#include "DrawingEvents.h"
#include "MethodConverter.h"
#include "PluginWindow.h"
#include "PropertyConverter.h"

namespace {

void throwIfArmed(const std::string& point) {
    FaultInjector::instance().throwIfArmed(point);
}

} // namespace

ThrowingAPI::ThrowingAPI(const std::shared_ptr<ThrowingPlugin>& plugin) : m_plugin(plugin) {
    registerMethod("arm", FW::make_method(this, &ThrowingAPI::arm));
    registerMethod("disarm", FW::make_method(this, &ThrowingAPI::disarm));
    registerMethod("thrownAt", FW::make_method(this, &ThrowingAPI::thrownAt));
    registerMethod("poke", FW::make_method(this, &ThrowingAPI::poke));
    registerMethod("scheduleThrow", FW::make_method(this, &ThrowingAPI::scheduleThrow));
    registerMethod("crossThreadThrow", FW::make_method(this, &ThrowingAPI::crossThreadThrow));
    registerMethod("repaint", FW::make_method(this, &ThrowingAPI::repaint));
    registerProperty("setting",
                     FW::make_property(this, &ThrowingAPI::get_setting, &ThrowingAPI::set_setting));
    registerProperty("asyncRuns", FW::make_property(this, &ThrowingAPI::get_asyncRuns));
    registerProperty("crossThreadResult",
                     FW::make_property(this, &ThrowingAPI::get_crossThreadResult));
}

bool ThrowingAPI::HasMethod(const std::string& name) const {
    throwIfArmed("lookup");
    return JSAPIAuto::HasMethod(name);
}

bool ThrowingAPI::HasProperty(const std::string& name) const {
    throwIfArmed("lookup");
    return JSAPIAuto::HasProperty(name);
}

bool ThrowingAPI::arm(const std::string& point, const std::string& kind) {
    return FaultInjector::instance().arm(point, kind);
}

void ThrowingAPI::disarm() {
    FaultInjector::instance().disarm();
}

int ThrowingAPI::thrownAt(const std::string& point) {
    return FaultInjector::instance().thrownAt(point);
}

std::string ThrowingAPI::poke() {
    throwIfArmed("member");
    return "poked";
}

std::string ThrowingAPI::get_setting() {
    throwIfArmed("get");
    return m_setting;
}

void ThrowingAPI::set_setting(const std::string& value) {
    throwIfArmed("set");
    m_setting = value;
}

bool ThrowingAPI::scheduleThrow() {
    auto plugin = m_plugin.lock();
    return plugin && plugin->scheduleThrow();
}

int ThrowingAPI::get_asyncRuns() const {
    auto plugin = m_plugin.lock();
    return plugin ? plugin->asyncRuns.load() : 0;
}

void ThrowingAPI::crossThreadThrow() {
    if (auto plugin = m_plugin.lock())
        plugin->crossThreadThrow();
}

std::string ThrowingAPI::get_crossThreadResult() const {
    auto plugin = m_plugin.lock();
    if (!plugin)
        return std::string();
    std::lock_guard<std::mutex> lock(plugin->resultMutex);
    return plugin->crossThreadResult;
}

void ThrowingAPI::repaint() {
    auto plugin = m_plugin.lock();
    if (FW::PluginWindow* window = plugin ? plugin->GetWindow() : nullptr)
        window->InvalidateWindow();
}

ThrowingPlugin::~ThrowingPlugin() {
    if (m_worker.joinable()) {
        // A worker still waiting for the main thread is released by shutdown.
        if (FW::BrowserHostPtr host = getHost())
            host->shutdown();
        m_worker.join();
    }
}

FW::JSAPIPtr ThrowingPlugin::createJSAPI() {
    throwIfArmed("api");
    return std::make_shared<ThrowingAPI>(
        std::static_pointer_cast<ThrowingPlugin>(shared_from_this()));
}

void ThrowingPlugin::onPluginReady() {
    throwIfArmed("ready");
}

void ThrowingPlugin::shutdown() {
    throwIfArmed("shutdown");
}

bool ThrowingPlugin::HandleEvent(FW::PluginEvent* event, FW::PluginEventSource*) {
    if (dynamic_cast<FW::AttachedEvent*>(event))
        throwIfArmed("attach");
    else if (dynamic_cast<FW::DetachedEvent*>(event))
        throwIfArmed("detach");
    else if (dynamic_cast<FW::RefreshEvent*>(event))
        throwIfArmed("paint");
    else
        throwIfArmed("window");
    return false;
}

bool ThrowingPlugin::scheduleThrow() {
    FW::BrowserHostPtr host = getHost();
    if (!host)
        return false;
    auto self = std::static_pointer_cast<ThrowingPlugin>(shared_from_this());
    const bool first = host->ScheduleOnMainThread(self, [] { throwIfArmed("async"); });
    const bool second = host->ScheduleOnMainThread(self, [raw = self.get()] { ++raw->asyncRuns; });
    return first && second;
}

void ThrowingPlugin::crossThreadThrow() {
    FW::BrowserHostPtr host = getHost();
    if (!host)
        return;
    if (m_worker.joinable())
        m_worker.join(); // the page waited for its result: it has ended
    {
        std::lock_guard<std::mutex> lock(resultMutex);
        crossThreadResult.clear();
    }
    std::weak_ptr<FW::BrowserHost> weakHost = host;
    m_worker = std::thread([this, weakHost] {
        std::string result;
        try {
            FW::BrowserHostPtr workerHost = weakHost.lock();
            if (!workerHost)
                return;
            workerHost->CallOnMainThread([] {
                throwIfArmed("crossthread");
                return 0;
            });
            result = "returned";
        } catch (const std::exception& e) {
            result = std::string("error: ") + e.what();
        } catch (...) {
            result = "error of no exception class";
        }
        std::lock_guard<std::mutex> lock(resultMutex);
        crossThreadResult = result;
    });
}

FW::PluginCorePtr ThrowingFactory::createPlugin(const std::string&) {
    throwIfArmed("create");
    return std::make_shared<ThrowingPlugin>();
}

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<ThrowingFactory>();
    return factory;
}
