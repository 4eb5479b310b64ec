// The member-call path of an auto-dispatch object driven by any sequence of
// script requests: members registered and removed in security zones, calls
// by any name with any argument list, properties, attributes and method
// objects. Every request answers a value or a script error (or the refused
// conversion behind one); zones pushed are popped in order.
#include <cstdlib>
#include <string>
#include <typeinfo>
#include <vector>

#include "ByteReader.h"
#include "JSFunction.h"
#include "ScriptRequest.h"
#include "VariantFromBytes.h"

using namespace FW;
using fuzzing::request;

namespace {

class FuzzAPI : public JSAPIAuto {
public:
    FuzzAPI() : JSAPIAuto("<fuzz object>") {
        registerMethod("takeLong", make_method(this, &FuzzAPI::takeLong));
        registerMethod("takeShort", make_method(this, &FuzzAPI::takeShort));
        registerMethod("concat", make_method(this, &FuzzAPI::concat));
        registerMethod("wide", make_method(this, &FuzzAPI::wide));
        registerMethod("six", make_method(this, &FuzzAPI::six));
        registerMethod("list", make_method(this, &FuzzAPI::list));
        registerMethod("map", make_method(this, &FuzzAPI::map));
        registerMethod("object", make_method(this, &FuzzAPI::object));
        registerMethod("echo", make_method(this, &FuzzAPI::echo));
        registerMethod("fail", make_method(this, &FuzzAPI::fail));
        registerProperty("name", make_property(this, &FuzzAPI::getName, &FuzzAPI::setName));
        registerProperty("fixed", make_property(this, &FuzzAPI::getName));
    }

    long takeLong(long value) { return value; }
    short takeShort(short value) { return value; }
    std::string concat(long number, const std::string& text) {
        return std::to_string(number) + text;
    }
    std::wstring wide(const std::wstring& text) { return text; }
    std::string six(int a, unsigned short b, double c, bool d, const std::string& e,
                    const variant& f) {
        return std::to_string(a) + std::to_string(b) + std::to_string(c) + (d ? "t" : "f") + e +
               (f.is_empty() ? "" : "+");
    }
    size_t list(const VariantList& values) { return values.size(); }
    size_t map(const VariantMap& values) { return values.size(); }
    bool object(const JSAPIPtr& api) { return api != nullptr; }
    variant echo(const variant& value) { return value; }
    long fail(const std::string& message) { throw script_error(message); }

    std::string getName() const { return m_name; }
    void setName(const std::string& value) { m_name = value; }

private:
    std::string m_name = "initial";
};

const char* const kNames[] = {
    "takeLong", "takeShort",    "concat",       "wide",  "six",   "list",     "map",
    "object",   "echo",         "fail",         "name",  "fixed", "toString", "valid",
    "value",    "getAttribute", "setAttribute", "extra", "",      "call",     "apply"};

std::string nameFrom(fuzzing::ByteReader& in) {
    const uint8_t pick = in.byte();
    if (pick < 200)
        return kNames[pick % (sizeof(kNames) / sizeof(kNames[0]))];
    return in.text();
}

VariantList argsFrom(fuzzing::ByteReader& in, fuzzing::VariantWorld& world) {
    VariantList args;
    const size_t count = in.byte() % 8;
    for (size_t i = 0; i < count; ++i)
        args.push_back(fuzzing::decodeVariant(in, world, 1));
    return args;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const BrowserHostPtr host = Testing::TestBrowserHost::create();
    fuzzing::ByteReader in(data, size);
    fuzzing::VariantWorld world{host, {}};
    auto api = std::make_shared<FuzzAPI>();
    int pushed = 0;
    bool valid = true;
    for (int step = 0; step < 64 && !in.empty(); ++step) {
        switch (in.byte() % 14) {
        case 0:
            if (pushed < 8) {
                api->pushZone(static_cast<int8_t>(in.byte()));
                ++pushed;
            }
            break;
        case 1:
            if (pushed > 0) {
                api->popZone();
                --pushed;
            }
            break;
        case 2:
        case 3: {
            const std::string name = nameFrom(in);
            const VariantList args = argsFrom(in, world);
            request([&] { api->Invoke(name, args); });
            break;
        }
        case 4: {
            const std::string name = nameFrom(in);
            const variant value = fuzzing::decodeVariant(in, world, 1);
            request([&] { api->SetProperty(name, value); });
            break;
        }
        case 5: {
            const std::string name = nameFrom(in);
            request([&] { api->GetProperty(name); });
            break;
        }
        case 6: {
            const std::string name = nameFrom(in);
            request([&] {
                api->registerMethod(name, [](const VariantList& args) {
                    return variant(static_cast<long>(args.size()));
                });
            });
            break;
        }
        case 7: {
            const std::string name = nameFrom(in);
            request([&] { api->unregisterMethod(name); });
            break;
        }
        case 8: {
            const std::string name = nameFrom(in);
            const variant value = fuzzing::decodeVariant(in, world, 1);
            const bool readOnly = in.flag();
            request([&] { api->registerAttribute(name, value, readOnly); });
            break;
        }
        case 9: {
            std::vector<std::string> names;
            api->getMemberNames(names);
            // A live object lists only members it answers for.
            for (const std::string& name : names) {
                if (valid && !api->HasMethod(name) && !api->HasProperty(name))
                    std::abort();
            }
            api->getMemberCount();
            break;
        }
        case 10: {
            // A method read as a property, called directly or through
            // "call" and "apply".
            const std::string name = nameFrom(in);
            const std::string how = in.flag() ? (in.flag() ? "call" : "apply") : "";
            const VariantList args = argsFrom(in, world);
            request([&] {
                if (JSAPIPtr method = api->GetMethodObject(name))
                    method->Invoke(how, args);
            });
            break;
        }
        case 11: {
            const int index = in.number<int8_t>();
            const variant value = fuzzing::decodeVariant(in, world, 1);
            request([&] { api->SetProperty(index, value); });
            request([&] { api->GetProperty(index); });
            request([&] { api->RemoveProperty(index); });
            break;
        }
        case 12: {
            const std::string name = nameFrom(in);
            request([&] { api->RemoveProperty(name); });
            request([&] { api->unregisterProperty(name); });
            break;
        }
        default: {
            const VariantList args = argsFrom(in, world);
            request([&] { api->Construct(args); });
            if (in.byte() == 0xA5) {
                api->invalidate();
                valid = false;
            }
            break;
        }
        }
    }
    while (pushed-- > 0)
        api->popZone();
    return 0;
}
