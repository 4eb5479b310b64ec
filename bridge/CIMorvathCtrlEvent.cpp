#include "CIMorvathCtrlEvent.h"

#include "com_error.h"

#include <vector>

namespace {

// Sinks disposed of while delivering, freed by a thread timer: the camera
// still holds them until its event call has returned.
std::vector<std::unique_ptr<CIMorvathCtrlEvent>>& retiredSinks() {
    static std::vector<std::unique_ptr<CIMorvathCtrlEvent>> sinks;
    return sinks;
}

void CALLBACK freeRetiredSinks(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    retiredSinks().clear();
}

} // namespace

HRESULT STDMETHODCALLTYPE CIMorvathCtrlEvent::OnCtrlEvent(BSTR text, LONG type, LONG subType) {
    if (!m_pDisplayer)
        return S_OK;
    // The camera control must never see an exception from the page call.
    ++m_delivering;
    ATL::CallNoThrow([&] {
        m_pDisplayer->DisplayCtrlEvent(text, type, subType);
        return S_OK;
    });
    --m_delivering;
    return S_OK;
}

void CIMorvathCtrlEvent::Dispose(std::unique_ptr<CIMorvathCtrlEvent> sink) noexcept {
    if (!sink || sink->m_delivering == 0)
        return;
    sink->m_pDisplayer = nullptr;
    ATL::CallNoThrow([&] {
        retiredSinks().push_back(std::move(sink));
        SetTimer(nullptr, 0, 0, &freeRetiredSinks);
        return S_OK;
    });
}
