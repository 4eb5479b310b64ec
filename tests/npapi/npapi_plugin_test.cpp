// nporvela.dll loaded as a browser loads it: the MIME type from its version
// resource, the three exports, an instance with a real window, and page
// script's calls reaching the camera simulator.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeBrowser.h"
#include "camera_sim_client.h"

using namespace FW::Testing;

namespace {

template <class F>
F exported(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

using GetEntryPointsFn = NPError(WINAPI*)(NPPluginFuncs*);
using InitializeFn = NPError(WINAPI*)(NPNetscapeFuncs*);
using ShutdownFn = NPError(WINAPI*)();

std::string versionString(const wchar_t* path, const wchar_t* key) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return "<no version resource>";
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path, 0, size, data.data()))
        return "<unreadable>";
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904e4\\") + key;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        value == nullptr)
        return "<missing>";
    std::string text;
    for (const wchar_t* p = value; *p; ++p)
        text.push_back(static_cast<char>(*p));
    return text;
}

NPVariant str(FakeBrowser& browser, const std::string& s) {
    return browser.string(s);
}
NPVariant num(int32_t v) {
    NPVariant r;
    r.type = NPVariantType_Int32;
    r.value.intValue = v;
    return r;
}

class PluginLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        library = LoadLibraryW(ORVELA_NPORVELA_PATH);
        ASSERT_NE(nullptr, library);
        getEntryPoints = exported<GetEntryPointsFn>(library, "NP_GetEntryPoints");
        initialize = exported<InitializeFn>(library, "NP_Initialize");
        shutdown = exported<ShutdownFn>(library, "NP_Shutdown");
        ASSERT_TRUE(getEntryPoints && initialize && shutdown);
        plugin.size = sizeof(plugin);
        ASSERT_EQ(NPERR_NO_ERROR, getEntryPoints(&plugin));
        ASSERT_EQ(NPERR_NO_ERROR, initialize(const_cast<NPNetscapeFuncs*>(browser.funcs())));
        top = CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700,
                              520, nullptr, nullptr, nullptr, nullptr);
        element = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 640, 480, top,
                                  nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, element);
    }
    void TearDown() override {
        if (element)
            DestroyWindow(element);
        if (top)
            DestroyWindow(top);
        browser.closeWindow();
        if (shutdown) {
            EXPECT_EQ(NPERR_NO_ERROR, shutdown());
        }
        // Nothing of the browser's is left behind.
        EXPECT_EQ(0, browser.liveObjects());
        EXPECT_EQ(0, browser.liveBlocks());
        if (library)
            FreeLibrary(library);
    }

    NPError newInstance(std::vector<std::pair<std::string, std::string>> params) {
        std::vector<char*> names, values;
        for (auto& p : params) {
            names.push_back(&p.first[0]);
            values.push_back(&p.second[0]);
        }
        char mime[] = "application/x-orvela";
        return plugin.newp(mime, browser.npp(), NP_EMBED, static_cast<int16_t>(params.size()),
                           names.data(), values.data(), nullptr);
    }
    // NPP_New as Gecko called it for an <object>: the attributes, "PARAM" with
    // no value, then the <param>s; a null value stands for no value.
    NPError newGeckoInstance(std::vector<std::pair<std::string, const char*>> args) {
        std::vector<char*> names, values;
        std::vector<std::string> texts;
        texts.reserve(args.size());
        for (auto& a : args) {
            names.push_back(&a.first[0]);
            texts.emplace_back(a.second ? a.second : "");
            values.push_back(a.second ? &texts.back()[0] : nullptr);
        }
        char mime[] = "application/x-orvela";
        return plugin.newp(mime, browser.npp(), NP_EMBED, static_cast<int16_t>(args.size()),
                           names.data(), values.data(), nullptr);
    }
    NPError setWindow() {
        window.window = element;
        window.x = 10;
        window.y = 10;
        window.width = 640;
        window.height = 480;
        window.type = NPWindowTypeWindow;
        return plugin.setwindow(browser.npp(), &window);
    }
    NPObject* scriptable() {
        NPObject* object = nullptr;
        EXPECT_EQ(NPERR_NO_ERROR,
                  plugin.getvalue(browser.npp(), NPPVpluginScriptableNPObject, &object));
        return object;
    }
    // element.name(args...) as a browser runs it for page script.
    bool call(NPObject* object, const std::string& name, std::vector<NPVariant> args,
              NPVariant& result) {
        result.type = NPVariantType_Void;
        NPIdentifier id = browser.id(name);
        if (object->_class->hasMethod(object, id))
            return object->_class->invoke(object, id, args.data(),
                                          static_cast<uint32_t>(args.size()), &result);
        NPVariant function;
        function.type = NPVariantType_Void;
        if (!object->_class->getProperty(object, id, &function) ||
            function.type != NPVariantType_Object)
            return false;
        NPObject* f = function.value.objectValue;
        bool ok =
            f->_class->invokeDefault(f, args.data(), static_cast<uint32_t>(args.size()), &result);
        browser.release(function);
        return ok;
    }

    FakeBrowser browser;
    HMODULE library = nullptr;
    GetEntryPointsFn getEntryPoints = nullptr;
    InitializeFn initialize = nullptr;
    ShutdownFn shutdown = nullptr;
    NPPluginFuncs plugin{};
    NPWindow window{};
    HWND top = nullptr;
    HWND element = nullptr;
};

} // namespace

