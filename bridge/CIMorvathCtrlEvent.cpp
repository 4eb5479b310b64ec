#include "CIMorvathCtrlEvent.h"

#include "com_error.h"

HRESULT STDMETHODCALLTYPE CIMorvathCtrlEvent::OnCtrlEvent(BSTR text, LONG type, LONG subType) {
    if (!m_pDisplayer)
        return S_OK;
    // The camera control must never see an exception from the page call.
    ATL::CallNoThrow([&] {
        m_pDisplayer->DisplayCtrlEvent(text, type, subType);
        return S_OK;
    });
    return S_OK;
}
