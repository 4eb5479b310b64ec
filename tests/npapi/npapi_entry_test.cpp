// The NPAPI entry points over a factory of the test's own: whatever the
// plug-in object throws while it starts or ends, the host gives the page's
// objects back, and the factory names the plug-in.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <type_traits>

#include "FactoryBase.h"
#include "FakeBrowser.h"
#include "NpapiPluginModule.h"
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

std::weak_ptr<TestCore> s_lastCore;
int s_deinitializations = 0;

class TestFactory : public FW::FactoryBase {
public:
    FW::PluginCorePtr createPlugin(const std::string&) override {
        auto core = std::make_shared<TestCore>();
        s_lastCore = core;
        return core;
    }
    void globalPluginDeinitialize() override { ++s_deinitializations; }
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

TEST_F(EntryPoints, WriteAnswersMinusOneWithoutAnInstanceSoTheBrowserEndsTheStream) {
    NPStream stream{};
    char data[4] = {};
    EXPECT_EQ(-1, plugin.writeready(nullptr, &stream));
    EXPECT_EQ(-1, plugin.write(nullptr, &stream, 0, 4, data));
    // An instance the browser still names but whose plug-in has gone.
    EXPECT_EQ(nullptr, browser.npp()->pdata);
    EXPECT_EQ(-1, plugin.writeready(browser.npp(), &stream));
    EXPECT_EQ(-1, plugin.write(browser.npp(), &stream, 0, 4, data));
}

TEST_F(EntryPoints, ANullValueLeavesItsParameterOut) {
    char type[] = "application/x-entry-test";
    char a[] = "a", b[] = "b", one[] = "1";
    char* names[] = {a, b};
    char* values[] = {one, nullptr};
    ASSERT_EQ(NPERR_NO_ERROR,
              plugin.newp(type, browser.npp(), NP_EMBED, 2, names, values, nullptr));
    auto core = s_lastCore.lock();
    ASSERT_TRUE(core);
    EXPECT_EQ("1", core->getParam("a").value_or("<none>"));
    EXPECT_FALSE(core->getParam("b").has_value());
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
}

TEST_F(EntryPoints, AWindowedPluginAnswersZeroToEveryEvent) {
    ASSERT_EQ(NPERR_NO_ERROR, newInstance());
    NPEvent press{WM_LBUTTONDOWN, 0, 0};
    EXPECT_EQ(0, plugin.event(browser.npp(), &press)) << "before it has a window";
    HWND parent = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, parent);
    NPWindow window{};
    window.window = parent;
    window.width = 100;
    window.height = 100;
    window.type = NPWindowTypeWindow;
    EXPECT_EQ(NPERR_NO_ERROR, plugin.setwindow(browser.npp(), &window));
    for (uint16_t message : {WM_LBUTTONDOWN, WM_PAINT, WM_KEYDOWN, WM_SETFOCUS, WM_MOUSEMOVE}) {
        NPEvent event{message, 0, 0};
        EXPECT_EQ(0, plugin.event(browser.npp(), &event)) << "message " << message;
    }
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
    DestroyWindow(parent);
}

// The browser table's later entries are taken only from browsers whose table
// version says they have them.
TEST_F(EntryPoints, LaterBrowserFunctionsAreTakenFromTheVersionThatHasThem) {
    NPNetscapeFuncs table = browser.m_funcs;
    auto some = [](auto& slot) {
        using Entry = std::remove_reference_t<decltype(slot)>;
        slot = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(&NP_Shutdown));
    };
    some(table.pushpopupsenabledstate);
    some(table.poppopupsenabledstate);
    some(table.getvalueforurl);
    some(table.setvalueforurl);
    some(table.getauthenticationinfo);
    some(table.scheduletimer);
    some(table.unscheduletimer);
    struct Expected {
        uint16_t version;
        bool popups, forUrl, timers;
    };
    for (const Expected& e : {Expected{15, false, false, false}, Expected{16, true, false, false},
                              Expected{20, true, false, false}, Expected{21, true, true, false},
                              Expected{22, true, true, false}, Expected{23, true, true, true}}) {
        table.version = e.version;
        ASSERT_EQ(NPERR_NO_ERROR, NP_Initialize(&table));
        const NPNetscapeFuncs& kept = FW::Npapi::NpapiPluginModule::GetModule()->netscapeFuncs();
        EXPECT_EQ(e.popups, kept.pushpopupsenabledstate != nullptr) << e.version;
        EXPECT_EQ(e.popups, kept.poppopupsenabledstate != nullptr) << e.version;
        EXPECT_EQ(e.forUrl, kept.getvalueforurl != nullptr) << e.version;
        EXPECT_EQ(e.forUrl, kept.setvalueforurl != nullptr) << e.version;
        EXPECT_EQ(e.forUrl, kept.getauthenticationinfo != nullptr) << e.version;
        EXPECT_EQ(e.timers, kept.scheduletimer != nullptr) << e.version;
        EXPECT_EQ(e.timers, kept.unscheduletimer != nullptr) << e.version;
    }
}

TEST_F(EntryPoints, ShutdownWithoutAModuleStillEndsTheFactorysGlobalState) {
    ASSERT_EQ(NPERR_NO_ERROR, NP_Shutdown());
    const int before = s_deinitializations;
    EXPECT_EQ(NPERR_NO_ERROR, NP_Shutdown()) << "no module is left to release";
    EXPECT_EQ(before + 1, s_deinitializations);
    ASSERT_EQ(NPERR_NO_ERROR, NP_Initialize(&browser.m_funcs));
}

} // namespace

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<TestFactory>();
    return factory;
}
