// The browser's view of a scripting object: member lookup, calls, properties,
// the three members every plug-in object has, and errors as script exceptions.

#include <stdexcept>

#include "NpapiTestSupport.h"
#include "TestAPI.h"

using namespace FW;
using namespace FW::Testing;

namespace {

class ScriptableObject : public NpapiTest {
protected:
    std::shared_ptr<TestAPI> api = makeAPI();
    NPObject* object = nullptr;

    static std::shared_ptr<TestAPI> makeAPI() {
        auto a = std::make_shared<TestAPI>();
        a->registerMethod("throwStd", [](const VariantList&) -> variant {
            throw std::runtime_error("control call failed");
        });
        return a;
    }
    void SetUp() override {
        object = host->getJSAPIWrapper(api, true);
        ASSERT_NE(nullptr, object);
    }
    void TearDown() override {
        if (object)
            browser.m_funcs.releaseobject(object);
        NpapiTest::TearDown();
    }

    NPClass& cls() { return *object->_class; }
    bool hasMethod(const std::string& name) { return cls().hasMethod(object, browser.id(name)); }
    bool hasProperty(const std::string& name) {
        return cls().hasProperty(object, browser.id(name));
    }
    // Calls a member as a browser does: a method directly, otherwise through
    // the function object read from the property.
    bool call(const std::string& name, std::vector<NPVariant> args, NPVariant& result) {
        if (hasMethod(name))
            return cls().invoke(object, browser.id(name), args.data(),
                                static_cast<uint32_t>(args.size()), &result);
        NPVariant function = npVoid();
        if (!cls().getProperty(object, browser.id(name), &function))
            return false;
        EXPECT_EQ(NPVariantType_Object, function.type);
        NPObject* f = function.value.objectValue;
        bool ok =
            f->_class->invokeDefault(f, args.data(), static_cast<uint32_t>(args.size()), &result);
        browser.release(function);
        return ok;
    }
};

} // namespace

TEST_F(ScriptableObject, MemberLookup) {
    EXPECT_TRUE(hasMethod("toString"));
    EXPECT_FALSE(hasProperty("toString"));
    // Methods are offered as callable function objects, so as properties.
    EXPECT_FALSE(hasMethod("takeLong"));
    EXPECT_TRUE(hasProperty("takeLong"));
    EXPECT_TRUE(hasProperty("name"));
    EXPECT_FALSE(hasMethod("name"));
    for (const char* special : {"addEventListener", "removeEventListener", "getLastException"})
        EXPECT_TRUE(hasProperty(special)) << special;
}

// The browser asks hasMethod first for every name the page reads or calls. A
// name the object lacks stays no method, so the browser raises its own error
// for a call, and getLastException names the member instead of an older error.
TEST_F(ScriptableObject, AskingForANameTheObjectLacksMakesItTheLastException) {
    auto lastException = [&] {
        NPVariant function = npVoid(), result = npVoid();
        EXPECT_TRUE(cls().getProperty(object, browser.id("getLastException"), &function));
        NPObject* f = function.value.objectValue;
        EXPECT_TRUE(f->_class->invokeDefault(f, nullptr, 0, &result));
        const std::string text = FakeBrowser::text(result);
        browser.release(result);
        browser.release(function);
        return text;
    };
    NPVariant result = npVoid();
    EXPECT_FALSE(call("throwStd", {}, result));
    EXPECT_FALSE(hasMethod("takeLong"));
    EXPECT_FALSE(hasMethod("name"));
    EXPECT_FALSE(hasMethod("addEventListener"));
    EXPECT_EQ("control call failed", lastException());
    EXPECT_FALSE(hasMethod("attachEvent"));
    EXPECT_EQ("The specified member does not exist: attachEvent", lastException());
    EXPECT_TRUE(browser.exceptions().size() == 1u);
}

