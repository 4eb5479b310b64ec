#pragma once
// A plug-in built on the framework, for the thread stress test: its scripting
// object starts worker threads that fire "onstress" events (thread, sequence),
// call onto the main thread and release page objects, while the page keeps
// calling its members.

#include <memory>
#include <string>

#include "FactoryBase.h"
#include "TestPluginFactory.h"
#include "JSAPIAuto.h"
#include "JSObject.h"
#include "PluginCore.h"
#include "StressRun.h"

class StressPlugin;

class StressAPI : public FW::JSAPIAuto {
public:
    explicit StressAPI(const std::weak_ptr<StressPlugin>& plugin);

    // threads workers for seconds; maker() is a page function answering a new
    // page object, which a worker asks for and then releases.
    bool start(int threads, double seconds, const FW::JSObjectPtr& maker);
    int ping(int value) const { return value; }
    bool get_running() const;
    double get_fired() const;
    double get_mainCalls() const;
    double get_released() const;
    std::string get_errors() const;

private:
    std::weak_ptr<StressPlugin> m_plugin;
};

class StressPlugin : public FW::PluginCore {
public:
    FW::JSAPIPtr createJSAPI() override;
    bool HandleEvent(FW::PluginEvent* evt, FW::PluginEventSource* src) override;
    // Workers stop at their next turn; those waiting on the main thread are
    // released when the host shuts down.
    void shutdown() override;

    std::shared_ptr<StressRun> run;
};

class StressFactory : public TestPluginFactory<StressPlugin> {
public:
    StressFactory()
        : TestPluginFactory("orvela stress test", "application/x-orvela-stress-test",
                            "stress test") {}
    // The module must not unload under a worker.
    void globalPluginDeinitialize() override;
};

FW::FactoryBasePtr getFactoryInstance();
