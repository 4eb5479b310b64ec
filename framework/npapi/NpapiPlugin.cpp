#include "NpapiPlugin.h"

#include "NPJavascriptObject.h"
#include "NpapiBrowserHost.h"
#include "NpapiPluginModule.h"
#include "NpapiStream.h"

namespace FW {
namespace Npapi {

NpapiPlugin::NpapiPlugin(const NpapiBrowserHostPtr& host, const std::string& mimetype,
                         const PluginCorePtr& core)
    : m_core(core), m_host(host), m_mimetype(mimetype),
      m_pluginName(getNpapiFactory()->getPluginName(mimetype)),
      m_pluginDesc(getNpapiFactory()->getPluginDescription(mimetype)) {
    if (!m_core)
        throw PluginCreateError("No plug-in for MIME type " + mimetype);
    m_core->SetHost(host);
    PluginCore::setPlatform("Windows", "NPAPI");
}

NpapiPlugin::~NpapiPlugin() {
    releaseScriptableObject();
}

void NpapiPlugin::releaseScriptableObject() {
    if (m_obj != nullptr && m_host)
        m_host->ReleaseObject(m_obj);
    m_obj = nullptr;
}

void NpapiPlugin::shutdown() {
    releaseScriptableObject();
    m_core->ClearWindow();
    m_core->shutdown();
}

void NpapiPlugin::init(NPMIMEType, int16_t argc, char* argn[], char* argv[]) {
    VariantMap params;
    for (int16_t i = 0; i < argc && argn != nullptr && argv != nullptr; ++i) {
        if (argn[i] != nullptr && argv[i] != nullptr)
            params[argn[i]] = variant(std::string(argv[i]));
    }
    m_core->setParams(params);
    if (m_core->isWindowless()) {
        // The boolean travels as the pointer value itself.
        m_host->SetValue(NPPVpluginWindowBool, nullptr);
        m_host->SetValue(NPPVpluginTransparentBool, reinterpret_cast<void*>(1));
    }
    setReady();
}

bool NpapiPlugin::setReady() {
    if (m_isReady)
        return false;
    m_isReady = m_core->setReady();
    return m_isReady;
}

NPError NpapiPlugin::SetWindow(NPWindow*) {
    return NPERR_NO_ERROR;
}

NPError NpapiPlugin::NewStream(NPMIMEType type, NPStream* stream, NPBool seekable,
                               uint16_t* stype) {
    return StreamNew(m_host.get(), m_core.get(), type, stream, seekable, stype);
}

NPError NpapiPlugin::DestroyStream(NPStream* stream, NPReason reason) {
    return StreamDestroy(stream, reason);
}

int32_t NpapiPlugin::WriteReady(NPStream* stream) {
    return StreamWriteReady(stream);
}

int32_t NpapiPlugin::Write(NPStream* stream, int32_t offset, int32_t len, void* buffer) {
    return StreamWrite(stream, offset, len, buffer);
}

void NpapiPlugin::StreamAsFile(NPStream* stream, const char* fname) {
    Npapi::StreamAsFile(stream, fname);
}

void NpapiPlugin::URLNotify(const char* url, NPReason reason, void* notifyData) {
    StreamURLNotify(url, reason, notifyData);
}

int16_t NpapiPlugin::HandleEvent(void*) {
    return 0;
}

NPObject* NpapiPlugin::getScriptableObject() {
    // Through the host's cache, so that the page sees one object for the root
    // scripting object however it reaches the page (element, onload argument).
    if (m_obj == nullptr)
        m_obj = m_host->getJSAPIWrapper(m_core->getRootJSAPI(), false);
    if (m_obj != nullptr && m_retainReturnedNPObject)
        m_host->RetainObject(m_obj);
    return m_obj;
}

NPError NpapiPlugin::GetValue(NPPVariable variable, void* value) {
    if (value == nullptr)
        return NPERR_INVALID_PARAM;
    switch (variable) {
    case NPPVpluginNameString:
        *static_cast<const char**>(value) = m_pluginName.c_str();
        return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString:
        *static_cast<const char**>(value) = m_pluginDesc.c_str();
        return NPERR_NO_ERROR;
    case NPPVpluginScriptableNPObject: {
        NPObject* object = getScriptableObject();
        if (object == nullptr)
            return NPERR_GENERIC_ERROR;
        *static_cast<NPObject**>(value) = object;
        return NPERR_NO_ERROR;
    }
    default:
        return NPERR_GENERIC_ERROR;
    }
}

NPError NpapiPlugin::SetValue(NPNVariable, void*) {
    return NPERR_NO_ERROR;
}

} // namespace Npapi
} // namespace FW