TEST_F(PluginLibrary, VersionResourceNamesTheMimeType) {
    EXPECT_EQ("application/x-orvela", versionString(ORVELA_NPORVELA_PATH, L"MIMEType"));
    EXPECT_EQ("orvela", versionString(ORVELA_NPORVELA_PATH, L"FileOpenName"));
    const char* name = nullptr;
    EXPECT_EQ(NPERR_NO_ERROR, plugin.getvalue(nullptr, NPPVpluginNameString, &name));
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ("orvela", name);
    char mime[] = "application/x-orvela";
    EXPECT_EQ(NPERR_INVALID_INSTANCE_ERROR,
              plugin.newp(mime, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr));
}

TEST_F(PluginLibrary, PageScriptReachesTheCamera) {
    CameraSim::JournalFile journal;
    ASSERT_EQ(NPERR_NO_ERROR, newInstance({{"width", "640"}, {"height", "480"}}));
    ASSERT_EQ(NPERR_NO_ERROR, setWindow());
    CameraSim::pumpMessages(50);
    NPObject* object = scriptable();
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(object, scriptable()); // the same object, retained once per request
    browser.m_funcs.releaseobject(object);

    NPVariant result;
    NPVariant url = str(browser, "http://192.0.2.10/");
    NPVariant ip = str(browser, "192.0.2.10");
    ASSERT_TRUE(call(object, "InitCtrl", {url, ip, num(80)}, result))
        << (browser.exceptions().empty() ? "" : browser.exceptions().back());
    browser.release(result);
    ASSERT_TRUE(call(object, "GetCtrlVersion", {}, result));
    EXPECT_EQ(NPVariantType_Int32, result.type);
    browser.release(result);

    // A bad argument is the page's exception, with the core's message.
    NPVariant notANumber = str(browser, "not a number");
    EXPECT_FALSE(call(object, "InitCtrl", {url, ip, notANumber}, result));
    ASSERT_FALSE(browser.exceptions().empty());
    EXPECT_FALSE(browser.exceptions().back().empty());
    browser.release(notANumber);
    browser.release(url);
    browser.release(ip);

    auto calls = journal.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(L"InitCtrl", calls[0].name);
    EXPECT_EQ(L"GetCtrlVersion", calls[1].name);
    EXPECT_EQ(2u, calls.size()); // the refused call never reached the camera

    browser.m_funcs.releaseobject(object);
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
    EXPECT_EQ(nullptr, browser.npp()->pdata);
    EXPECT_EQ(NPERR_INVALID_INSTANCE_ERROR, plugin.destroy(browser.npp(), nullptr));
}

