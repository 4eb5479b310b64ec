#pragma once
// The browser side of NPAPI for the adapter's tests: interned identifiers,
// reference-counted objects dispatched through their classes, browser memory
// with a count of live blocks, recorded exceptions and queued async calls.
// One per test; the browser functions reach it through a process-wide pointer
// as a real browser's would reach its own state.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "npapi_abi.h"

namespace FW {
namespace Testing {

class FakeBrowser {
public:
    FakeBrowser();
    ~FakeBrowser();
    FakeBrowser(const FakeBrowser&) = delete;
    FakeBrowser& operator=(const FakeBrowser&) = delete;

    const NPNetscapeFuncs* funcs() const { return &m_funcs; }
    NPP npp() { return &m_npp; }

    using PageCall = std::function<bool(const NPVariant* args, uint32_t count, NPVariant* result)>;

    // A plain page object whose properties the test sets and reads; with a
    // body it is a page function.
    NPObject* newPageObject(PageCall body = PageCall());
    std::map<std::string, NPVariant>& propertiesOf(NPObject* object);
    // The page's window (made on first use): "Array" and "Object" make page
    // objects, arrays answer "push", and the plug-in's call-function script
    // installs a function whose zero-delay timers runTimers runs.
    NPObject* window();
    size_t runTimers();
    // Lets go of the window and everything the page hung on it.
    void closeWindow();
    // A value as text: strings as they are, numbers in decimal, "<object>", "<void>".
    static std::string describe(const NPVariant& value);

    int liveObjects() const { return static_cast<int>(m_objects.size()); }
    int liveBlocks() const { return static_cast<int>(m_blocks.size()); }
    const std::vector<std::string>& exceptions() const { return m_exceptions; }
    size_t pendingAsyncCalls() const { return m_async.size(); }
    void runAsyncCalls();

    // Browser helpers for building and reading values.
    NPIdentifier id(const std::string& name);
    NPVariant string(const std::string& text); // in browser memory
    static std::string text(const NPVariant& value);
    void release(NPVariant& value);

    static FakeBrowser* current;

    NPNetscapeFuncs m_funcs{};
    NPP_t m_npp{};
    std::set<NPObject*> m_objects;
    std::set<void*> m_blocks;
    std::vector<std::string> m_exceptions;
    std::vector<std::pair<void (*)(void*), void*>> m_async;
    std::map<std::string, std::unique_ptr<std::string>> m_stringIds;
    std::map<NPObject*, std::map<std::string, NPVariant>> m_pageProperties;
    std::map<NPObject*, PageCall> m_pageCalls;
    struct Timer {
        NPObject* function;
        NPObject* args;
        std::string method;
    };
    std::vector<Timer> m_timers;
    NPObject* m_window = nullptr;
};

} // namespace Testing
} // namespace FW
