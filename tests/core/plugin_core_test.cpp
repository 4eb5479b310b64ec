#include "JSAPI.h"
#include "PluginCore.h"
#include "PluginEvents.h"
#include "PluginWindow.h"
#include "TestBrowserHost.h"
#include "TestPageObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace FW;
using FW::Testing::TestBrowserHost;
using FW::Testing::TestBrowserHostPtr;
using FW::Testing::TestPageObject;

namespace {

using Strings = std::vector<std::string>;

// A window that is nothing but an event source with a name.
class FakeWindow : public PluginWindow {
public:
    explicit FakeWindow(std::string name) : name(std::move(name)) {}
    void InvalidateWindow() const override {}
    Rect getWindowPosition() const override { return Rect{0, 0, 10, 10}; }
    int getWindowWidth() const override { return 10; }
    int getWindowHeight() const override { return 10; }
    Rect getWindowClipping() const override { return getWindowPosition(); }
    std::string name;
};

// The smallest scripting object: no members at all.
class RootObject : public JSAPI {
public:
    void invalidate() override {}
    void getMemberNames(std::vector<std::string>&) const override {}
    size_t getMemberCount() const override { return 0; }
    bool HasMethod(const std::string&) const override { return false; }
    bool HasProperty(const std::string&) const override { return false; }
    bool HasProperty(int) const override { return false; }
    variant GetProperty(const std::string&) override { return variant(); }
    variant GetProperty(int) override { return variant(); }
    void SetProperty(const std::string&, const variant&) override {}
    void SetProperty(int, const variant&) override {}
    void RemoveProperty(const std::string&) override {}
    void RemoveProperty(int) override {}
    variant Invoke(const std::string&, const VariantList&) override { return variant(); }
    variant Construct(const VariantList&) override { return variant(); }
    FW_JSAPI_USING_WIDE_FORMS(JSAPI);
};

class TestCore : public PluginCore {
public:
    JSAPIPtr createJSAPI() override {
        ++apisMade;
        return std::make_shared<RootObject>();
    }
    bool HandleEvent(PluginEvent* evt, PluginEventSource* src) override {
        auto* window = dynamic_cast<FakeWindow*>(src);
        const std::string where = window ? window->name : "?";
        if (dynamic_cast<AttachedEvent*>(evt))
            log.push_back("attached " + where);
        else if (dynamic_cast<DetachedEvent*>(evt))
            log.push_back("detached " + where);
        else
            log.push_back("event " + where);
        return answer;
    }
    void onPluginReady() override { ++readyCalls; }

    int apisMade = 0;
    int readyCalls = 0;
    bool answer = false;
    Strings log;
};

class PluginCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = TestBrowserHost::create();
        core = std::make_shared<TestCore>();
        core->SetHost(host);
    }

    // A page function that records its calls.
    std::shared_ptr<TestPageObject> definePageFunction(const std::string& name) {
        auto function = TestPageObject::makeFunction(host);
        host->window()->setProperty(name, JSObjectPtr(function));
        return function;
    }

    TestBrowserHostPtr host;
    std::shared_ptr<TestCore> core;
};

} // namespace

TEST_F(PluginCoreTest, OnloadNamesAPageFunctionThatIsCalledWithTheRootObject) {
    auto initPlugin = definePageFunction("initPlugin");
    core->setParams({{"onload", std::string("initPlugin")}, {"color", std::string("red")}});

    EXPECT_EQ(core->getParam("color"), std::optional<std::string>("red"));
    variant onload = core->getParamVariant("onload");
    ASSERT_TRUE(onload.holds<JSObjectPtr>());
    EXPECT_EQ(onload.get<JSObjectPtr>(), JSObjectPtr(initPlugin));

    EXPECT_TRUE(core->setReady());
    EXPECT_EQ(core->readyCalls, 1);
    EXPECT_EQ(initPlugin->callCount(), 0u); // only scheduled so far
    ASSERT_EQ(host->pendingTimers().size(), 1u);
    EXPECT_EQ(host->pendingTimers()[0].delay, 250);

    host->runAll();
    auto calls = initPlugin->calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].args.size(), 1u);
    EXPECT_EQ(calls[0].args[0].convert<JSAPIPtr>(), core->getRootJSAPI());
    EXPECT_EQ(core->apisMade, 1);
}

