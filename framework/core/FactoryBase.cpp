#include "FactoryBase.h"

#ifdef _WIN32
#include "PluginWindowWin.h"
#include "PluginWindowlessWin.h"
#endif

namespace FW {

namespace {
FactoryBase::NpapiPluginMaker s_npapiPluginMaker = nullptr;
} // namespace

void FactoryBase::setNpapiPluginMaker(NpapiPluginMaker maker) {
    s_npapiPluginMaker = maker;
}

Npapi::NpapiPluginPtr FactoryBase::createNpapiPlugin(const Npapi::NpapiBrowserHostPtr& host,
                                                     const std::string& mimetype) {
    return s_npapiPluginMaker != nullptr ? s_npapiPluginMaker(*this, host, mimetype) : nullptr;
}

std::string FactoryBase::getPluginName(const std::string&) const {
    return std::string();
}

std::string FactoryBase::getPluginDescription(const std::string&) {
    return std::string();
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
