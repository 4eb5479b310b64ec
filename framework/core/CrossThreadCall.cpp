#include "CrossThreadCall.h"

namespace FW {

void CrossThreadCall::syncCallback(const std::weak_ptr<CrossThreadCall>& weakCall) {
    std::shared_ptr<CrossThreadCall> self = weakCall.lock();
    if (!self)
        return;
    ScriptErrorPtr error;
    try {
        self->m_call->call();
    } catch (const script_error& e) {
        error = std::make_shared<script_error>(e);
    } catch (const std::exception& e) {
        // Any other failure must still release the waiting thread, and must
        // not unwind into the browser's message loop.
        error = std::make_shared<script_error>(e.what());
    } catch (...) {
        error = std::make_shared<script_error>("Unknown error on the main thread");
    }
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_error = std::move(error);
    self->m_returned = true;
    self->m_cond.notify_all();
}

void CrossThreadCall::rethrowError() const {
    if (m_error)
        throw script_error(m_error->what());
}

} // namespace FW
