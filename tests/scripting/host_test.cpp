// Browser host services: main-thread calls, cross-thread calls, shutdown, the
// page call function, logging, retained objects, page objects and DOM wrappers.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "DOM/Document.h"
#include "DOM/Element.h"
#include "DOM/Window.h"
#include "TestAPI.h"
#include "TestBrowserHost.h"

using namespace FW;
using namespace FW::Testing;

namespace {

int g_plainCalls = 0;
void countPlainCall(void* data) {
    ++*static_cast<int*>(data);
}

template <class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace

TEST(MainThreadCalls, RunWhenTheBrowserDeliversThem) {
    auto host = TestBrowserHost::create();
    int calls = 0;
    EXPECT_TRUE(host->queueMainThreadCall(&countPlainCall, &calls));
    EXPECT_EQ(0, calls);
    EXPECT_EQ(1u, host->runPendingCalls());
    EXPECT_EQ(1, calls);

    auto api = std::make_shared<TestAPI>();
    std::weak_ptr<TestAPI> weakApi = api;
    EXPECT_TRUE(host->ScheduleOnMainThread(api, [raw = api.get()] { raw->noParams(); }));
    api.reset();
    EXPECT_FALSE(weakApi.expired()); // the scheduled call keeps its object alive
    host->runPendingCalls();
    EXPECT_TRUE(weakApi.expired());
}

TEST(MainThreadCalls, ARefusedCallIsForgotten) {
    auto host = TestBrowserHost::create();
    host->setRefuseScheduling(true);
    int calls = 0;
    EXPECT_FALSE(host->queueMainThreadCall(&countPlainCall, &calls));
    host->setRefuseScheduling(false);
    host->shutdown();
    EXPECT_EQ(0, calls); // not run at shutdown either
}

TEST(MainThreadCalls, PendingCallsRunExactlyOnceAtShutdown) {
    auto host = TestBrowserHost::create();
    int calls = 0;
    ASSERT_TRUE(host->queueMainThreadCall(&countPlainCall, &calls));
    ASSERT_TRUE(host->queueMainThreadCall(&countPlainCall, &calls));
    host->shutdown();
    EXPECT_EQ(2, calls);
    EXPECT_TRUE(host->isShutDown());
    // The browser delivers them late: nothing is pending any more.
    EXPECT_EQ(2u, host->runPendingCalls());
    EXPECT_EQ(2, calls);

    const size_t requests = host->scheduleRequests();
    EXPECT_FALSE(host->queueMainThreadCall(&countPlainCall, &calls));
    EXPECT_EQ(requests, host->scheduleRequests()); // the browser was not asked
    EXPECT_EQ(2, calls);
}

TEST(MainThreadCalls, ALateDeliveryAfterTheHostIsGoneDoesNothing) {
    auto host = TestBrowserHost::create();
    g_plainCalls = 0;
    ASSERT_TRUE(host->queueMainThreadCall(&countPlainCall, &g_plainCalls));
    host.reset();               // the test host hands queued tickets back as it goes
    EXPECT_EQ(1, g_plainCalls); // run once, by the shutdown in its destructor
}

TEST(MainThreadCalls, AFailingCallStopsNeitherTheLoopNorTheOthers) {
    auto host = TestBrowserHost::create();
    auto api = std::make_shared<TestAPI>();
    host->ScheduleOnMainThread(api, [] { throw std::runtime_error("fails on the main thread"); });
    host->ScheduleOnMainThread(api, [raw = api.get()] { raw->noParams(); });
    EXPECT_NO_THROW(host->runPendingCalls());
    EXPECT_EQ(1, api->calls);
}

TEST(MainThreadCalls, ATicketDeliveredAfterItsManagerIsGoneIsFreedAndIgnored) {
    auto manager = std::make_shared<AsyncCallManager>();
    int calls = 0;
    AsyncCallManager::Ticket* ticket =
        manager->makeCallback(makeFunctorCall([&calls] { ++calls; }));
    EXPECT_EQ(1u, manager->pendingCount());
    manager.reset();
    AsyncCallManager::dispatch(ticket);
    EXPECT_EQ(0, calls);
}

TEST(MainThreadCalls, ACallQueuedWhileTheHostShutsDownRunsOnceOrIsRefused) {
    auto manager = std::make_shared<AsyncCallManager>();
    manager->shutdown();
    EXPECT_EQ(nullptr, manager->makeCallback(makeFunctorCall([] {})));
    EXPECT_EQ(0u, manager->pendingCount());

    // Workers queue calls while the host shuts down: each accepted call runs
    // exactly once, and none after shutdown has returned.
    for (int round = 0; round < 50; ++round) {
        auto host = TestBrowserHost::create();
        std::atomic<int> accepted{0}, ran{0};
        std::atomic<bool> shutDown{false}, ranLate{false};
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t)
            workers.emplace_back([&] {
                for (int i = 0; i < 200; ++i)
                    if (host->ScheduleOnMainThread(host, [&] {
                            ++ran;
                            if (shutDown)
                                ranLate = true;
                        }))
                        ++accepted;
            });
        std::this_thread::yield();
        host->shutdown();
        shutDown = true;
        for (auto& worker : workers)
            worker.join();
        host->runPendingCalls(); // the browser delivers what it was given
        EXPECT_FALSE(ranLate);
        EXPECT_EQ(accepted.load(), ran.load());
    }
}

