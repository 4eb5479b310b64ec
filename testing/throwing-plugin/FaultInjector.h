#pragma once
// Where and how the throwing test plug-in fails: a page arms a point of the
// plug-in with a kind of exception; the next time the plug-in's code runs at
// that point it throws that kind once. Counts of the throws let the page see
// that each point was really reached. Shared by every instance in the process,
// so a page can arm the creation of the next instance.

#include <map>
#include <mutex>
#include <string>

class FaultInjector {
public:
    static FaultInjector& instance();

    // Answers false for an unknown kind.
    bool arm(const std::string& point, const std::string& kind);
    void disarm();
    // Throws the armed kind when point is armed, and disarms it.
    void throwIfArmed(const std::string& point);
    int thrownAt(const std::string& point) const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_armed; // point -> kind
    std::map<std::string, int> m_thrown;        // point -> count
};

// Throws one of: bad_alloc, runtime_error, script_error, com_error,
// atl_exception, int (a value that is no exception class).
[[noreturn]] void throwInjected(const std::string& kind, const std::string& point);
bool isInjectableKind(const std::string& kind);
