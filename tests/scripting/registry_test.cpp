// The member registry of scripting objects: argument conversion and counting,
// properties, attributes, zones, method objects and invalidation.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "JSFunction.h"
#include "TestAPI.h"

using namespace FW;
using FW::Testing::TestAPI;

namespace {

std::shared_ptr<TestAPI> makeAPI() {
    return std::make_shared<TestAPI>();
}

template <class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const script_error& e) {
        return e.what();
    }
    return "<no error>";
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

TEST(MethodArguments, ConvertsCountsAndReportsEachFailure) {
    auto api = makeAPI();
    EXPECT_EQ("Error: Argument 1is not optional.",
              errorOf([&] { api->Invoke("takeLong", VariantList()); }));
    std::string conversion =
        errorOf([&] { api->Invoke("takeLong", VariantList{variant(std::string("x"))}); });
    EXPECT_EQ("Invalid argument conversion from string to integer at index 1", conversion);
    EXPECT_EQ("Too many arguments, expected 1.", errorOf([&] {
                  api->Invoke("takeLong", VariantList{variant(1), variant(2)});
              }));
    EXPECT_EQ(0, api->calls);

    EXPECT_EQ(24, api->Invoke("takeLong", VariantList{variant(std::string("12"))}).convert<long>());
    EXPECT_EQ(12, api->lastLong);
}

// The texts name types as page script knows them, the same whichever browser
// delivered the value (an integer arrives as int from one and long from the
// other).
TEST(MethodArguments, RefusedArgumentsAreNamedInAPageAuthorsWords) {
    auto api = makeAPI();
    for (const variant& big : {variant(70000), variant(70000L)})
        EXPECT_EQ("Invalid argument conversion from number to 16-bit integer at index 1",
                  errorOf([&] { api->Invoke("short16", VariantList{big}); }));
    EXPECT_EQ("Invalid argument conversion from string to 16-bit integer at index 1",
              errorOf([&] { api->Invoke("short16", VariantList{variant("many")}); }));
    EXPECT_EQ("Invalid argument conversion from object to integer at index 1",
              errorOf([&] { api->Invoke("takeLong", VariantList{variant(VariantList{})}); }));
    EXPECT_EQ("Invalid argument conversion from null to integer at index 1", errorOf([&] {
                  api->Invoke("takeLong", VariantList{variant(variant_detail::null())});
              }));
    const variant list = api->GetMethodObject("takeLong");
    EXPECT_EQ("Invalid argument conversion from boolean to object at index 2", errorOf([&] {
                  list.convert<JSAPIPtr>()->Invoke("apply", VariantList{variant(), variant(true)});
              }));
}

TEST(MethodArguments, ExaminesTheLastParameterFirst) {
    auto api = makeAPI();
    const VariantList twoBad{variant(std::string("x")), variant(std::string("y"))};
    EXPECT_TRUE(endsWith(errorOf([&] { api->Invoke("takeTwoLongs", twoBad); }), "at index 2"));
    // The count is checked together with the last parameter, before any conversion.
    const VariantList threeBad{variant(std::string("x")), variant(std::string("y")), variant(1)};
    EXPECT_EQ("Too many arguments, expected 2.",
              errorOf([&] { api->Invoke("takeTwoLongs", threeBad); }));
    EXPECT_EQ("Error: Argument 2is not optional.",
              errorOf([&] { api->Invoke("takeTwoLongs", VariantList{variant(1)}); }));
    // A short refuses what does not fit in 16 bits.
    EXPECT_TRUE(endsWith(errorOf([&] { api->Invoke("short16", VariantList{variant(70000)}); }),
                         "at index 1"));
    EXPECT_EQ(-5, api->Invoke("short16", VariantList{variant(-5.7)}).convert<int>());
}

TEST(MethodArguments, VariantsAreOptionalAndExtraArgumentsAreIgnoredWithoutParameters) {
    auto api = makeAPI();
    variant result = api->Invoke("threeVariants", VariantList{variant(std::string("a"))});
    const VariantList& received = result.get<VariantList>();
    ASSERT_EQ(3u, received.size());
    EXPECT_EQ("a", received[0].get<std::string>());
    EXPECT_TRUE(received[1].is_empty());
    EXPECT_TRUE(received[2].is_empty());

    VariantList five(5, variant(1));
    EXPECT_TRUE(api->Invoke("noParams", five).is_empty());
    EXPECT_EQ(1, api->calls);
}

