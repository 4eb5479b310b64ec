#pragma once
// The error a scripting member raises when a camera-control operation answers
// with a failure HRESULT.
//
// It is a _com_error (HRESULT, the control's error information) and also a
// std::exception whose what() names the HRESULT. It is deliberately not an
// FW::script_error: the scripting core passes it through unchanged. A browser
// adapter recognises it by catching `const std::exception&` (or this type, or
// `const _com_error&`) around a member call and ends the call as failed, so it
// never leaves the plug-in.

#include <windows.h>
#include <comdef.h>

#include <exception>
#include <string>

namespace orvelaControl {

class ControlCallError : public _com_error, public std::exception {
public:
    explicit ControlCallError(const _com_error& error);
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

// Raises ControlCallError for hr with the control's error information, when
// the control offers it for iid.
[[noreturn]] void raiseControlError(HRESULT hr, IUnknown* control, REFIID iid);

} // namespace orvelaControl