TEST(CrossThreadCalls, OnTheMainThreadTheCallRunsInline) {
    auto host = TestBrowserHost::create();
    EXPECT_TRUE(host->isMainThread());
    EXPECT_EQ(5, host->CallOnMainThread([] { return 5; }));
    EXPECT_EQ(0u, host->scheduleRequests());
}

TEST(CrossThreadCalls, AWorkerGetsTheValueComputedOnTheMainThread) {
    auto host = TestBrowserHost::create();
    std::thread::id ranOn;
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        EXPECT_FALSE(host->isMainThread());
        result = host->CallOnMainThread([&] {
            ranOn = std::this_thread::get_id();
            return 42;
        });
        done = true;
    });
    EXPECT_TRUE(host->runUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(42, result);
    EXPECT_EQ(std::this_thread::get_id(), ranOn);

    // A reference result comes back as a copy.
    const std::string onMain = "kept on main";
    std::string copied;
    done = false;
    std::thread referenceWorker([&] {
        copied = host->CallOnMainThread([&]() -> const std::string& { return onMain; });
        done = true;
    });
    EXPECT_TRUE(host->runUntil([&] { return done.load(); }));
    referenceWorker.join();
    EXPECT_EQ(onMain, copied);

    std::string text;
    done = false;
    std::thread voidWorker([&] {
        host->CallOnMainThread([&] { text = "set on main"; });
        done = true;
    });
    EXPECT_TRUE(host->runUntil([&] { return done.load(); }));
    voidWorker.join();
    EXPECT_EQ("set on main", text);
}

TEST(CrossThreadCalls, ErrorsOnTheMainThreadReachTheWaiter) {
    auto host = TestBrowserHost::create();
    std::atomic<int> done{0};
    std::string scriptError, otherError;
    std::thread worker([&] {
        scriptError =
            errorOf([&] { host->CallOnMainThread([]() -> int { throw script_error("bad X"); }); });
        ++done;
        // Not only script errors: the waiter must be released in any case.
        otherError = errorOf(
            [&] { host->CallOnMainThread([]() -> int { throw std::runtime_error("boom"); }); });
        ++done;
    });
    EXPECT_TRUE(host->runUntil([&] { return done.load() == 2; }));
    worker.join();
    EXPECT_EQ("bad X", scriptError);
    EXPECT_EQ("boom", otherError);
}

TEST(CrossThreadCalls, ShutdownReleasesAWaiter) {
    auto host = TestBrowserHost::create();
    std::string error;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        error = errorOf([&] { host->CallOnMainThread([] { return 1; }); });
        done = true;
    });
    // Wait until the worker's call is queued, but do not run it.
    while (host->scheduleRequests() == 0)
        std::this_thread::yield();
    EXPECT_FALSE(done);
    host->shutdown();
    worker.join();
    EXPECT_EQ("Shutting down", error);

    std::thread late([&] { error = errorOf([&] { host->CallOnMainThread([] { return 1; }); }); });
    late.join();
    EXPECT_EQ("Could not marshal to main thread", error);
}