TEST(MethodArguments, SixParametersOfMixedTypes) {
    auto api = makeAPI();
    variant result = api->Invoke(
        "six", VariantList{variant(std::string("7")), variant(8), variant(std::string("2.5")),
                           variant(std::string("yes")), variant(42), variant(1)});
    EXPECT_EQ("7,8,2.500000,true,42,set", result.get<std::string>());
    EXPECT_EQ("Too many arguments, expected 6.",
              errorOf([&] { api->Invoke("six", VariantList(7, variant(1))); }));
    EXPECT_EQ("3abc", api->Invoke("concat", VariantList{variant(3), variant(std::string("abc"))})
                          .get<std::string>());
    // Wide text reaches a narrow string parameter as UTF-8.
    EXPECT_EQ(
        "1\xC3\xA9",
        api->Invoke(L"concat", VariantList{variant(1), variant(L"\u00e9")}).get<std::string>());
}

TEST(MethodArguments, ErrorsInsideMethodsReachTheCaller) {
    auto api = makeAPI();
    EXPECT_EQ("inner failure", errorOf([&] { api->Invoke("fail", VariantList()); }));
    std::string cast = errorOf([&] { api->Invoke("castInside", VariantList()); });
    EXPECT_TRUE(startsWith(cast, "Could not convert from ")) << cast;
    EXPECT_THROW(api->Invoke("castInside", VariantList()), invalid_arguments);
    EXPECT_EQ(14, api->Invoke("reenter", VariantList{variant(7)}).convert<long>());
}

TEST(Registry, UnknownMembersAndConstruct) {
    auto api = makeAPI();
    EXPECT_EQ("The specified member does not exist: nothing",
              errorOf([&] { api->Invoke("nothing", VariantList()); }));
    EXPECT_THROW(api->Invoke("nothing", VariantList()), invalid_member);
    EXPECT_EQ("The specified member does not exist: constructor",
              errorOf([&] { api->Construct(VariantList()); }));
    EXPECT_THROW(api->Construct(VariantList()), invalid_member);
}

TEST(Registry, DefaultMembersAndReservedNames) {
    auto api = makeAPI();
    EXPECT_EQ("<test object>", api->Invoke("toString", VariantList()).get<std::string>());
    EXPECT_EQ("<test object>", api->GetProperty("value").get<std::string>());
    EXPECT_TRUE(api->GetProperty("valid").get<bool>());
    api->Invoke("setAttribute", VariantList{variant(std::string("color")), variant(3)});
    EXPECT_EQ(3,
              api->Invoke("getAttribute", VariantList{variant(std::string("color"))}).get<int>());

    EXPECT_FALSE(api->HasProperty("offsetWidth"));
    EXPECT_FALSE(api->HasProperty("constructor"));
    EXPECT_TRUE(api->HasProperty("anythingElse"));
    EXPECT_TRUE(api->HasProperty(L"anythingElse"));
    EXPECT_TRUE(api->HasProperty("takeLong")); // as a method object
    EXPECT_TRUE(api->HasMethod("takeLong"));
    EXPECT_FALSE(api->HasMethod("name"));

    std::vector<std::string> names;
    api->getMemberNames(names);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const char* expected : {"getAttribute", "setAttribute", "toString", "valid", "value",
                                 "takeLong", "name", "fixed"})
        EXPECT_NE(names.end(), std::find(names.begin(), names.end(), expected)) << expected;
    EXPECT_EQ(names.size(), api->getMemberCount());
    std::vector<std::wstring> wideNames;
    api->getMemberNames(wideNames);
    EXPECT_EQ(names.size(), wideNames.size());
}

TEST(Registry, DynamicAttributes) {
    auto api = makeAPI();
    EXPECT_TRUE(api->GetProperty("later").is_empty());
    api->SetProperty("later", variant(5));
    std::vector<std::string> names;
    api->getMemberNames(names);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "later"));
    EXPECT_EQ(5, api->GetProperty("later").get<int>());
    api->RemoveProperty("later");
    EXPECT_TRUE(api->GetProperty("later").is_empty());

    api->SetProperty(3, variant(std::string("three")));
    EXPECT_TRUE(api->HasProperty(3));
    EXPECT_EQ("three", api->GetProperty(3).get<std::string>());
    EXPECT_EQ("three", api->GetProperty("3").get<std::string>());
    api->RemoveProperty(3);
    EXPECT_TRUE(api->GetProperty(3).is_empty());
    EXPECT_THROW(api->RemoveProperty(3), invalid_member);
}