TEST_F(PluginCoreTest, OnloadNamingAMissingFunctionSchedulesNothing) {
    auto other = definePageFunction("somethingElse");
    core->setParams({{"onload", std::string("noSuchFunction")}});
    variant onload = core->getParamVariant("onload");
    ASSERT_TRUE(onload.holds<JSObjectPtr>());
    EXPECT_EQ(onload.get<JSObjectPtr>(), nullptr);

    EXPECT_FALSE(core->setReady());
    EXPECT_EQ(core->readyCalls, 1);
    host->runAll();
    EXPECT_TRUE(host->pendingTimers().empty());
    EXPECT_EQ(other->callCount(), 0u);
    EXPECT_EQ(core->apisMade, 0);
}

// Page functions are looked up when the element is made; a name that finds
// none then gets one line in the page's console, and one that does, none.
TEST_F(PluginCoreTest, AnOnParameterNamingNoFunctionYetWritesOneConsoleLine) {
    definePageFunction("ready");
    host->window()->setProperty("notAFunction", 5);
    core->setParams({{"onload", std::string("ready")},
                     {"onevent", std::string("definedLater")},
                     {"onclick", std::string("notAFunction")},
                     {"color", std::string("definedLater")}});
    host->runPendingCalls();
    const auto calls = host->console()->calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("log", calls[0].method);
    EXPECT_EQ("Parameter \"onclick\": the page has no function \"notAFunction\" yet; define it "
              "before the <object> element.",
              calls[0].args.at(0).get<std::string>());
    EXPECT_EQ("Parameter \"onevent\": the page has no function \"definedLater\" yet; define it "
              "before the <object> element.",
              calls[1].args.at(0).get<std::string>());
    EXPECT_EQ(core->getParamVariant("onevent").get<JSObjectPtr>(), nullptr);
}

TEST_F(PluginCoreTest, SetReadyIsFalseWhenThePageCannotTakeTheCall) {
    definePageFunction("initPlugin");
    core->setParams({{"onload", std::string("initPlugin")}});
    host->setScriptDisabled(true); // the page never gets its call function
    EXPECT_FALSE(core->setReady());
    EXPECT_EQ(core->readyCalls, 1);

    auto bare = std::make_shared<TestCore>(); // no host at all
    bare->setParams({{"onload", std::string("initPlugin")}});
    EXPECT_FALSE(bare->setReady());
    EXPECT_EQ(bare->readyCalls, 1);
    EXPECT_FALSE(std::make_shared<TestCore>()->setReady()); // no onload parameter
}

TEST_F(PluginCoreTest, ParametersThatCannotBeProcessedAreStoredUnchanged) {
    host->window()->setProperty("notAFunction", 5);
    const VariantList list{variant(1), variant(2)};
    core->setParams({{"onclick", std::string("notAFunction")},
                     {"onmissing", variant(list)},
                     {"Onload", std::string("initPlugin")},
                     {"size", 12},
                     {"items", variant(list)}});

    EXPECT_EQ(core->getParamVariant("onclick").get<std::string>(), "notAFunction");
    EXPECT_TRUE(core->getParamVariant("onmissing").holds<VariantList>());
    EXPECT_EQ(core->getParamVariant("Onload").get<std::string>(), "initPlugin"); // case matters
    EXPECT_EQ(core->getParamVariant("size").get<int>(), 12);
    EXPECT_EQ(core->getParam("size"), std::optional<std::string>("12"));
    EXPECT_EQ(core->getParam("absent"), std::nullopt);
    EXPECT_TRUE(core->getParamVariant("absent").is_empty());
    EXPECT_THROW(core->getParam("items"), bad_variant_cast);

    // Without a page window the names cannot be resolved either.
    host->setWindowMissing(true);
    core->setParams({{"onload", std::string("initPlugin")}});
    EXPECT_EQ(core->getParamVariant("onload").get<std::string>(), "initPlugin");
    EXPECT_FALSE(core->getParam("color").has_value()); // earlier parameters are replaced
}

