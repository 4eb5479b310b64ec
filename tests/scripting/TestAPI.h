#pragma once
// A small scripting object with members of every kind the registry handles.

#include <string>

#include "JSAPIAuto.h"
#include "JSObject.h"

namespace FW {
namespace Testing {

class TestAPI : public JSAPIAuto {
public:
    TestAPI() : JSAPIAuto("<test object>") {
        registerMethod("takeLong", make_method(this, &TestAPI::takeLong));
        registerMethod("takeTwoLongs", make_method(this, &TestAPI::takeTwoLongs));
        registerMethod("threeVariants", make_method(this, &TestAPI::threeVariants));
        registerMethod("noParams", make_method(this, &TestAPI::noParams));
        registerMethod("concat", make_method(this, &TestAPI::concat));
        registerMethod("six", make_method(this, &TestAPI::six));
        registerMethod("fail", make_method(this, &TestAPI::fail));
        registerMethod("castInside", make_method(this, &TestAPI::castInside));
        registerMethod("reenter", make_method(this, &TestAPI::reenter));
        registerMethod("short16", make_method(this, &TestAPI::short16));
        registerMethod("takeObject", make_method(this, &TestAPI::takeObject));
        registerProperty("name", make_property(this, &TestAPI::getName, &TestAPI::setName));
        registerProperty("count", make_property(this, &TestAPI::getCount, &TestAPI::setCount));
        registerProperty("fixed", make_property(this, &TestAPI::getName));
    }

    long takeLong(long value) {
        lastLong = value;
        ++calls;
        return value * 2;
    }
    long takeTwoLongs(long a, long b) { return a + b; }
    VariantList threeVariants(const variant& a, const variant& b, const variant& c) {
        return VariantList{a, b, c};
    }
    void noParams() { ++calls; }
    std::string concat(long number, const std::string& text) {
        return std::to_string(number) + text;
    }
    std::string six(int a, short b, double c, bool d, const std::string& e, const variant& f) {
        return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," +
               (d ? "true" : "false") + "," + e + "," + (f.is_empty() ? "empty" : "set");
    }
    long fail() { throw script_error("inner failure"); }
    long castInside() { return variant(std::string("abc")).convert<long>(); }
    // Calls back into its own object on the same thread.
    long reenter(long value) {
        return Invoke("takeLong", VariantList{variant(value)}).convert<long>();
    }
    short short16(short value) { return value; }
    bool takeObject(const JSObjectPtr& object) { return object != nullptr; }

    std::string getName() const { return name; }
    void setName(const std::string& value) { name = value; }
    long getCount() const { return count; }
    void setCount(long value) { count = value; }

    long lastLong = 0;
    int calls = 0;
    std::string name = "initial";
    long count = 0;
};

} // namespace Testing
} // namespace FW
