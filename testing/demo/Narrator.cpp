#include "Narrator.h"

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>

#include "JSAPI.h"
#include "JSObject.h"
#include "utf8_tools.h"

namespace demo {

namespace {

void printIndented(const char* mark, const char* format, va_list args) {
    std::printf("   %-7s", mark);
    std::vprintf(format, args);
    std::printf("\n");
}

} // namespace

Narrator::Narrator() {
    // Lines reach the terminal as written (UTF-8, "\n"), each as soon as it is printed.
    _setmode(_fileno(stdout), _O_BINARY);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

void Narrator::step(const char* title) {
    std::printf("\n%d. %s\n", ++m_step, title);
}

void Narrator::say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printIndented("", format, args);
    va_end(args);
}

bool Narrator::check(bool ok, const char* format, ...) {
    va_list args;
    va_start(args, format);
    printIndented(ok ? "ok" : "FAILED", format, args);
    va_end(args);
    if (!ok)
        ++m_failures;
    return ok;
}

std::string quoted(const std::string& utf8) {
    std::string text = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c;
    }
    return text + "\"";
}

std::string describe(const FW::variant& value) {
    if (value.is_empty())
        return "undefined";
    if (value.is_null())
        return "null";
    if (value.holds<std::string>())
        return quoted(value.get<std::string>());
    if (value.holds<std::wstring>())
        return quoted(FW::wstring_to_utf8(value.get<std::wstring>()));
    if (value.holds<bool>())
        return value.get<bool>() ? "true" : "false";
    if (value.holds<FW::JSAPIPtr>() || value.holds<FW::JSObjectPtr>())
        return "[object]";
    try {
        return value.convert<std::string>();
    } catch (const std::exception&) {
        return "[" + FW::variant_detail::demangle(value.type().name()) + "]";
    }
}

} // namespace demo
