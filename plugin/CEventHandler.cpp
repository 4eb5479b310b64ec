#include "CEventHandler.h"

#include "com_error.h"
#include "orvelaAPI.h"

const ATL::_ATL_FUNC_INFO& CEventHandler::fixedOnCtrlEventInfo() noexcept {
    static const ATL::_ATL_FUNC_INFO info = {CC_STDCALL, VT_EMPTY, 3, {VT_BSTR, VT_I4, VT_I4}};
    return info;
}

HRESULT CEventHandler::OnCtrlEvent(BSTR text, LONG type, LONG subtype) {
    if (!m_pOwner)
        return S_FALSE;
    // Called from the control through the generic call: nothing may unwind past it.
    return ATL::CallNoThrow([&] {
        m_pOwner->fire_OnCtrlEvent(text, type, subtype);
        return S_OK;
    });
}