TEST(CrossThreadCalls, TheWaiterWaitsSliceAfterSliceAndLeavesAtShutdown) {
    auto host = TestBrowserHost::create();
    host->setCrossThreadWaitSlice(std::chrono::milliseconds(5));

    // A call that takes many slices still hands back its value.
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        result = host->CallOnMainThread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            return 7;
        });
        done = true;
    });
    EXPECT_TRUE(host->runUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(7, result);

    // The host shuts down while the main thread is stuck in the call: the
    // waiter leaves within a slice instead of waiting for the call to end.
    std::atomic<bool> release{false}, started{false};
    std::string error;
    done = false;
    std::thread waiter([&] {
        error = errorOf([&] {
            host->CallOnMainThread([&] {
                started = true;
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return 1;
            });
        });
        done = true;
    });
    std::thread stuckMain([&] { host->runUntil([&] { return started.load(); }); });
    while (!started)
        std::this_thread::yield();
    std::thread closer([&] { host->shutdown(); });
    closer.join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(done.load());
    release = true;
    stuckMain.join();
    waiter.join();
    EXPECT_EQ("Shutting down", error);
}

TEST(CrossThreadCalls, ARefusedScheduleCannotMarshal) {
    auto host = TestBrowserHost::create();
    host->setRefuseScheduling(true);
    std::string error;
    std::thread worker([&] { error = errorOf([&] { host->CallOnMainThread([] { return 1; }); }); });
    worker.join();
    EXPECT_EQ("Could not marshal to main thread", error);
}

TEST(PageCallFunction, InitJSNamesItAfterTheInstance) {
    auto host = TestBrowserHost::create();
    host->initJS(reinterpret_cast<const void*>(std::uintptr_t(16777216)));
    EXPECT_EQ("18874368", host->getUniqueKey());
    EXPECT_EQ("__FW_CALL_18874368", host->getCallFunctionName());
    ASSERT_EQ(1u, host->evaluatedScripts().size());
    EXPECT_EQ("window.__FW_CALL_18874368 = function(delay, f, args, fname) {"
              "   if (arguments.length == 3)"
              "       return setTimeout(function() { f.apply(null, args); }, delay);"
              "   else"
              "       return setTimeout(function() { f[fname].apply(f, args); }, delay);};",
              host->evaluatedScripts()[0]);
    host->initJS(reinterpret_cast<const void*>(std::uintptr_t(16777216)));
    EXPECT_EQ("__FW_CALL_18874368", host->getCallFunctionName());
    EXPECT_EQ(host->evaluatedScripts()[0], host->evaluatedScripts()[1]);
    EXPECT_TRUE(host->window()->HasProperty("__FW_CALL_18874368"));
}

TEST(PageCallFunction, DelayedInvokeCallsTheFunctionOrItsMethod) {
    auto host = TestBrowserHost::create();
    auto function = TestPageObject::makeFunction(host);
    function->setMethod("go", [](const VariantList&) { return variant(); });
    int first = host->delayedInvoke(250, function, VariantList{variant(1)});
    int second = host->delayedInvoke(0, function, VariantList{variant(2)}, "go");
    EXPECT_GT(first, 0);
    EXPECT_NE(first, second);
    // The page call function got three arguments, then four.
    auto callFunction = std::static_pointer_cast<TestPageObject>(host->getJSCallFunction());
    ASSERT_EQ(2u, callFunction->calls().size());
    EXPECT_EQ(3u, callFunction->calls()[0].args.size());
    EXPECT_EQ(4u, callFunction->calls()[1].args.size());
    EXPECT_EQ(250, callFunction->calls()[0].args[0].get<int>());
    EXPECT_EQ("go", callFunction->calls()[1].args[3].get<std::string>());
    ASSERT_EQ(2u, host->pendingTimers().size());
    EXPECT_EQ(250, host->pendingTimers()[0].delay);
    EXPECT_EQ("", host->pendingTimers()[0].method);
    EXPECT_EQ("go", host->pendingTimers()[1].method);
    host->runTimers();
    auto calls = function->calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("", calls[0].method);
    EXPECT_EQ(1, calls[0].args.at(0).get<int>());
    EXPECT_EQ("go", calls[1].method);
    EXPECT_EQ(2, calls[1].args.at(0).get<int>());
}

