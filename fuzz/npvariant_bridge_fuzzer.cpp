// Values across the NPAPI bridge with a browser whose answers come from the
// input: allocations and property reads that fail, enumerations of any
// identifiers, strings with any bytes and lengths. NPVariant -> script value
// -> NPVariant, script value -> NPVariant -> script value, and browser calls
// into a plug-in object with any identifiers and arguments. Afterwards the
// browser holds no object and no memory block of the plug-in's.
#include <cstring>
#include <string>
#include <vector>

#include "ByteReader.h"
#include "FakeBrowser.h"
#include "FuzzCheck.h"
#include "NPJavascriptObject.h"
#include "NpapiBrowserHost.h"
#include "ScriptRequest.h"
#include "TestAPI.h"
#include "VariantFromBytes.h"

using namespace FW;
using fuzzing::check;
using fuzzing::request;
using FW::Testing::FakeBrowser;

namespace {

fuzzing::ByteReader* g_choices = nullptr;
NPNetscapeFuncs g_honest{};

// The browser's own choices, read from the input as it goes.
uint8_t choice() {
    return g_choices ? g_choices->byte() : 0;
}

void* fuzzMemAlloc(uint32_t size) {
    return choice() == 0xEE ? nullptr : g_honest.memalloc(size);
}

bool fuzzGetProperty(NPP npp, NPObject* object, NPIdentifier name, NPVariant* result) {
    if (choice() == 0xEF)
        return false;
    return g_honest.getproperty(npp, object, name, result);
}

// Page objects enumerate whatever identifiers the input names.
bool fuzzEnumerate(NPP npp, NPObject* object, NPIdentifier** ids, uint32_t* count) {
    if (object->_class != nullptr)
        return g_honest.enumerate(npp, object, ids, count);
    const uint8_t n = choice() % 6;
    if (n == 5)
        return false;
    *count = n;
    *ids = nullptr;
    if (n == 0)
        return true;
    *ids = static_cast<NPIdentifier*>(g_honest.memalloc(n * sizeof(NPIdentifier)));
    for (uint8_t i = 0; i < n; ++i) {
        const uint8_t kind = choice();
        (*ids)[i] = (kind & 1) ? g_honest.getintidentifier(static_cast<int8_t>(choice()))
                               : FakeBrowser::current->id(g_choices->text());
    }
    return true;
}

NPVariant decodeNPVariant(fuzzing::ByteReader& in, FakeBrowser& browser,
                          const std::shared_ptr<Npapi::NpapiBrowserHost>& host, int depth = 0) {
    NPVariant v;
    v.value.objectValue = nullptr;
    const uint8_t kind = in.byte();
    switch (kind % 9) {
    case 0:
        v.type = NPVariantType_Void;
        break;
    case 1:
        v.type = NPVariantType_Null;
        break;
    case 2:
        v.type = NPVariantType_Bool;
        v.value.boolValue = in.flag();
        break;
    case 3:
        v.type = NPVariantType_Int32;
        v.value.intValue = in.number<int32_t>();
        break;
    case 4:
        v.type = NPVariantType_Double;
        v.value.doubleValue = in.number<double>();
        break;
    case 5:
        v = browser.string(in.text());
        break;
    case 6:
        // No characters but a length: the adapter must not read them.
        v.type = NPVariantType_String;
        v.value.stringValue.UTF8Characters = nullptr;
        v.value.stringValue.UTF8Length = in.number<uint32_t>();
        break;
    case 7: {
        if (in.flag()) {
            v.type = NPVariantType_Object;
            v.value.objectValue =
                host->getJSAPIWrapper(std::make_shared<Testing::TestAPI>(), in.flag());
            break;
        }
        NPObject* page = browser.newPageObject();
        const size_t count = depth < 3 ? in.byte() % 4 : 0;
        for (size_t i = 0; i < count; ++i) {
            const std::string name = in.flag() ? std::string("length") : in.text();
            NPVariant value = decodeNPVariant(in, browser, host, depth + 1);
            auto& props = browser.propertiesOf(page);
            auto old = props.find(name);
            if (old != props.end())
                browser.release(old->second);
            if (value.type == NPVariantType_String && !value.value.stringValue.UTF8Characters)
                value.type = NPVariantType_Null; // the page holds only sound strings
            props[name] = value;
        }
        v.type = NPVariantType_Object;
        v.value.objectValue = page;
        break;
    }
    default:
        v.type = static_cast<NPVariantType>(kind);
        break;
    }
    return v;
}

void release(FakeBrowser& browser, NPVariant& v) {
    if (v.type == NPVariantType_String && v.value.stringValue.UTF8Characters == nullptr)
        return;
    if (v.type > NPVariantType_Object)
        return;
    browser.release(v);
}

void valueFromBrowser(fuzzing::ByteReader& in, FakeBrowser& browser,
                      const std::shared_ptr<Npapi::NpapiBrowserHost>& host) {
    NPVariant np = decodeNPVariant(in, browser, host);
    {
        const variant value = host->getVariant(&np);
        request([&] { value.convert<VariantList>(); });
        request([&] { value.convert<VariantMap>(); });
        request([&] { value.convert<std::string>(); });
        request([&] { value.convert<JSAPIPtr>(); });
        NPVariant back;
        host->getNPVariant(&back, value);
        release(browser, back);
    }
    release(browser, np);
}

void valueToBrowser(fuzzing::ByteReader& in, FakeBrowser& browser,
                    const std::shared_ptr<Npapi::NpapiBrowserHost>& host) {
    fuzzing::VariantWorld world{host, {}};
    const variant value = fuzzing::decodeVariant(in, world);
    NPVariant np;
    request([&] {
        host->getNPVariant(&np, value);
        host->getVariant(&np);
        release(browser, np);
    });
}

NPIdentifier identifierFrom(fuzzing::ByteReader& in, FakeBrowser& browser) {
    static const char* const names[] = {"takeLong",
                                        "concat",
                                        "six",
                                        "threeVariants",
                                        "name",
                                        "count",
                                        "fixed",
                                        "toString",
                                        "valid",
                                        "fail",
                                        "short16",
                                        "addEventListener",
                                        "getLastException",
                                        "removeEventListener",
                                        "nope"};
    const uint8_t pick = in.byte();
    if (pick < 150)
        return browser.id(names[pick % (sizeof(names) / sizeof(names[0]))]);
    if (pick < 200)
        return g_honest.getintidentifier(static_cast<int8_t>(in.byte()));
    return browser.id(in.text());
}

// The browser calls a plug-in object the way page script would.
void browserCalls(fuzzing::ByteReader& in, FakeBrowser& browser,
                  const std::shared_ptr<Npapi::NpapiBrowserHost>& host) {
    auto api = std::make_shared<Testing::TestAPI>();
    NPObject* object = host->getJSAPIWrapper(api, false);
    if (object == nullptr)
        return;
    NPClass* cls = object->_class;
    for (int step = 0; step < 8 && !in.empty(); ++step) {
        const NPIdentifier name = identifierFrom(in, browser);
        std::vector<NPVariant> args(in.byte() % 4);
        for (NPVariant& arg : args)
            arg = decodeNPVariant(in, browser, host, 2);
        NPVariant result;
        result.type = NPVariantType_Void;
        result.value.objectValue = nullptr;
        bool answered = false;
        switch (in.byte() % 8) {
        case 0:
            cls->hasMethod(object, name);
            cls->hasProperty(object, name);
            break;
        case 1:
        case 2:
            answered =
                cls->invoke(object, name, args.data(), static_cast<uint32_t>(args.size()), &result);
            break;
        case 3:
            answered = cls->invokeDefault(object, args.data(), static_cast<uint32_t>(args.size()),
                                          &result);
            break;
        case 4:
            answered = cls->getProperty(object, name, &result);
            break;
        case 5:
            if (!args.empty())
                cls->setProperty(object, name, &args[0]);
            break;
        case 6: {
            NPIdentifier* ids = nullptr;
            uint32_t count = 0;
            if (cls->enumerate(object, &ids, &count))
                browser.funcs()->memfree(ids);
            break;
        }
        default:
            cls->removeProperty(object, name);
            if (cls->construct)
                answered = cls->construct(object, args.data(), static_cast<uint32_t>(args.size()),
                                          &result);
            break;
        }
        if (answered)
            release(browser, result);
        for (NPVariant& arg : args)
            release(browser, arg);
    }
    browser.funcs()->releaseobject(object);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::ByteReader in(data, size);
    {
        FakeBrowser browser;
        g_honest = browser.m_funcs;
        browser.m_funcs.memalloc = &fuzzMemAlloc;
        browser.m_funcs.getproperty = &fuzzGetProperty;
        browser.m_funcs.enumerate = &fuzzEnumerate;
        if (in.flag())
            browser.window(); // lists and maps reach the page through its window
        auto host = std::make_shared<Npapi::NpapiBrowserHost>(browser.npp());
        host->setBrowserFuncs(browser.funcs());
        g_choices = &in;
        for (int step = 0; step < 16 && !in.empty(); ++step) {
            switch (in.byte() % 3) {
            case 0:
                valueFromBrowser(in, browser, host);
                break;
            case 1:
                valueToBrowser(in, browser, host);
                break;
            default:
                browserCalls(in, browser, host);
                break;
            }
            browser.runAsyncCalls();
        }
        host->shutdown();
        host.reset();
        browser.runAsyncCalls();
        g_choices = nullptr;
        browser.closeWindow();
        check(browser.liveObjects() == 0);
        check(browser.liveBlocks() == 0);
    }
    return 0;
}
