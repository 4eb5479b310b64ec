#include "ControlCallError.h"

#include <cstdio>

namespace orvelaControl {

namespace {

std::string describe(HRESULT hr) {
    char text[64];
    std::snprintf(text, sizeof text, "Camera control call failed: 0x%08lX",
                  static_cast<unsigned long>(hr));
    return text;
}

} // namespace

ControlCallError::ControlCallError(const _com_error& error)
    : _com_error(error), m_message(describe(error.Error())) {}

void raiseControlError(HRESULT hr, IUnknown* control, REFIID iid) {
    try {
        _com_issue_errorex(hr, control, iid);
    } catch (const _com_error& error) {
        throw ControlCallError(error);
    }
    throw ControlCallError(_com_error(hr));
}

} // namespace orvelaControl
