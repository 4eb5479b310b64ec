#pragma once
// The browser host for browsers whose thread-async call cannot be used (Safari,
// and tables older than version 19): main-thread calls go through a
// message-only window of the instance's own.

#include <memory>

#include "AsyncCallWindow.h"
#include "NpapiBrowserHost.h"

namespace FW {
namespace Npapi {

class NpapiBrowserHostAsyncWin : public NpapiBrowserHost {
public:
    // Throws std::runtime_error when the call window cannot be made.
    explicit NpapiBrowserHostAsyncWin(NPP npp);
    ~NpapiBrowserHostAsyncWin() override;

    bool ScheduleAsyncCall(void (*function)(void*), void* data) override;

private:
    std::unique_ptr<AsyncCallWindow> m_callWindow;
};

} // namespace Npapi
} // namespace FW
