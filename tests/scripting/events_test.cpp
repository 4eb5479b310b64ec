// Event handlers, event interfaces, proxies and event records, delivered
// through the test host's main-thread queue and page timers.

#include <gtest/gtest.h>

#include <thread>

#include "TestAPI.h"
#include "TestBrowserHost.h"

using namespace FW;
using namespace FW::Testing;

namespace {

class Events : public ::testing::Test {
protected:
    TestBrowserHostPtr host = TestBrowserHost::create();
    std::shared_ptr<TestAPI> api = std::make_shared<TestAPI>();

    // Recorded calls may refer back to the objects that hold the handlers.
    void TearDown() override {
        for (const auto& object : created)
            object->clearCalls();
    }

    TestPageObjectPtr handler() {
        created.push_back(TestPageObject::makeFunction(host));
        return created.back();
    }
    // An interface object answers the event by a method of the event's name.
    TestPageObjectPtr eventInterface(const std::string& event) {
        auto object = std::make_shared<TestPageObject>(host);
        object->setMethod(event, [](const VariantList&) { return variant(); });
        created.push_back(object);
        return object;
    }

    std::vector<TestPageObjectPtr> created;
};

// The calls that reached the object as a function (method name empty) or by method.
std::vector<VariantList> callsOf(const TestPageObjectPtr& object, const std::string& method = "") {
    std::vector<VariantList> result;
    for (const auto& call : object->calls()) {
        if (call.method == method)
            result.push_back(call.args);
    }
    return result;
}

} // namespace

TEST_F(Events, HandlersRunLaterFromAPageTimer) {
    auto h = handler();
    api->registerEventMethod("onfoo", h);
    api->FireEvent("onfoo", VariantList{variant(1), variant(std::string("two"))});
    EXPECT_EQ(0u, h->callCount()); // nothing runs on the firing thread
    host->runAll();
    auto calls = callsOf(h);
    ASSERT_EQ(1u, calls.size());
    ASSERT_EQ(2u, calls[0].size());
    EXPECT_EQ(1, calls[0][0].get<int>());
    EXPECT_EQ("two", calls[0][1].get<std::string>());
    // The page call function was installed once and asked for a zero delay.
    ASSERT_EQ(1u, host->evaluatedScripts().size());
}

TEST_F(Events, EveryReceiverGetsTheWholeArgumentListAndTheCallersListStays) {
    std::vector<TestPageObjectPtr> handlers{handler(), handler(), handler()};
    for (const auto& h : handlers)
        api->registerEventMethod("onfoo", h);
    auto iface = eventInterface("onfoo");
    api->registerEventInterface(iface);
    auto member = handler();
    api->SetProperty("onfoo", variant(JSObjectPtr(member)));
    const VariantList args{variant(std::string("first text")), variant(std::wstring(L"second")),
                           variant(VariantList{variant(3)})};
    api->FireEvent("onfoo", args);
    host->runAll();

    std::vector<VariantList> received;
    for (const auto& h : handlers)
        received.push_back(callsOf(h).at(0));
    received.push_back(callsOf(iface, "onfoo").at(0));
    received.push_back(callsOf(member).at(0));
    for (const auto& list : received) {
        ASSERT_EQ(3u, list.size());
        EXPECT_EQ("first text", list[0].get<std::string>());
        EXPECT_EQ(L"second", list[1].get<std::wstring>());
        EXPECT_EQ(3, list[2].get<VariantList>().at(0).get<int>());
    }
    ASSERT_EQ(3u, args.size());
    EXPECT_EQ("first text", args[0].get<std::string>());
}

TEST_F(Events, AHandlerIsRegisteredOncePerEventId) {
    auto h = handler();
    api->registerEventMethod("onfoo", h);
    api->registerEventMethod("onfoo", h);
    // The same page function wrapped again has the same identity.
    auto sameFunction = handler();
    sameFunction->setEventId(h->getEventId());
    api->registerEventMethod(L"onfoo", sameFunction);
    api->FireEvent("onfoo", VariantList());
    host->runAll();
    EXPECT_EQ(1u, h->callCount());
    EXPECT_EQ(0u, sameFunction->callCount());

    api->unregisterEventMethod("onfoo", sameFunction);
    api->FireEvent("onfoo", VariantList());
    host->runAll();
    EXPECT_EQ(1u, h->callCount());
    EXPECT_THROW(api->registerEventMethod("onfoo", JSObjectPtr()), invalid_arguments);
    EXPECT_THROW(api->unregisterEventMethod("onfoo", JSObjectPtr()), invalid_arguments);
}