TEST(Registry, ReadOnlyAttributes) {
    auto api = makeAPI();
    api->registerAttribute("locked", variant(1), true);
    EXPECT_EQ("Cannot set read-only property locked",
              errorOf([&] { api->setAttribute("locked", variant(2)); }));
    EXPECT_EQ("Cannot remove read-only property locked",
              errorOf([&] { api->unregisterAttribute("locked"); }));
    // Removing through script leaves a read-only attribute alone.
    api->RemoveProperty("locked");
    EXPECT_EQ(1, api->GetProperty("locked").get<int>());
    // With dynamic attributes script may overwrite it, and it becomes writable.
    api->SetProperty("locked", variant(2));
    EXPECT_EQ(2, api->GetProperty("locked").get<int>());
    api->setAttribute("locked", variant(3));
    EXPECT_EQ(3, api->getAttribute("locked").get<int>());
}

TEST(Registry, PropertiesWithAndWithoutSetters) {
    auto api = makeAPI();
    EXPECT_EQ("initial", api->GetProperty("name").get<std::string>());
    api->SetProperty("name", variant(12));
    EXPECT_EQ("12", api->name);
    api->SetProperty("count", variant(std::string("41")));
    EXPECT_EQ(41, api->count);
    std::string refused = errorOf([&] { api->SetProperty("count", variant(std::string("x"))); });
    EXPECT_TRUE(startsWith(refused, "Could not convert from ")) << refused;
    EXPECT_EQ(41, api->count);
    EXPECT_EQ("call to empty boost::function",
              errorOf([&] { api->SetProperty("fixed", variant(1)); }));
    EXPECT_EQ("12", api->GetProperty(L"fixed").get<std::string>());
}

TEST(Registry, WithoutDynamicAttributesUnknownNamesAreRefused) {
    struct StrictAPI : TestAPI {
        StrictAPI() { m_allowDynamicAttributes = false; }
    };
    auto api = std::make_shared<StrictAPI>();
    EXPECT_FALSE(api->HasProperty("later"));
    EXPECT_FALSE(api->HasProperty(0));
    EXPECT_THROW(api->GetProperty("later"), invalid_member);
    EXPECT_THROW(api->SetProperty("later", variant(1)), invalid_member);
    EXPECT_THROW(api->GetProperty(0), invalid_member);
    EXPECT_EQ("The specified member does not exist: 0",
              errorOf([&] { api->SetProperty(0, variant(1)); }));
    api->registerAttribute("open", variant(1));
    api->SetProperty("open", variant(2));
    EXPECT_EQ(2, api->GetProperty("open").get<int>());
    api->registerAttribute("shut", variant(1), true);
    EXPECT_THROW(api->SetProperty("shut", variant(2)), invalid_member);
}

TEST(Zones, MembersRegisteredInAHigherZoneAreInvisibleBelowIt) {
    auto api = makeAPI();
    {
        ScopedZone zone(*api, 2);
        api->registerMethod("secret", make_method(api.get(), &TestAPI::takeLong));
    }
    for (int zone : {0, 1}) {
        ScopedZone scoped(*api, zone);
        EXPECT_FALSE(api->HasMethod("secret"));
        std::vector<std::string> names;
        api->getMemberNames(names);
        EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "secret"));
        EXPECT_THROW(api->Invoke("secret", VariantList{variant(1)}), invalid_member);
        EXPECT_THROW(api->GetMethodObject("secret"), invalid_member);
    }
    for (int zone : {2, 3}) {
        ScopedZone scoped(*api, zone);
        EXPECT_TRUE(api->HasMethod("secret"));
        EXPECT_EQ(2, api->Invoke("secret", VariantList{variant(1)}).convert<long>());
    }
    EXPECT_EQ(0, api->getZone());
}

TEST(Zones, DefaultZoneIsTheBottomOfTheStack) {
    auto api = makeAPI();
    api->setDefaultZone(5);
    EXPECT_EQ(5, api->getDefaultZone());
    EXPECT_EQ(5, api->getZone());
    api->pushZone(1);
    EXPECT_EQ(1, api->getZone());
    EXPECT_EQ(5, api->getDefaultZone());
    api->popZone();
    EXPECT_EQ(5, api->getZone());
}