TEST_F(PluginLibrary, OnloadAndEventListenersCallPageFunctions) {
    CameraSim::JournalFile journal;
    std::vector<std::vector<std::string>> onloadCalls, eventCalls;
    NPObject* loadedWith = nullptr;
    auto recorder = [this](std::vector<std::vector<std::string>>& calls, NPObject** firstObject) {
        return [&calls, firstObject](const NPVariant* args, uint32_t n, NPVariant*) {
            std::vector<std::string> described;
            for (uint32_t i = 0; i < n; ++i)
                described.push_back(FakeBrowser::describe(args[i]));
            if (firstObject && n > 0 && args[0].type == NPVariantType_Object)
                *firstObject = args[0].value.objectValue;
            calls.push_back(described);
            return true;
        };
    };
    NPVariant onload;
    onload.type = NPVariantType_Object;
    onload.value.objectValue = browser.newPageObject(recorder(onloadCalls, &loadedWith));
    browser.propertiesOf(browser.window())["camReady"] = onload;

    ASSERT_EQ(NPERR_NO_ERROR, newInstance({{"onload", "camReady"}}));
    ASSERT_EQ(NPERR_NO_ERROR, setWindow());
    NPObject* object = scriptable();
    ASSERT_NE(nullptr, object);

    // The onload function runs from a page timer, with the plug-in's object.
    EXPECT_EQ(1u, browser.runTimers());
    ASSERT_EQ(1u, onloadCalls.size());
    EXPECT_EQ(object, loadedWith);

    NPObject* handler = browser.newPageObject(recorder(eventCalls, nullptr));
    NPVariant name = str(browser, "OnCtrlEvent");
    NPVariant handlerValue;
    handlerValue.type = NPVariantType_Object;
    handlerValue.value.objectValue = handler;
    NPVariant result;
    ASSERT_TRUE(call(object, "addEventListener", {name, handlerValue}, result));
    browser.release(name);

    ASSERT_GE(CameraSim::requestEvent(L"abc", 3, 7), 1);
    for (int i = 0; i < 100 && eventCalls.empty(); ++i) {
        CameraSim::pumpMessages(20);
        browser.runAsyncCalls();
        browser.runTimers();
    }
    ASSERT_EQ(1u, eventCalls.size());
    EXPECT_EQ((std::vector<std::string>{"abc", "3", "7"}), eventCalls[0]);

    browser.m_funcs.releaseobject(handler);
    browser.m_funcs.releaseobject(object);
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
    browser.runAsyncCalls();
}

TEST_F(PluginLibrary, GeckosArgumentListKeepsTheParamsAndTakesNoValueAsNoParam) {
    CameraSim::JournalFile journal;
    std::vector<NPObject*> loadedWith;
    NPVariant onload;
    onload.type = NPVariantType_Object;
    onload.value.objectValue =
        browser.newPageObject([&loadedWith](const NPVariant* args, uint32_t n, NPVariant*) {
            loadedWith.push_back(n == 1 && args[0].type == NPVariantType_Object
                                     ? args[0].value.objectValue
                                     : nullptr);
            return true;
        });
    browser.propertiesOf(browser.window())["camReady"] = onload;

    // The <param> after the marker is the plug-in's parameter.
    ASSERT_EQ(NPERR_NO_ERROR, newGeckoInstance({{"id", "cam"},
                                                {"type", "application/x-orvela"},
                                                {"width", "320"},
                                                {"height", "240"},
                                                {"PARAM", nullptr},
                                                {"onload", "camReady"}}));
    ASSERT_EQ(NPERR_NO_ERROR, setWindow());
    NPObject* object = scriptable();
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(1u, browser.runTimers());
    ASSERT_EQ(1u, loadedWith.size());
    EXPECT_EQ(object, loadedWith[0]);
    browser.m_funcs.releaseobject(object);
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
    browser.runAsyncCalls();

    // A name without a value is no parameter: no onload function is looked for.
    ASSERT_EQ(NPERR_NO_ERROR,
              newGeckoInstance(
                  {{"type", "application/x-orvela"}, {"onload", nullptr}, {"PARAM", nullptr}}));
    ASSERT_EQ(NPERR_NO_ERROR, setWindow());
    browser.runTimers();
    EXPECT_EQ(1u, loadedWith.size());
    EXPECT_EQ(NPERR_NO_ERROR, plugin.destroy(browser.npp(), nullptr));
    browser.runAsyncCalls();
}
