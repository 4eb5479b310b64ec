#pragma once
// The demo's voice: numbered steps, plain lines and checked lines. A checked
// line that fails is marked and counted, so the demo's exit code tells whether
// every step did what it should.

#include <string>

#include "variant.h"

namespace demo {

class Narrator {
public:
    Narrator();

    void step(const char* title);
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Prints the line marked "ok" or "FAILED"; answers ok.
    bool check(bool ok, const char* format, ...) __attribute__((format(printf, 3, 4)));

    int failures() const { return m_failures; }

private:
    int m_step = 0;
    int m_failures = 0;
};

// A script value as page script would write it: "text", 42, true, undefined ...
std::string describe(const FW::variant& value);
// A text in double quotes, with '"' and '\' escaped.
std::string quoted(const std::string& utf8);

} // namespace demo