TEST_F(ScriptableObject, CallsAndProperties) {
    NPVariant result = npVoid();
    ASSERT_TRUE(call("takeLong", {npInt(21)}, result));
    EXPECT_EQ(NPVariantType_Int32, result.type);
    EXPECT_EQ(42, result.value.intValue);

    NPVariant text = browser.string("two");
    ASSERT_TRUE(call("concat", {npInt(1), text}, result));
    EXPECT_EQ("1two", FakeBrowser::text(result));
    browser.release(result);
    browser.release(text);

    NPVariant name = browser.string("renamed");
    EXPECT_TRUE(cls().setProperty(object, browser.id("name"), &name));
    browser.release(name);
    EXPECT_EQ("renamed", api->name);
    ASSERT_TRUE(cls().getProperty(object, browser.id("name"), &result));
    EXPECT_EQ("renamed", FakeBrowser::text(result));
    browser.release(result);

    // A method object cannot be assigned.
    NPVariant one = npInt(1);
    EXPECT_FALSE(cls().setProperty(object, browser.id("takeLong"), &one));
    ASSERT_FALSE(browser.exceptions().empty());
    EXPECT_EQ("This property cannot be changed", browser.exceptions().back());
}

// A call that the member's own work makes on the same object has its own
// arguments, and no call sees those of an earlier one.
TEST_F(ScriptableObject, EachCallSeesOnlyItsOwnArgumentsEvenWhenNested) {
    api->registerMethod(
        "count", [](const VariantList& args) -> variant { return static_cast<int>(args.size()); });
    api->registerMethod("first", [](const VariantList& args) -> variant { return args.at(0); });
    api->registerMethod("outer", [this](const VariantList& args) -> variant {
        NPVariant inner[] = {npInt(7)};
        NPVariant result = npVoid();
        EXPECT_TRUE(cls().invoke(object, browser.id("first"), inner, 1, &result));
        EXPECT_EQ(7, result.value.intValue);
        return args.at(0).convert<int>() * 100 + static_cast<int>(args.size());
    });
    auto invoke = [&](const std::string& name, std::vector<NPVariant> args) {
        NPVariant result = npVoid();
        EXPECT_TRUE(cls().invoke(object, browser.id(name), args.data(),
                                 static_cast<uint32_t>(args.size()), &result));
        EXPECT_EQ(NPVariantType_Int32, result.type);
        return result.value.intValue;
    };
    EXPECT_EQ(302, invoke("outer", {npInt(3), npInt(4)}));
    EXPECT_EQ(0, invoke("count", {}));
    EXPECT_EQ(9, invoke("first", {npInt(9)}));
    EXPECT_EQ(502, invoke("outer", {npInt(5), npVoid()}));
    EXPECT_EQ(3, invoke("count", {npInt(1), npInt(2), npInt(3)}));
    EXPECT_EQ(0, invoke("count", {}));
}

// The browser may let go of the object while a call on it runs; the call
// still has its arguments.
TEST_F(ScriptableObject, ACallOutlivesItsObjectWithItsArguments) {
    api->registerMethod("dropAndEcho", [this](const VariantList& args) -> variant {
        browser.m_funcs.releaseobject(object);
        object = nullptr;
        return args.at(0);
    });
    NPObject* target = object;
    NPVariant text = browser.string(std::string(100, 'x'));
    NPVariant result = npVoid();
    ASSERT_TRUE(target->_class->invoke(target, browser.id("dropAndEcho"), &text, 1, &result));
    EXPECT_EQ(std::string(100, 'x'), FakeBrowser::text(result));
    browser.release(result);
    browser.release(text);
}

