#pragma once
// The errors that page script sees. The browser adapters turn them into script
// exceptions carrying what().

#include <exception>
#include <string>

namespace FW {

class script_error : public std::exception {
public:
    explicit script_error(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

class invalid_arguments : public script_error {
public:
    invalid_arguments() : script_error("Invalid Arguments") {}
    explicit invalid_arguments(std::string message) : script_error(std::move(message)) {}
};

class invalid_member : public script_error {
public:
    explicit invalid_member(const std::string& memberName)
        : script_error("The specified member does not exist: " + memberName) {}
};

class object_invalidated : public script_error {
public:
    object_invalidated() : script_error("This object is no longer valid") {}
};

} // namespace FW