TEST_F(Events, OnlyHandlersOfTheFiredEventAndOnlyValidOnesRun) {
    auto foo = handler();
    auto bar = handler();
    auto gone = handler();
    api->registerEventMethod("onfoo", foo);
    api->registerEventMethod("onbar", bar);
    api->registerEventMethod("onfoo", gone);
    gone->setValid(false);
    api->FireEvent("onfoo", VariantList());
    host->runAll();
    EXPECT_EQ(1u, foo->callCount());
    EXPECT_EQ(0u, bar->callCount());
    EXPECT_EQ(0u, gone->callCount());
}

TEST_F(Events, InvalidObjectsFireNothing) {
    auto h = handler();
    api->registerEventMethod("onfoo", h);
    api->invalidate();
    api->FireEvent("onfoo", VariantList());
    api->FireJSEvent("onfoo", VariantList());
    host->runAll();
    EXPECT_EQ(0u, h->callCount());
    EXPECT_EQ(0u, host->queuedCalls());
}

TEST_F(Events, BatchedDeliveryServesAContextOnce) {
    auto first = handler();
    auto second = handler();
    first->setOptimizedCalls(true);
    auto iface = eventInterface("onfoo");
    api->registerEventMethod("onfoo", first);
    api->registerEventMethod("onfoo", second);
    api->registerEventInterface(iface);
    api->FireEvent("onfoo", VariantList{variant(3)});
    host->runAll();
    auto batches = first->batchedCalls();
    ASSERT_EQ(1u, batches.size());
    EXPECT_EQ("onfoo", batches[0].event);
    EXPECT_EQ(2u, batches[0].direct.size());
    ASSERT_EQ(1u, batches[0].ifaces.size());
    EXPECT_EQ(JSObjectPtr(iface), batches[0].ifaces[0]);
    // The batch stands for every handler and interface of the context.
    EXPECT_EQ(0u, first->callCount());
    EXPECT_EQ(0u, second->callCount());
    EXPECT_EQ(0u, iface->callCount());
}

TEST_F(Events, InterfacesAreCalledByTheEventName) {
    auto plain = eventInterface("onfoo");
    api->registerEventInterface(plain);
    api->registerEventInterface(plain); // replaces, does not add
    api->FireEvent("onfoo", VariantList{variant(9)});
    host->runAll();
    auto calls = callsOf(plain, "onfoo");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(9, calls[0][0].get<int>());

    api->unregisterEventInterface(plain);
    api->FireEvent("onfoo", VariantList{variant(9)});
    host->runAll();
    EXPECT_EQ(1u, plain->callCount());
}

TEST_F(Events, AFunctionAssignedToTheEventMemberIsCalled) {
    auto h = handler();
    api->SetProperty("onfoo", variant(JSObjectPtr(h)));
    api->FireEvent("onfoo", VariantList{variant(4)});
    host->runAll();
    auto calls = callsOf(h);
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(4, calls[0][0].get<int>());
}

TEST_F(Events, EventRecordOfFireJSEvent) {
    auto h = handler();
    auto iface = eventInterface("onfoo");
    api->registerEventMethod("onfoo", h);
    api->registerEventInterface(iface);
    VariantMap members{{"detail", variant(7)}, {"type", variant(std::string("ignored"))}};
    api->FireJSEvent("onfoo", members, VariantList{variant(1)});
    host->runAll();
    auto calls = callsOf(h);
    ASSERT_EQ(1u, calls.size());
    ASSERT_EQ(1u, calls[0].size());
    const VariantMap& record = calls[0][0].get<VariantMap>();
    EXPECT_EQ("onfoo", record.at("type").get<std::string>());
    EXPECT_EQ(JSAPIPtr(api), record.at("target").get<JSAPIPtr>());
    EXPECT_EQ(JSAPIPtr(api), record.at("currentTarget").get<JSAPIPtr>());
    EXPECT_EQ(2, record.at("eventPhase").convert<int>());
    EXPECT_FALSE(record.at("bubbles").convert<bool>());
    EXPECT_FALSE(record.at("cancelable").convert<bool>());
    EXPECT_EQ("onfoo", record.at("namespaceURI").get<std::string>());
    EXPECT_EQ(7, record.at("detail").get<int>());
    EXPECT_EQ(1, record.at("arguments").get<VariantList>().at(0).get<int>());
    ASSERT_EQ(1u, callsOf(iface, "onfoo").size());
}

