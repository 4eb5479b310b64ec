#include "NpapiBrowserHostAsyncWin.h"

namespace FW {
namespace Npapi {

NpapiBrowserHostAsyncWin::NpapiBrowserHostAsyncWin(NPP npp)
    : NpapiBrowserHost(npp), m_callWindow(std::make_unique<AsyncCallWindow>()) {}

NpapiBrowserHostAsyncWin::~NpapiBrowserHostAsyncWin() = default;

bool NpapiBrowserHostAsyncWin::ScheduleAsyncCall(void (*function)(void*), void* data) {
    if (isShutDown())
        return false;
    return m_callWindow->post(function, data);
}

} // namespace Npapi
} // namespace FW