TEST_F(ScriptableObject, ErrorsBecomeScriptExceptionsAndTheLastException) {
    NPVariant result = npVoid();
    EXPECT_FALSE(call("fail", {}, result));
    EXPECT_EQ(NPVariantType_Void, result.type);
    ASSERT_EQ(1u, browser.exceptions().size());
    EXPECT_EQ("inner failure", browser.exceptions().back());

    // A bad argument gets the core's conversion message.
    NPVariant text = browser.string("abc");
    EXPECT_FALSE(call("takeLong", {text}, result));
    browser.release(text);
    ASSERT_EQ(2u, browser.exceptions().size());
    EXPECT_FALSE(browser.exceptions().back().empty());

    // Any other exception from a member ends the call as a failure too.
    EXPECT_FALSE(call("throwStd", {}, result));
    EXPECT_EQ("control call failed", browser.exceptions().back());

    // Every plug-in object reports the last one.
    auto other = std::make_shared<TestAPI>();
    NPObject* otherObject = host->getJSAPIWrapper(other, true);
    NPVariant function = npVoid();
    ASSERT_TRUE(
        otherObject->_class->getProperty(otherObject, browser.id("getLastException"), &function));
    NPObject* f = function.value.objectValue;
    ASSERT_TRUE(f->_class->invokeDefault(f, nullptr, 0, &result));
    EXPECT_EQ("control call failed", FakeBrowser::text(result));
    browser.release(result);
    browser.release(function);
    browser.m_funcs.releaseobject(otherObject);
}

TEST_F(ScriptableObject, EventListenersRegisterUnderOnName) {
    NPObject* handlerObject = browser.newPageObject();
    NPVariant eventName = browser.string("foo");
    NPVariant result = npVoid();
    ASSERT_TRUE(call("addEventListener", {eventName, npObject(handlerObject)}, result));
    EXPECT_EQ(NPVariantType_Void, result.type);
    // Registered for "onfoo": removing it again succeeds, one argument does not.
    ASSERT_TRUE(
        call("removeEventListener", {eventName, npObject(handlerObject), npInt(0)}, result));
    EXPECT_FALSE(call("addEventListener", {eventName}, result));
    EXPECT_EQ("Invalid Arguments", browser.exceptions().back());
    NPVariant notAFunction = npInt(3);
    EXPECT_FALSE(call("addEventListener", {eventName, notAFunction}, result));
    browser.release(eventName);
    browser.m_funcs.releaseobject(handlerObject);
}

TEST_F(ScriptableObject, EnumerateListsMembersAndTheThreeSpecialOnes) {
    NPIdentifier* ids = nullptr;
    uint32_t count = 0;
    ASSERT_TRUE(cls().enumerate(object, &ids, &count));
    std::vector<std::string> names;
    api->getMemberNames(names);
    ASSERT_EQ(names.size() + 3, count);
    EXPECT_EQ(browser.id("addEventListener"), ids[count - 3]);
    EXPECT_EQ(browser.id("getLastException"), ids[count - 1]);
    browser.m_funcs.memfree(ids);
}

TEST_F(ScriptableObject, InvalidObjectsAnswerFalseWithoutException) {
    cls().invalidate(object);
    NPVariant result = npInt(5);
    EXPECT_FALSE(cls().invoke(object, browser.id("takeLong"), nullptr, 0, &result));
    EXPECT_EQ(NPVariantType_Void, result.type);
    EXPECT_FALSE(hasProperty("name"));
    EXPECT_TRUE(browser.exceptions().empty());
}

TEST_F(ScriptableObject, WrapperKeepsTheScriptingObjectAliveUntilReleased) {
    std::weak_ptr<TestAPI> weak = api;
    api.reset();
    EXPECT_FALSE(weak.expired()); // the host holds it for the browser's wrapper
    browser.m_funcs.releaseobject(object);
    object = nullptr;
    EXPECT_TRUE(weak.expired());
}

TEST_F(ScriptableObject, SpecialMemberOutlivingItsWrapperFailsCleanly) {
    NPVariant function = npVoid();
    ASSERT_TRUE(cls().getProperty(object, browser.id("addEventListener"), &function));
    browser.m_funcs.releaseobject(object);
    object = nullptr;
    NPObject* f = function.value.objectValue;
    NPVariant name = browser.string("foo");
    NPVariant args[2] = {name, npInt(1)};
    NPVariant result = npVoid();
    EXPECT_FALSE(f->_class->invokeDefault(f, args, 2, &result));
    EXPECT_EQ("Invalid Arguments", browser.exceptions().back());
    browser.release(name);
    browser.release(function);
}
