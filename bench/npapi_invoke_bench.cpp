// Cost of a browser's NPClass::invoke on a scriptable object of ours, next to
// a hand-written NPClass::invoke that converts the same two arguments and
// calls the same member function, both on the same in-process test browser.

#include <cstdio>
#include <memory>
#include <cstdlib>
#include <new>

#include "FakeBrowser.h"
#include "JSAPIAuto.h"
#include "MethodConverter.h"
#include "NPJavascriptObject.h"
#include "NpapiBrowserHost.h"
#include "bench_timing.h"

namespace {

__attribute__((noinline)) long setBufferTick(long tick, long frames) {
    long answer = 0;
    asm volatile("" : : "g"(tick), "g"(frames) : "memory");
    return answer;
}

class TickAPI : public FW::JSAPIAuto {
public:
    TickAPI() {
        // About fifty members, as the camera's object has.
        for (int i = 0; i < 48; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "Member%02d", i);
            registerMethod(name, FW::make_method(this, &TickAPI::tick));
        }
        registerMethod("SetBufferTick", FW::make_method(this, &TickAPI::tick));
    }
    long tick(long tick, long frames) { return setBufferTick(tick, frames); }
};

// The hand-written object: one method, its arguments read straight from the
// browser's values.
NPIdentifier s_setBufferTick = nullptr;

bool toLong(const NPVariant& value, long* out) {
    if (value.type == NPVariantType_Int32)
        *out = value.value.intValue;
    else if (value.type == NPVariantType_Double)
        *out = static_cast<long>(value.value.doubleValue);
    else
        return false;
    return true;
}

NPObject* allocatePlain(NPP, NPClass*) {
    return new (std::nothrow) NPObject();
}
void deallocatePlain(NPObject* object) {
    delete object;
}
bool invokePlain(NPObject*, NPIdentifier name, const NPVariant* args, uint32_t count,
                 NPVariant* result) {
    long tick = 0, frames = 0;
    if (name != s_setBufferTick || count != 2 || !toLong(args[0], &tick) ||
        !toLong(args[1], &frames))
        return false;
    result->type = NPVariantType_Int32;
    result->value.intValue = static_cast<int32_t>(setBufferTick(tick, frames));
    return true;
}
NPClass s_plainClass = {NP_CLASS_STRUCT_VERSION,
                        allocatePlain,
                        deallocatePlain,
                        nullptr,
                        nullptr,
                        invokePlain,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr};

} // namespace

int main() {
    FW::Testing::FakeBrowser browser;
    browser.window();
    auto host = std::make_shared<FW::Npapi::NpapiBrowserHost>(browser.npp());
    host->setBrowserFuncs(browser.funcs());
    auto api = std::make_shared<TickAPI>();
    NPObject* ours = FW::Npapi::NPJavascriptObject::NewObject(host, api, false);
    NPObject* plain = host->CreateObject(&s_plainClass);
    s_setBufferTick = browser.id("SetBufferTick");
    NPVariant args[2];
    for (NPVariant& arg : args) {
        arg.type = NPVariantType_Int32;
        arg.value.intValue = 1;
    }
    args[1].value.intValue = 2;

    const long iterations = 1000000;
    auto loopOn = [&](NPObject* object) {
        return nsPerCall(
            [&] {
                NPVariant result;
                if (!object->_class->invoke(object, s_setBufferTick, args, 2, &result))
                    std::abort();
            },
            iterations);
    };
    const double invoke = loopOn(ours);
    const double handWritten = loopOn(plain);

    // An event to one page handler: firing, the page's call function and its
    // timer, with the in-process test browser standing in for the page.
    host->initJS(host.get());
    NPVariant handlerValue;
    handlerValue.type = NPVariantType_Object;
    handlerValue.value.objectValue =
        browser.newPageObject([](const NPVariant*, uint32_t, NPVariant* result) {
            result->type = NPVariantType_Void;
            return true;
        });
    api->registerEventMethod("onOnCtrlEvent",
                             host->getVariant(&handlerValue).convert<FW::JSObjectPtr>());
    const FW::VariantList eventArgs{FW::variant(std::wstring(L"status")), FW::variant(1L),
                                    FW::variant(2L)};
    const double fireEvent = nsPerCall(
        [&] {
            api->FireEvent("onOnCtrlEvent", eventArgs);
            browser.runTimers();
        },
        100000);

    std::printf("npapi_invoke_bench: NPClass::invoke of SetBufferTick(1, 2), best of 7 rounds "
                "of %ld calls\n",
                iterations);
    std::printf("  %-34s %8.1f ns/call\n", "scriptable object of ours", invoke);
    std::printf("  %-34s %8.1f ns/call\n", "hand-written object", handWritten);
    std::printf("  %-34s %8.1f ns/event\n", "FireEvent to one page handler", fireEvent);
    reportRow("scripted call: NPClass::invoke on a scriptable object (native test browser)", invoke,
              "ns/call", "hand-written NPClass::invoke", handWritten, "-");
    reportRow("event: FireEvent to one page handler, delivered (native NPAPI test browser)",
              fireEvent, "ns/event", "-", 0, "-");
    api->unregisterEventMethod("onOnCtrlEvent",
                               host->getVariant(&handlerValue).convert<FW::JSObjectPtr>());
    browser.release(handlerValue);
    host->ReleaseObject(plain);
    host->ReleaseObject(ours);
    host->shutdown();
    return 0;
}