TEST(PageCallFunction, ReadOncePerHostInstalledWhenMissingAndKeptWhenThePageChangesIt) {
    auto host = TestBrowserHost::create();
    auto function = TestPageObject::makeFunction(host);
    host->setWindowMissing(true);
    EXPECT_FALSE(host->getJSCallFunction());
    EXPECT_EQ(-1, host->delayedInvoke(0, function, VariantList()));
    host->setWindowMissing(false);
    // A page that overwrote the call function before it was read gets it
    // installed again.
    host->initJS(host.get());
    host->window()->setProperty(host->getCallFunctionName(), variant(5));
    EXPECT_GT(host->delayedInvoke(0, function, VariantList()), 0);
    EXPECT_EQ(2u, host->evaluatedScripts().size());
    // Once read, the function is the host's: a page that replaces or deletes
    // the name changes nothing, with no further reads or installs.
    host->window()->setProperty(host->getCallFunctionName(), variant(5));
    host->setScriptDisabled(true);
    EXPECT_GT(host->delayedInvoke(0, function, VariantList()), 0);
    host->window()->RemoveProperty(host->getCallFunctionName());
    EXPECT_GT(host->delayedInvoke(0, function, VariantList()), 0);
    EXPECT_EQ(2u, host->evaluatedScripts().size());
    EXPECT_EQ(3u, host->pendingTimers().size());
    // Shutdown lets go of it.
    host->shutdown();
    host->setWindowMissing(true);
    EXPECT_FALSE(host->getJSCallFunction());

    // Without script, nothing can be scheduled.
    auto scriptless = TestBrowserHost::create();
    scriptless->setScriptDisabled(true);
    EXPECT_EQ(
        -1, scriptless->delayedInvoke(0, TestPageObject::makeFunction(scriptless), VariantList()));
}

TEST(HtmlLog, WritesToThePageConsoleOnTheMainThread) {
    auto host = TestBrowserHost::create();
    host->htmlLog("hello");
    EXPECT_EQ(0u, host->console()->callCount());
    host->runPendingCalls();
    auto calls = host->console()->calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("log", calls[0].method);
    EXPECT_EQ("hello", calls[0].args.at(0).get<std::string>());

    host->setEnableHtmlLog(false);
    host->htmlLog("quiet");
    EXPECT_EQ(0u, host->queuedCalls());
    host->setEnableHtmlLog(true);
    host->setPageHasConsole(false);
    host->htmlLog("nobody listens");
    EXPECT_NO_THROW(host->runPendingCalls());
    EXPECT_EQ(1u, host->console()->callCount());
}

TEST(RetainedObjects, KeptAliveUntilReleasedAndShutDownWithTheHost) {
    struct ShutdownCounter : TestAPI {
        void shutdown() override { ++shutdowns; }
        int shutdowns = 0;
    };
    auto host = TestBrowserHost::create();
    auto kept = std::make_shared<ShutdownCounter>();
    auto released = std::make_shared<ShutdownCounter>();
    std::weak_ptr<ShutdownCounter> weakKept = kept, weakReleased = released;
    host->retainJSAPIPtr(kept);
    host->retainJSAPIPtr(released);
    kept.reset();
    EXPECT_FALSE(weakKept.expired());
    host->releaseJSAPIPtr(released);
    EXPECT_EQ(1, host->deferredReleases());
    EXPECT_EQ(0, released->shutdowns);
    released.reset();
    EXPECT_TRUE(weakReleased.expired());

    host->shutdown();
    EXPECT_TRUE(weakKept.expired());
    EXPECT_EQ(2, host->deferredReleases());
}

TEST(PageObjects, AsynchronousCallsAndPropertyWrites) {
    auto host = TestBrowserHost::create();
    auto object = std::make_shared<TestPageObject>(host);
    object->setMethod("run", [](const VariantList&) { return variant(); });
    object->InvokeAsync("run", VariantList{variant(1)});
    object->SetPropertyAsync("color", variant(std::string("red")));
    EXPECT_TRUE(object->GetProperty("color").is_empty());
    host->runAll();
    EXPECT_EQ("red", object->GetProperty("color").get<std::string>());
    ASSERT_EQ(1u, object->callCount());
    EXPECT_EQ("run", object->calls()[0].method);

    auto orphan = std::make_shared<TestPageObject>(nullptr);
    EXPECT_EQ("Cannot invoke asynchronously", errorOf([&] { orphan->InvokeAsync("", {}); }));
    EXPECT_EQ("Cannot invoke asynchronously",
              errorOf([&] { orphan->SetPropertyAsync("x", variant(1)); }));
}

