#include "CEventHandler.h"

#include <new>

#include "orvelaAPI.h"

const ATL::_ATL_FUNC_INFO& CEventHandler::fixedOnCtrlEventInfo() noexcept {
    static const ATL::_ATL_FUNC_INFO info = {CC_STDCALL, VT_EMPTY, 3, {VT_BSTR, VT_I4, VT_I4}};
    return info;
}

HRESULT CEventHandler::OnCtrlEvent(BSTR text, LONG type, LONG subtype) {
    if (!m_pOwner)
        return S_FALSE;
    // Called from the control through the generic call: nothing may unwind past it.
    try {
        m_pOwner->fire_OnCtrlEvent(text, type, subtype);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}
