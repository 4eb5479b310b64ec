#pragma once
// A plug-in on the framework that throws wherever a page arms it to: at its
// creation, in its scripting members, in its window and drawing handlers, in
// calls it schedules on the main thread and in calls it makes from a worker
// thread. The browsers must answer each with a failure and go on.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "FactoryBase.h"
#include "TestPluginFactory.h"
#include "JSAPIAuto.h"
#include "PluginCore.h"

class ThrowingPlugin;

class ThrowingAPI : public FW::JSAPIAuto {
public:
    explicit ThrowingAPI(const std::shared_ptr<ThrowingPlugin>& plugin);

    bool HasMethod(const std::string& name) const override;
    bool HasProperty(const std::string& name) const override;

    bool arm(const std::string& point, const std::string& kind);
    void disarm();
    int thrownAt(const std::string& point);
    std::string poke();
    std::string get_setting();
    void set_setting(const std::string& value);
    bool scheduleThrow();
    int get_asyncRuns() const;
    void crossThreadThrow();
    std::string get_crossThreadResult() const;
    void repaint();

private:
    std::weak_ptr<ThrowingPlugin> m_plugin;
    std::string m_setting = "initial";
};

class ThrowingPlugin : public FW::PluginCore {
public:
    ~ThrowingPlugin() override;

    FW::JSAPIPtr createJSAPI() override;
    void onPluginReady() override;
    void shutdown() override;
    bool HandleEvent(FW::PluginEvent* event, FW::PluginEventSource* source) override;

    // Runs a main-thread call that throws the armed kind, then one that counts.
    bool scheduleThrow();
    // A worker asks the main thread for a call that throws the armed kind and
    // keeps the error it gets back.
    void crossThreadThrow();

    std::atomic<int> asyncRuns{0};
    mutable std::mutex resultMutex;
    std::string crossThreadResult;

private:
    std::thread m_worker;
};

class ThrowingFactory : public TestPluginFactory<ThrowingPlugin> {
public:
    ThrowingFactory()
        : TestPluginFactory("orvela throwing test", "application/x-orvela-throwing-test",
                            "throwing test") {}
    FW::PluginCorePtr createPlugin(const std::string& mimetype) override;
};

FW::FactoryBasePtr getFactoryInstance();
