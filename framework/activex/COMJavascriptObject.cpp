#include "COMJavascriptObject.h"

namespace FW {
namespace ActiveX {

COMJavascriptObject::COMJavascriptObject() : JSAPI_IDispatchEx("SUBOBJECT") {}

void COMJavascriptObject::FinalRelease() {
    expireToken();
    clearSinks();
    if (!m_autoRelease)
        return;
    try {
        JSAPIPtr api = m_retained.lock();
        ActiveXBrowserHostPtr host = getHost();
        if (api && host)
            host->releaseJSAPIPtr(api);
    } catch (...) {
        // Called from Release: nothing may leave it.
    }
}

IDispatchEx* COMJavascriptObject::NewObject(const ActiveXBrowserHostPtr& host,
                                            const JSAPIWeakPtr& api, bool autoRelease,
                                            WrapperToken& token) {
    JSAPIPtr alive = api.lock();
    if (!host || !alive)
        return nullptr;
    ATL::CComObject<COMJavascriptObject>* object = nullptr;
    if (FAILED(ATL::CComObject<COMJavascriptObject>::CreateInstance(&object)))
        return nullptr;
    object->setAPI(alive, host);
    if (autoRelease) {
        object->m_autoRelease = true;
        object->m_retained = alive;
        host->retainJSAPIPtr(alive);
    }
    object->AddRef();
    token = object->aliveToken();
    return static_cast<IFWComJavascriptObject*>(object);
}

} // namespace ActiveX
} // namespace FW