TEST(Zones, AnUnmatchedPopIsIgnored) {
    auto api = makeAPI();
    api->setDefaultZone(3);
    api->popZone(); // nothing pushed: the default zone stays
    EXPECT_EQ(3, api->getZone());

    // A pop from a thread that pushed nothing leaves another thread's zone.
    api->pushZone(1);
    std::thread other([&] { api->popZone(); });
    other.join();
    EXPECT_EQ(1, api->getZone());
    api->popZone();
    EXPECT_EQ(3, api->getZone());
    api->popZone();
    EXPECT_EQ(3, api->getZone());

    // The lock is free again: another thread can take a zone of its own.
    int seen = 0;
    std::thread later([&] {
        ScopedZone zone(*api, 4);
        seen = api->getZone();
    });
    later.join();
    EXPECT_EQ(4, seen);
}

TEST(Zones, APushedZoneKeepsOtherThreadsOutUntilItIsPopped) {
    auto api = makeAPI();
    {
        ScopedZone zone(*api, 2);
        api->registerMethod("secret", make_method(api.get(), &TestAPI::takeLong));
    }
    api->pushZone(2);
    std::atomic<bool> finished{false};
    std::string otherThreadSaw;
    std::thread other([&] {
        // Must not see this thread's zone 2: it waits until the zone is popped.
        otherThreadSaw = errorOf([&] { api->Invoke("secret", VariantList{variant(1)}); });
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(finished);
    EXPECT_EQ(2, api->Invoke("secret", VariantList{variant(1)}).convert<long>());
    api->popZone();
    other.join();
    EXPECT_EQ("The specified member does not exist: secret", otherThreadSaw);
}

TEST(MethodObjects, CachedPerNameAndZone) {
    auto api = makeAPI();
    variant first = api->GetProperty("takeLong");
    variant second = api->GetProperty("takeLong");
    ASSERT_TRUE(first.holds<JSAPIPtr>());
    EXPECT_EQ(first.get<JSAPIPtr>(), second.get<JSAPIPtr>());
    JSAPIPtr inZoneOne;
    {
        ScopedZone zone(*api, 1);
        inZoneOne = api->GetMethodObject("takeLong");
    }
    EXPECT_NE(first.get<JSAPIPtr>(), inZoneOne);
    EXPECT_NE(api->GetMethodObject("takeLong"), api->GetMethodObject("concat"));
    EXPECT_EQ("takeLong()", inZoneOne->Invoke("toString", VariantList()).get<std::string>());
}

TEST(MethodObjects, CallApplyAndDirectCalls) {
    auto api = makeAPI();
    JSAPIPtr method = api->GetMethodObject("takeLong");
    EXPECT_TRUE(method->HasMethod(""));
    EXPECT_TRUE(method->HasMethod("call"));
    EXPECT_TRUE(method->HasMethod("apply"));
    EXPECT_FALSE(method->HasProperty("call"));
    EXPECT_FALSE(method->HasProperty("apply"));
    EXPECT_FALSE(method->HasMethodObject("toString"));
    EXPECT_TRUE(method->HasProperty("offsetWidth")); // its reserved set is empty

    EXPECT_EQ(6, method->Invoke("", VariantList{variant(3)}).convert<long>());
    // "call" drops the script's this.
    EXPECT_EQ(
        10,
        method->Invoke("call", VariantList{variant(JSAPIPtr(api)), variant(5)}).convert<long>());
    EXPECT_EQ(14, method
                      ->Invoke("apply", VariantList{variant(JSAPIPtr(api)),
                                                    variant(VariantList{variant(7)})})
                      .convert<long>());
    EXPECT_EQ("Error: Argument 1is not optional.",
              errorOf([&] { method->Invoke("apply", VariantList{variant(JSAPIPtr(api))}); }));
    // An argument list that is not a list is an argument error of its own.
    const std::string notAList = errorOf([&] {
        method->Invoke("apply", VariantList{variant(JSAPIPtr(api)), variant(9)});
    });
    EXPECT_EQ("Invalid argument conversion from number to object at index 2", notAList);
}

TEST(MethodArguments, AValueWhereAnObjectIsExpectedIsAConversionError) {
    auto api = makeAPI();
    EXPECT_FALSE(api->Invoke("takeObject", VariantList{variant()}).convert<bool>());
    for (const variant& value : {variant(5), variant("text"), variant(2.5), variant(true)}) {
        const std::string error = errorOf([&] { api->Invoke("takeObject", VariantList{value}); });
        EXPECT_TRUE(startsWith(error, "Invalid argument conversion from ")) << error;
        EXPECT_TRUE(endsWith(error, " to object at index 1")) << error;
    }
    EXPECT_THROW(api->Invoke("takeObject", VariantList{variant(2.5)}), invalid_arguments);
    const std::string throughApply = errorOf([&] {
        api->GetMethodObject("takeObject")
            ->Invoke("apply", VariantList{variant(), variant(VariantList{variant(true)})});
    });
    EXPECT_EQ("Invalid argument conversion from boolean to object at index 1", throughApply);
}

TEST(MethodObjects, RunInTheirOwnZoneAndOutliveNoOwner) {
    auto api = makeAPI();
    {
        ScopedZone zone(*api, 2);
        api->registerMethod("secret", make_method(api.get(), &TestAPI::takeLong));
    }
    JSAPIPtr method;
    {
        ScopedZone zone(*api, 2);
        method = api->GetMethodObject("secret");
    }
    EXPECT_EQ(0, api->getZone());
    EXPECT_EQ(8, method->Invoke("", VariantList{variant(4)}).convert<long>());
    EXPECT_EQ(0, api->getZone());

    api.reset();
    EXPECT_EQ("Invalid JSAPI object", errorOf([&] { method->Invoke("", VariantList()); }));
}

TEST(Invalidation, InvalidObjectsRefuseEverythingButListing) {
    auto api = makeAPI();
    api->invalidate();
    EXPECT_FALSE(api->HasMethod("takeLong"));
    EXPECT_FALSE(api->HasMethodObject("takeLong"));
    EXPECT_FALSE(api->HasProperty("name"));
    EXPECT_FALSE(api->HasProperty(0));
    EXPECT_EQ("This object is no longer valid",
              errorOf([&] { api->Invoke("takeLong", VariantList{variant(1)}); }));
    EXPECT_THROW(api->GetProperty("name"), object_invalidated);
    EXPECT_THROW(api->SetProperty("name", variant(1)), object_invalidated);
    EXPECT_THROW(api->RemoveProperty("name"), object_invalidated);
    EXPECT_THROW(api->GetMethodObject("takeLong"), object_invalidated);
    std::vector<std::string> names;
    api->getMemberNames(names);
    EXPECT_FALSE(names.empty());
    EXPECT_EQ(names.size(), api->getMemberCount());
}

TEST(Registry, UnregisteringRemovesTheMemberAndItsZone) {
    auto api = makeAPI();
    api->unregisterMethod("takeLong");
    api->unregisterProperty(L"name");
    EXPECT_FALSE(api->HasMethod("takeLong"));
    EXPECT_THROW(api->Invoke("takeLong", VariantList{variant(1)}), invalid_member);
    std::vector<std::string> names;
    api->getMemberNames(names);
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "takeLong"));
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "name"));
    EXPECT_TRUE(api->GetProperty("name").is_empty());
}

