#include "FaultInjector.h"

#include <comdef.h>

#include <new>
#include <stdexcept>

#include "JSExceptions.h"
#include "com_error.h"

FaultInjector& FaultInjector::instance() {
    static FaultInjector injector;
    return injector;
}

bool FaultInjector::arm(const std::string& point, const std::string& kind) {
    if (!isInjectableKind(kind))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed[point] = kind;
    return true;
}

void FaultInjector::disarm() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed.clear();
}

void FaultInjector::throwIfArmed(const std::string& point) {
    std::string kind;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto armed = m_armed.find(point);
        if (armed == m_armed.end())
            return;
        kind = armed->second;
        m_armed.erase(armed);
        ++m_thrown[point];
    }
    throwInjected(kind, point);
}

int FaultInjector::thrownAt(const std::string& point) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto count = m_thrown.find(point);
    return count == m_thrown.end() ? 0 : count->second;
}

bool isInjectableKind(const std::string& kind) {
    return kind == "bad_alloc" || kind == "runtime_error" || kind == "script_error" ||
           kind == "com_error" || kind == "atl_exception" || kind == "int";
}

void throwInjected(const std::string& kind, const std::string& point) {
    if (kind == "bad_alloc")
        throw std::bad_alloc();
    if (kind == "runtime_error")
        throw std::runtime_error("injected runtime_error at " + point);
    if (kind == "script_error")
        throw FW::script_error("injected script_error at " + point);
    if (kind == "com_error")
        _com_issue_error(E_ACCESSDENIED);
    if (kind == "atl_exception")
        throw ATL::CAtlException(E_OUTOFMEMORY);
    throw 42;
}