TEST_F(PluginCoreTest, WindowlessFollowsTheParameter) {
    EXPECT_EQ(core->windowlessFlag(), 2);
    EXPECT_FALSE(core->isWindowless());
    EXPECT_EQ(core->windowlessFlag(), 0);
    for (const char* word : {"TRUE", "1", "Yes", "y", "t"}) {
        core->setParams({{"windowless", std::string(word)}});
        EXPECT_TRUE(core->isWindowless()) << word;
        EXPECT_EQ(core->windowlessFlag(), 1);
    }
    for (const char* word : {"no", "false", "0", "maybe"}) {
        core->setParams({{"windowless", std::string(word)}});
        EXPECT_FALSE(core->isWindowless()) << word;
        EXPECT_EQ(core->windowlessFlag(), 0);
    }
    core->setParams({{"windowless", variant(VariantList{variant(1)})}});
    EXPECT_FALSE(core->isWindowless());
    EXPECT_EQ(core->windowlessFlag(), 0);
}

TEST_F(PluginCoreTest, SetWindowDetachesTheOldWindowBeforeAttachingTheNew) {
    FakeWindow first("first");
    FakeWindow second("second");
    core->SetWindow(&first);
    core->SetWindow(&second);
    EXPECT_EQ(core->log, (Strings{"attached first", "detached first", "attached second"}));
    EXPECT_EQ(core->GetWindow(), &second);

    ResizedEvent evt;
    core->log.clear();
    first.SendEvent(&evt);
    second.SendEvent(&evt);
    EXPECT_EQ(core->log, (Strings{"event second"}));

    // The same window again: no detach, a second attachment.
    core->log.clear();
    core->SetWindow(&second);
    second.SendEvent(&evt);
    EXPECT_EQ(core->log, (Strings{"attached second", "event second", "event second"}));

    core->log.clear();
    core->ClearWindow();
    EXPECT_EQ(core->log, (Strings{"detached second", "detached second"}));
    EXPECT_EQ(core->GetWindow(), nullptr);
    core->ClearWindow();
    EXPECT_EQ(core->log.size(), 2u);

    // A core that is not owned by a shared reference cannot be attached.
    TestCore unshared;
    EXPECT_THROW(unshared.SetWindow(&first), std::invalid_argument);
    EXPECT_EQ(unshared.GetWindow(), nullptr);
}

TEST_F(PluginCoreTest, AWindowOffersEventsToItsCoresUntilOneHandlesThem) {
    FakeWindow window("w");
    auto other = std::make_shared<TestCore>();
    core->answer = true;
    core->SetWindow(&window);
    other->SetWindow(&window);
    core->log.clear();
    other->log.clear();
    ResizedEvent evt;
    EXPECT_TRUE(window.SendEvent(&evt));
    EXPECT_EQ(core->log, (Strings{"event w"}));
    EXPECT_TRUE(other->log.empty());
}

TEST_F(PluginCoreTest, TheRootObjectIsMadeOnce) {
    JSAPIPtr root = core->getRootJSAPI();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(core->getRootJSAPI(), root);
    EXPECT_EQ(core->apisMade, 1);
}

TEST_F(PluginCoreTest, LifetimeIsCountedAndEndsTheHostsScheduledCalls) {
    const int before = PluginCore::ActivePluginCount();
    auto extra = std::make_shared<TestCore>();
    EXPECT_EQ(PluginCore::ActivePluginCount(), before + 1);
    extra->SetHost(host);
    EXPECT_EQ(extra->getHost(), host);
    extra->setFSPath("C:\\plugins\\nporvela.dll");
    EXPECT_EQ(extra->getFSPath(), "C:\\plugins\\nporvela.dll");
    extra->setScriptingOnly(true);
    EXPECT_TRUE(extra->isScriptingOnly());
    EXPECT_FALSE(core->isScriptingOnly());

    extra.reset();
    EXPECT_EQ(PluginCore::ActivePluginCount(), before);
    EXPECT_TRUE(host->isShutDown());
    EXPECT_FALSE(host->queueMainThreadCall([](void*) {}, nullptr));
}