TEST(Registry, ANameSharedByAMethodAndAnAttributeFollowsTheZoneRecord) {
    auto api = makeAPI();
    api->registerAttribute("takeLong", variant(5));
    EXPECT_TRUE(api->GetProperty("takeLong").holds<JSAPIPtr>()); // the method comes first
    api->unregisterAttribute("takeLong");                        // takes the zone record along
    EXPECT_FALSE(api->HasMethod("takeLong"));
    api->registerMethod("takeLong", make_method(api.get(), &TestAPI::takeLong));
    EXPECT_EQ(6, api->Invoke("takeLong", VariantList{variant(3)}).convert<int>());
    EXPECT_TRUE(api->getAttribute("takeLong").is_empty());
}

TEST(MethodObjects, TheSameObjectOnceTheMethodIsRegisteredAgain) {
    auto api = makeAPI();
    JSAPIPtr before = api->GetMethodObject("concat");
    api->unregisterMethod("concat");
    EXPECT_TRUE(api->GetProperty("concat").is_empty());
    api->registerMethod("concat", make_method(api.get(), &TestAPI::concat));
    EXPECT_EQ(before, api->GetProperty("concat").get<JSAPIPtr>());
    // Method objects reserve no names of their own.
    EXPECT_TRUE(before->HasProperty("offsetWidth"));
}
