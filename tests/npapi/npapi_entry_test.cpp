// The NPAPI entry points over a factory of the test's own: whatever the
// plug-in object throws while it starts or ends, the host gives the page's
// objects back, and the factory names the plug-in.

#include <gtest/gtest.h>

#include <stdexcept>

#include "FactoryBase.h"
#include "FakeBrowser.h"
#include "JSAPIAuto.h"
#include "PluginCore.h"

extern "C" {
NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* funcs);
NPError WINAPI NP_Initialize(NPNetscapeFuncs* funcs);
NPError WINAPI NP_Shutdown(void);
}

namespace {

enum class Failure { None, Construction, Shutdown };
Failure s_failure = Failure::None;

class TestCore : public FW::PluginCore {
public:
    TestCore() {
        if (s_failure == Failure::Construction)
            throw std::runtime_error("cannot make the plug-in object");
    }
    bool HandleEvent(FW::PluginEvent*, FW::PluginEventSource*) override { return false; }
    FW::JSAPIPtr createJSAPI() override { return std::make_shared<FW::JSAPIAuto>(); }
    void shutdown() override {
        if (s_failure == Failure::Shutdown)
            throw std::runtime_error("cannot end");
    }
};

class TestFactory : public FW::FactoryBase {
public:
    FW::PluginCorePtr createPlugin(const std::string&) override {
        return std::make_shared<TestCore>();
    }
    std::string getPluginName(const std::string&) const override { return "entry test"; }
    std::string getPluginDescription(const std::string& mimetype) override {
        return mimetype.empty() ? "no type" : "for " + mimetype;
    }
};

class EntryPoints : public ::testing::Test {
protected:
    FW::Testing::FakeBrowser browser;
    NPPluginFuncs plugin{};
    NPObject* window = nullptr;

    void SetUp() override {
        plugin.size = sizeof plugin;
        ASSERT_EQ(NPERR_NO_ERROR, NP_GetEntryPoints(&plugin));
        ASSERT_EQ(NPERR_NO_ERROR, NP_Initialize(&browser.m_funcs));
        window = browser.window();
    }
    void TearDown() override {
        s_failure = Failure::None;
        NP_Shutdown();
        browser.closeWindow();
        EXPECT_EQ(0, browser.liveObjects());
    }
    NPError newInstance() {
        char type[] = "application/x-entry-test";
        return plugin.newp(type, browser.npp(), NP_EMBED, 0, nullptr, nullptr, nullptr);
    }
};

TEST_F(EntryPoints, AThrowingPluginConstructorStillShutsTheHostDown) {
    s_failure = Failure::Construction;
    EXPECT_EQ(NPERR_GENERIC_ERROR, newInstance());
    EXPECT_EQ(nullptr, browser.npp()->pdata);
    EXPECT_EQ(1u, window->referenceCount) << "the host kept the page's window";
}

TEST_F(EntryPoints, AThrowingPluginShutdownStillShutsTheHostDown) {
    ASSERT_EQ(NPERR_NO_ERROR, newInstance());
    EXPECT_GT(window->referenceCount, 1u);
    s_failure = Failure::Shutdown;
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
    EXPECT_EQ(1u, window->referenceCount) << "the host kept the page's window";
}

TEST_F(EntryPoints, NameAndDescriptionComeFromTheFactory) {
    const char* name = nullptr;
    const char* description = nullptr;
    EXPECT_EQ(NPERR_NO_ERROR, plugin.getvalue(nullptr, NPPVpluginNameString, &name));
    EXPECT_STREQ("entry test", name);
    EXPECT_EQ(NPERR_NO_ERROR, plugin.getvalue(nullptr, NPPVpluginDescriptionString, &description));
    EXPECT_STREQ("no type", description);
    ASSERT_EQ(NPERR_NO_ERROR, newInstance());
    EXPECT_EQ(NPERR_NO_ERROR,
              plugin.getvalue(browser.npp(), NPPVpluginDescriptionString, &description));
    EXPECT_STREQ("for application/x-entry-test", description);
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
}

} // namespace

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<TestFactory>();
    return factory;
}
