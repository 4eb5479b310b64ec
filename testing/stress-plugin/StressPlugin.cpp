#include "StressPlugin.h"

#include <type_traits>

#include "JSExceptions.h"
#include "MethodConverter.h"
#include "PropertyConverter.h"

StressAPI::StressAPI(const std::weak_ptr<StressPlugin>& plugin) : m_plugin(plugin) {
    registerMethod("start", FW::make_method(this, &StressAPI::start));
    registerMethod("ping", FW::make_method(this, &StressAPI::ping));
    registerProperty("running", FW::make_property(this, &StressAPI::get_running));
    registerProperty("fired", FW::make_property(this, &StressAPI::get_fired));
    registerProperty("mainCalls", FW::make_property(this, &StressAPI::get_mainCalls));
    registerProperty("released", FW::make_property(this, &StressAPI::get_released));
    registerProperty("errors", FW::make_property(this, &StressAPI::get_errors));
}

bool StressAPI::start(int threads, double seconds, const FW::JSObjectPtr& maker) {
    auto plugin = m_plugin.lock();
    if (!plugin || !maker || threads < 1 || threads > 64 || seconds <= 0 || seconds > 600)
        throw FW::script_error("start: expected 1 to 64 threads, 0 to 600 s and a function");
    if (plugin->run && plugin->run->running())
        return false;
    plugin->run = std::make_shared<StressRun>(
        plugin->getHost(), std::static_pointer_cast<FW::JSAPIAuto>(shared_from_this()), maker,
        threads);
    plugin->run->start(std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
    return true;
}

namespace {

// A figure of the plug-in's run; its default before any run.
template <class F>
std::invoke_result_t<F, StressRun*> ofRun(const std::weak_ptr<StressPlugin>& plugin, F read) {
    auto core = plugin.lock();
    return core && core->run ? read(core->run.get()) : std::invoke_result_t<F, StressRun*>();
}

} // namespace

bool StressAPI::get_running() const {
    return ofRun(m_plugin, [](StressRun* run) { return run->running(); });
}
double StressAPI::get_fired() const {
    return ofRun(m_plugin, [](StressRun* run) { return run->fired(); });
}
double StressAPI::get_mainCalls() const {
    return ofRun(m_plugin, [](StressRun* run) { return run->mainCalls(); });
}
double StressAPI::get_released() const {
    return ofRun(m_plugin, [](StressRun* run) { return run->released(); });
}
std::string StressAPI::get_errors() const {
    return ofRun(m_plugin, [](StressRun* run) { return run->errors(); });
}

FW::JSAPIPtr StressPlugin::createJSAPI() {
    return std::make_shared<StressAPI>(std::static_pointer_cast<StressPlugin>(shared_from_this()));
}

bool StressPlugin::HandleEvent(FW::PluginEvent*, FW::PluginEventSource*) {
    return false;
}

void StressPlugin::shutdown() {
    if (run)
        run->stop();
}

void StressFactory::globalPluginDeinitialize() {
    StressRun::waitForAllThreads(std::chrono::seconds(10));
}

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<StressFactory>();
    return factory;
}
