#pragma once
// The process-wide side of the NPAPI adapter: the browser's function table,
// the browser's main thread, and the factory the plug-in library supplies.

#include <memory>

#include "FactoryBase.h"
#include "npapi_abi.h"

namespace FW {
namespace Npapi {

class NpapiPluginModule {
public:
    NpapiPluginModule();
    virtual ~NpapiPluginModule();

    // Copies what the browser's version carries; entries it lacks stay zero.
    void setNetscapeFuncs(const NPNetscapeFuncs* funcs);
    const NPNetscapeFuncs& netscapeFuncs() const { return m_funcs; }
    // Cross-thread calls then never go through the browser.
    void clearThreadAsyncCall() { m_funcs.pluginthreadasynccall = nullptr; }
    unsigned long mainThreadId() const { return m_threadId; }

    // The module for the null key, made (with the factory's global start) when
    // none exists.
    static NpapiPluginModule* GetModule();
    // Destroys the module; with no module left, runs the factory's global stop.
    static void ReleaseModule();

private:
    NPNetscapeFuncs m_funcs{};
    unsigned long m_threadId;
};

// The factory of the library this adapter is linked into.
FactoryBasePtr getNpapiFactory();

} // namespace Npapi
} // namespace FW