TEST(PageObjects, ListMapAndReferenceConversions) {
    auto host = TestBrowserHost::create();
    auto array =
        TestPageObject::makeArray(host, VariantList{variant(1), variant(std::string("b"))});
    VariantList list = variant(JSObjectPtr(array)).convert<VariantList>();
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(1, list[0].get<int>());
    EXPECT_EQ("b", list[1].get<std::string>());
    // The array read-out goes through "length" and the indices.
    EXPECT_EQ(3u, variant(JSObjectPtr(array)).convert<VariantMap>().size());

    auto object = std::make_shared<TestPageObject>(host);
    object->setProperty("a", variant(1));
    object->setProperty("b", variant(2));
    VariantMap map = variant(JSAPIPtr(object)).convert<VariantMap>();
    ASSERT_EQ(2u, map.size());
    EXPECT_EQ(2, map.at("b").get<int>());

    EXPECT_TRUE(variant().convert<VariantList>().empty());
    EXPECT_TRUE(variant(JSObjectPtr()).convert<VariantMap>().empty());
    auto api = std::make_shared<TestAPI>();
    EXPECT_THROW(variant(JSAPIPtr(api)).convert<VariantList>(), bad_variant_cast);
    EXPECT_THROW(variant(5).convert<VariantList>(), bad_variant_cast);

    // A page object that wraps one of our own objects gives that object back.
    auto wrapper = std::make_shared<TestPageObject>(host);
    wrapper->setWrappedAPI(api);
    EXPECT_EQ(api, variant(JSObjectPtr(wrapper)).convert<std::shared_ptr<TestAPI>>());
    EXPECT_EQ(JSObjectPtr(wrapper), variant(JSObjectPtr(wrapper)).convert<JSObjectPtr>());
    EXPECT_EQ(api, variant(JSAPIWeakPtr(api)).convert<JSAPIPtr>());
}

TEST(PageObjects, AnArrayWithABadLengthIsRefusedOrEmpty) {
    auto host = TestBrowserHost::create();
    auto liar = TestPageObject::makeArray(host, VariantList{variant(1)});
    liar->setProperty("length", variant(std::string("x")));
    EXPECT_THROW(variant(JSObjectPtr(liar)).convert<VariantList>(), bad_variant_cast);
    liar->setProperty("length", variant(-3));
    EXPECT_TRUE(variant(JSObjectPtr(liar)).convert<VariantList>().empty());
    // A length no array of a page really has ends at once, with a message.
    liar->setProperty("length", variant(2147483647));
    try {
        variant(JSObjectPtr(liar)).convert<VariantList>();
        ADD_FAILURE() << "a length of 2147483647 was read out";
    } catch (const script_error& e) {
        EXPECT_STREQ("Array too long: 2147483647 elements", e.what());
    }
    liar->setProperty("length", variant(static_cast<int>(JSObject::kMaxArrayLength)));
    EXPECT_EQ(static_cast<size_t>(JSObject::kMaxArrayLength),
              variant(JSObjectPtr(liar)).convert<VariantList>().size());
}

TEST(DOMWrappers, ReadAndWriteThroughThePageObjects) {
    auto host = TestBrowserHost::create();
    DOM::WindowPtr window = host->getDOMWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ("http://test.invalid/page.html", window->getLocation());
    window->alert("careful");
    EXPECT_EQ("alert", host->window()->calls().back().method);
    EXPECT_EQ("careful", host->window()->calls().back().args.at(0).get<std::string>());
    JSObjectPtr array = window->createArray();
    ASSERT_TRUE(array);
    array->Invoke("push", VariantList{variant(5)});
    EXPECT_EQ(1, array->GetProperty("length").convert<int>());
    EXPECT_TRUE(window->createMap());

    DOM::DocumentPtr document = window->getDocument();
    ASSERT_TRUE(document);
    EXPECT_EQ(host->document(), document->getJSObject());
    EXPECT_EQ(host->window(), document->getWindow()->getJSObject());
    DOM::ElementPtr body = document->getBody();
    body->setInnerHTML("<p>x</p>");
    EXPECT_EQ("<p>x</p>", body->getInnerHTML());
    DOM::ElementPtr created = document->createElement("div");
    EXPECT_EQ("div", created->getProperty<std::string>("tagName"));

    DOM::ElementPtr element = host->getDOMElement();
    EXPECT_EQ(640, element->getWidth());
    element->setHeight(200);
    EXPECT_EQ(200, element->getHeight());
    EXPECT_FALSE(element->getParentNode()); // no parent: null stays null
    EXPECT_THROW(element->getChildNodeCount(), script_error);

    auto children =
        TestPageObject::makeArray(host, VariantList{variant(JSObjectPtr(host->element()))});
    body->setProperty("childNodes", variant(JSObjectPtr(children)));
    EXPECT_EQ(1, body->getChildNodeCount());
    EXPECT_EQ(host->element(), body->getChildNode(0)->getJSObject());
    host->document()->setMethod("getElementsByTagName", [children](const VariantList&) {
        return variant(JSObjectPtr(children));
    });
    auto found = document->getElementsByTagName(L"div");
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(host->element(), found[0]->getJSObject());
}