TEST_F(Events, ProxiesGetTheEventWithThemselvesInPlaceOfTheSource) {
    auto proxy = std::make_shared<TestAPI>();
    api->registerProxy(proxy);
    auto atProxy = handler();
    proxy->registerEventMethod("onfoo", atProxy);
    const JSAPIPtr self = api;
    api->FireEvent("onfoo", VariantList{variant(self), variant(VariantList{variant(self)}),
                                        variant(VariantMap{{"who", variant(self)}})});
    host->runAll();
    auto calls = callsOf(atProxy);
    ASSERT_EQ(1u, calls.size());
    const JSAPIPtr proxyApi = proxy;
    EXPECT_EQ(proxyApi, calls[0][0].get<JSAPIPtr>());
    EXPECT_EQ(proxyApi, calls[0][1].get<VariantList>()[0].get<JSAPIPtr>());
    EXPECT_EQ(proxyApi, calls[0][2].get<VariantMap>().at("who").get<JSAPIPtr>());

    api->unregisterProxy(proxy);
    api->FireEvent("onfoo", VariantList());
    host->runAll();
    EXPECT_EQ(1u, atProxy->callCount());
}

TEST_F(Events, ANullReferenceIsNotTakenForASourceThatIsNotShared) {
    TestAPI unshared; // not owned by a shared reference: it has no identity to replace
    auto proxy = std::make_shared<TestAPI>();
    unshared.registerProxy(proxy);
    auto atProxy = handler();
    proxy->registerEventMethod("onfoo", atProxy);
    unshared.FireEvent("onfoo", VariantList{variant(JSAPIPtr())});
    host->runAll();
    auto calls = callsOf(atProxy);
    ASSERT_EQ(1u, calls.size());
    EXPECT_FALSE(calls[0][0].get<JSAPIPtr>());
}

TEST_F(Events, AProxyThatIsGoneIsDropped) {
    auto proxy = std::make_shared<TestAPI>();
    api->registerProxy(proxy);
    proxy.reset();
    auto h = handler();
    api->registerEventMethod("onfoo", h);
    api->FireEvent("onfoo", VariantList());
    host->runAll();
    EXPECT_EQ(1u, h->callCount());
}

TEST_F(Events, EventsFiredOnAnotherThreadRunOnTheMainThread) {
    auto h = handler();
    api->registerEventMethod("onfoo", h);
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i)
            api->FireEvent("onfoo", VariantList{variant(i)});
    });
    host->runUntil([&] { return host->scheduleRequests() >= 20; });
    worker.join();
    host->runAll();
    auto calls = callsOf(h);
    ASSERT_EQ(20u, calls.size());
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(i, calls[i][0].get<int>());
}

TEST_F(Events, ErrorsInDeliveryNeverReachTheFiringCode) {
    auto h = handler();
    api->registerEventMethod("onfoo", h);
    host->setRefuseScheduling(true);
    EXPECT_NO_THROW(api->FireEvent("onfoo", VariantList()));
    host->setRefuseScheduling(false);
    host->runAll();
    EXPECT_EQ(0u, h->callCount());

    // A handler whose host is gone cannot be called asynchronously.
    auto orphan = TestPageObject::makeFunction(nullptr);
    api->registerEventMethod("onbar", orphan);
    EXPECT_NO_THROW(api->FireEvent("onbar", VariantList()));
    EXPECT_THROW(orphan->InvokeAsync("", VariantList()), std::runtime_error);
}
