#include "NpapiPluginModule.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <map>

#include "NpapiPluginWin.h"

FW::FactoryBasePtr getFactoryInstance();

namespace FW {
namespace Npapi {

namespace {

std::map<const void*, NpapiPluginModule*>& modules() {
    static std::map<const void*, NpapiPluginModule*> registry;
    return registry;
}
int s_moduleCount = 0;

template <class Member>
void copyEntry(NPNetscapeFuncs& dst, const NPNetscapeFuncs& src, Member NPNetscapeFuncs::*member,
               size_t offset) {
    // Only an entry that lies wholly inside the browser's table is there to copy.
    if (src.size >= offset + sizeof(src.*member))
        dst.*member = src.*member;
}

#define COPY(member)                                                                               \
    copyEntry(m_funcs, *funcs, &NPNetscapeFuncs::member, offsetof(NPNetscapeFuncs, member))

// How the factory makes this adapter's object for an instance.
NpapiPluginPtr makeNpapiPluginWin(FactoryBase& factory, const NpapiBrowserHostPtr& host,
                                  const std::string& mimetype) {
    PluginCorePtr core = factory.createPlugin(mimetype);
    if (!core)
        return nullptr;
    return std::make_shared<NpapiPluginWin>(host, mimetype, core);
}

} // namespace

FactoryBasePtr getNpapiFactory() {
    // The core asks this adapter how to make its object for an instance.
    static const bool makerInstalled = (FactoryBase::setNpapiPluginMaker(makeNpapiPluginWin), true);
    (void)makerInstalled;
    return getFactoryInstance();
}

NpapiPluginModule::NpapiPluginModule() : m_threadId(GetCurrentThreadId()) {}

NpapiPluginModule::~NpapiPluginModule() = default;

void NpapiPluginModule::setNetscapeFuncs(const NPNetscapeFuncs* funcs) {
    m_funcs = NPNetscapeFuncs{};
    if (funcs == nullptr)
        return;
    m_funcs.size = funcs->size;
    m_funcs.version = funcs->version;
    COPY(geturl);
    COPY(posturl);
    COPY(requestread);
    COPY(newstream);
    COPY(write);
    COPY(destroystream);
    COPY(status);
    COPY(uagent);
    COPY(memalloc);
    COPY(memfree);
    COPY(memflush);
    COPY(reloadplugins);
    COPY(geturlnotify);
    COPY(posturlnotify);
    COPY(getvalue);
    COPY(setvalue);
    COPY(invalidaterect);
    COPY(invalidateregion);
    COPY(forceredraw);
    COPY(getstringidentifier);
    COPY(getstringidentifiers);
    COPY(getintidentifier);
    COPY(identifierisstring);
    COPY(utf8fromidentifier);
    COPY(intfromidentifier);
    COPY(createobject);
    COPY(retainobject);
    COPY(releaseobject);
    COPY(invoke);
    COPY(invokeDefault);
    COPY(evaluate);
    COPY(getproperty);
    COPY(setproperty);
    COPY(removeproperty);
    COPY(hasproperty);
    COPY(hasmethod);
    COPY(releasevariantvalue);
    COPY(setexception);
    COPY(construct);
    if (funcs->version >= 16) {
        COPY(pushpopupsenabledstate);
        COPY(poppopupsenabledstate);
    }
    if (funcs->version >= 18)
        COPY(enumerate);
    if (funcs->version >= 19)
        COPY(pluginthreadasynccall);
    if (funcs->version >= 21) {
        COPY(getvalueforurl);
        COPY(setvalueforurl);
        COPY(getauthenticationinfo);
    }
    if (funcs->version >= 23) {
        COPY(scheduletimer);
        COPY(unscheduletimer);
    }
}

NpapiPluginModule* NpapiPluginModule::GetModule() {
    if (s_moduleCount == 0)
        getNpapiFactory()->globalPluginInitialize();
    auto& registry = modules();
    auto found = registry.find(nullptr);
    if (found != registry.end())
        return found->second;
    auto* module = new NpapiPluginModule();
    registry[nullptr] = module;
    ++s_moduleCount;
    return module;
}

void NpapiPluginModule::ReleaseModule() {
    auto& registry = modules();
    auto found = registry.find(nullptr);
    if (found != registry.end()) {
        delete found->second;
        registry.erase(found);
        --s_moduleCount;
    }
    if (s_moduleCount == 0)
        getNpapiFactory()->globalPluginDeinitialize();
}

} // namespace Npapi
} // namespace FW
