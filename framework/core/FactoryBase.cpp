#include "FactoryBase.h"

#ifdef _WIN32
#include "PluginWindowWin.h"
#include "PluginWindowlessWin.h"
#endif

namespace FW {

Npapi::NpapiPluginPtr FactoryBase::createNpapiPlugin(const Npapi::NpapiBrowserHostPtr&,
                                                     const std::string&) {
    return nullptr;
}

#ifdef _WIN32

std::shared_ptr<PluginWindowWin>
FactoryBase::createPluginWindowWin(const WindowContextWin& context) {
    return std::make_shared<PluginWindowWin>(context.handle);
}

std::shared_ptr<PluginWindowlessWin>
FactoryBase::createPluginWindowless(const WindowContextWindowless& context) {
    return std::make_shared<PluginWindowlessWin>(context.drawable);
}

IDispatchEx* FactoryBase::createCOMJSObject(const ActiveX::ActiveXBrowserHostPtr&,
                                            const JSAPIWeakPtr&, bool) {
    return nullptr;
}

HRESULT FactoryBase::updateWindowsRegistry(bool) {
    return E_NOTIMPL;
}

#endif

} // namespace FW
