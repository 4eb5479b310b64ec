#include "Browser.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "BenchFunctions.h"
#include "PageLocation.h"
#include "Png.h"
#include "Text.h"
#include "camera_sim_client.h"
#include "click.h"
#include "resources.h"

namespace npbrowser {

namespace {

NpRuntime& rt() {
    return NpRuntime::instance();
}

// ---- testbed: what the test pages use to drive the camera simulator and to
// look at what the browser saw

duk_ret_t testbedRaiseEvent(duk_context* ctx) {
    const int taken =
        CameraSim::requestEvent(widen(duk_safe_to_string(ctx, 0)), duk_to_int32(ctx, 1),
                                duk_to_int32(ctx, 2), GetCurrentProcessId());
    duk_push_int(ctx, taken);
    return 1;
}

// raiseEvents(text, type, subtype, count): a burst, for benchmarks.
duk_ret_t testbedRaiseEvents(duk_context* ctx) {
    const int taken =
        CameraSim::requestEvents(widen(duk_safe_to_string(ctx, 0)), duk_to_int32(ctx, 1),
                                 duk_to_int32(ctx, 2), duk_to_int32(ctx, 3), GetCurrentProcessId());
    duk_push_int(ctx, taken);
    return 1;
}

// The simulator's clock of fired events, in microseconds.
duk_ret_t testbedNow(duk_context* ctx) {
    duk_push_number(ctx, CameraSim::nowMicroseconds());
    return 1;
}

// A variable of the environment the test started the browser in ("" when unset).
duk_ret_t testbedEnv(duk_context* ctx) {
    const char* value = std::getenv(duk_safe_to_string(ctx, 0));
    duk_push_string(ctx, value != nullptr ? value : "");
    return 1;
}

// "handles gdi user privateBytes" of this process, or of the named one. The
// script heap is collected first (twice, for what finalizers let go), so that
// the figure is what is alive, as a browser's memory report measures it.
duk_ret_t testbedResources(duk_context* ctx) {
    const char* name = duk_is_string(ctx, 0) ? duk_get_string(ctx, 0) : "";
    const std::wstring wide(name, name + std::strlen(name));
    if (wide.empty()) {
        duk_gc(ctx, 0);
        duk_gc(ctx, 0);
    }
    duk_push_string(ctx, processResources(wide).c_str());
    return 1;
}

duk_ret_t testbedFailNextCall(duk_context* ctx) {
    CameraSim::failNextCall(duk_to_int32(ctx, 0), static_cast<HRESULT>(duk_to_uint32(ctx, 1)));
    return 0;
}

// failCamera(fault, value): true when the fault's name is known.
duk_ret_t testbedFailCamera(duk_context* ctx) {
    const std::string fault = duk_to_string(ctx, 0);
    duk_push_boolean(ctx, CameraSim::failCamera(std::wstring(fault.begin(), fault.end()),
                                                duk_to_uint32(ctx, 1)));
    return 1;
}

// Journal records as {kind, instance, slot, name, args, hr, result}.
duk_ret_t testbedJournal(duk_context* ctx) {
    duk_push_array(ctx);
    duk_uarridx_t index = 0;
    for (const CameraSim::JournalRecord& record : CameraSim::currentJournal()) {
        const std::vector<std::string> fields = CameraSim::journalFields(record);
        duk_push_object(ctx);
        const char* names[] = {"kind", nullptr, "instance", "slot", "name", "args", "hr", "result"};
        for (int i = 0; i < 8; ++i) {
            if (names[i] == nullptr)
                continue;
            if (i == 2 || i == 3)
                duk_push_int(ctx, std::atoi(fields[i].c_str()));
            else
                duk_push_lstring(ctx, fields[i].data(), fields[i].size());
            duk_put_prop_string(ctx, -2, names[i]);
        }
        duk_put_prop_index(ctx, -2, index++);
    }
    return 1;
}

duk_ret_t testbedAsyncCalls(duk_context* ctx) {
    duk_push_uint(ctx, rt().asyncCalls());
    return 1;
}

duk_ret_t testbedInvalidations(duk_context* ctx) {
    duk_push_uint(ctx, rt().invalidations());
    return 1;
}

// Message-only windows of this process whose title starts with the text.
duk_ret_t testbedMessageWindows(duk_context* ctx) {
    const std::wstring prefix = widen(duk_safe_to_string(ctx, 0));
    int count = 0;
    HWND window = nullptr;
    while ((window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        wchar_t title[256] = L"";
        GetWindowTextW(window, title, 256);
        if (pid == GetCurrentProcessId() && std::wcsncmp(title, prefix.c_str(), prefix.size()) == 0)
            ++count;
    }
    duk_push_int(ctx, count);
    return 1;
}

BOOL CALLBACK collectWindow(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

// The element's window and the windows inside it: [{className, width, height}].
duk_ret_t testbedWindows(duk_context* ctx) {
    PluginElement* element = Browser::current()->elementOf(duk_get_heapptr(ctx, 0));
    duk_push_array(ctx);
    if (element == nullptr || element->window() == nullptr)
        return 1;
    std::vector<HWND> windows{element->window()};
    EnumChildWindows(element->window(), collectWindow, reinterpret_cast<LPARAM>(&windows));
    duk_uarridx_t index = 0;
    for (HWND window : windows) {
        wchar_t name[128] = L"";
        GetClassNameW(window, name, 128);
        RECT rect{};
        GetWindowRect(window, &rect);
        duk_push_object(ctx);
        duk_push_string(ctx, narrow(name).c_str());
        duk_put_prop_string(ctx, -2, "className");
        duk_push_int(ctx, rect.right - rect.left);
        duk_put_prop_string(ctx, -2, "width");
        duk_push_int(ctx, rect.bottom - rect.top);
        duk_put_prop_string(ctx, -2, "height");
        duk_push_boolean(ctx, IsWindowVisible(window));
        duk_put_prop_string(ctx, -2, "visible");
        duk_put_prop_index(ctx, -2, index++);
    }
    return 1;
}

// The names and values NPP_New got for the element ([name, value or null]),
// or null while its instance is not made.
duk_ret_t testbedArguments(duk_context* ctx) {
    PluginElement* element = Browser::current()->elementOf(duk_get_heapptr(ctx, 0));
    if (element == nullptr || !element->created()) {
        duk_push_null(ctx);
        return 1;
    }
    duk_push_array(ctx);
    for (size_t i = 0; i < element->argumentNames().size(); ++i) {
        duk_push_array(ctx);
        duk_push_string(ctx, element->argumentNames()[i].c_str());
        duk_put_prop_index(ctx, -2, 0);
        if (element->argumentPresent()[i])
            duk_push_string(ctx, element->argumentValues()[i].c_str());
        else
            duk_push_null(ctx);
        duk_put_prop_index(ctx, -2, 1);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    return 1;
}

// The element's NPP_SetWindow calls: [{window, width, height}], the window
// handle as a number.
duk_ret_t testbedSetWindows(duk_context* ctx) {
    PluginElement* element = Browser::current()->elementOf(duk_get_heapptr(ctx, 0));
    duk_push_array(ctx);
    if (element == nullptr)
        return 1;
    duk_uarridx_t index = 0;
    for (const PluginElement::WindowCall& call : element->windowCalls()) {
        duk_push_object(ctx);
        duk_push_number(ctx, static_cast<double>(reinterpret_cast<uintptr_t>(call.window)));
        duk_put_prop_string(ctx, -2, "window");
        duk_push_uint(ctx, call.width);
        duk_put_prop_string(ctx, -2, "width");
        duk_push_uint(ctx, call.height);
        duk_put_prop_string(ctx, -2, "height");
        duk_put_prop_index(ctx, -2, index++);
    }
    return 1;
}

// Whether the browser has asked the element's plug-in for its scriptable object.
duk_ret_t testbedScriptableAsked(duk_context* ctx) {
    PluginElement* element = Browser::current()->elementOf(duk_get_heapptr(ctx, 0));
    duk_push_boolean(ctx, element != nullptr && element->askedScriptable());
    return 1;
}

// What the browser does with the arguments of a plug-in call, without the
// plug-in: the benchmarks' baseline.
duk_ret_t testbedConvertArguments(duk_context* ctx) {
    const duk_idx_t count = duk_get_top(ctx);
    int32_t sum = 0;
    for (duk_idx_t i = 0; i < count; ++i) {
        NPVariant value;
        ScriptEngine::current()->toVariant(i, &value, true);
        if (value.type == NPVariantType_Int32)
            sum += value.value.intValue;
        rt().releaseBrowserValue(value);
    }
    duk_push_int(ctx, sum);
    return 1;
}

// A user's click at client point (x, y) of the browser window.
duk_ret_t testbedClick(duk_context* ctx) {
    clickAt(Browser::current()->topWindow(), POINT{duk_to_int32(ctx, 0), duk_to_int32(ctx, 1)});
    return 0;
}

// The colour of a client pixel of the browser window as 0xRRGGBB.
duk_ret_t testbedPixel(duk_context* ctx) {
    HDC dc = GetDC(Browser::current()->topWindow());
    const COLORREF colour = GetPixel(dc, duk_to_int32(ctx, 0), duk_to_int32(ctx, 1));
    ReleaseDC(Browser::current()->topWindow(), dc);
    duk_push_uint(ctx, (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
    return 1;
}

} // namespace

void Browser::installTestbed(duk_context* ctx) {
    duk_push_object(ctx);
    const duk_function_list_entry functions[] = {
        {"raiseEvent", testbedRaiseEvent, 3},
        {"raiseEvents", testbedRaiseEvents, 4},
        {"now", testbedNow, 0},
        {"env", testbedEnv, 1},
        {"resources", testbedResources, 1},
        {"failNextCall", testbedFailNextCall, 2},
        {"failCamera", testbedFailCamera, 2},
        {"journal", testbedJournal, 0},
        {"asyncCalls", testbedAsyncCalls, 0},
        {"invalidations", testbedInvalidations, 0},
        {"messageWindows", testbedMessageWindows, 1},
        {"windows", testbedWindows, 1},
        {"arguments", testbedArguments, 1},
        {"setWindows", testbedSetWindows, 1},
        {"scriptableAsked", testbedScriptableAsked, 1},
        {"click", testbedClick, 2},
        {"pixel", testbedPixel, 2},
        {"convertArguments", testbedConvertArguments, DUK_VARARGS},
        {"movePage", testbedMovePage, 1},
        {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, functions);
    installBenchFunctions(ctx);
    duk_push_int(ctx, rt().table()->version);
    duk_put_prop_string(ctx, -2, "tableVersion");
    duk_push_string(ctx, m_options.asyncInstances ? "async" : "sync");
    duk_put_prop_string(ctx, -2, "instantiation");
    duk_put_prop_string(ctx, -2, "testbed");
}

} // namespace npbrowser
