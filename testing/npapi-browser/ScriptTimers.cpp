#include "ScriptEngine.h"

#include <cmath>
#include <vector>

#include "ScriptBindings.h"

namespace npbrowser {

using namespace script_bindings;

namespace {

duk_ret_t setTimer(duk_context* ctx, bool repeat) {
    const duk_idx_t count = duk_get_top(ctx);
    const double delay = count > 1 ? duk_to_number(ctx, 1) : 0.0;
    const DWORD ms = std::isfinite(delay) && delay > 0 ? static_cast<DWORD>(delay) : 0;
    const unsigned id = s_engine->addTimer(ms, repeat);
    // The stash keeps [function, extra arguments...] under the timer's key.
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "timers");
    duk_push_array(ctx);
    duk_dup(ctx, 0);
    duk_put_prop_index(ctx, -2, 0);
    for (duk_idx_t i = 2; i < count; ++i) {
        duk_dup(ctx, i);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i - 1));
    }
    duk_put_prop_index(ctx, -2, id);
    duk_pop_2(ctx);
    duk_push_uint(ctx, id);
    return 1;
}

duk_ret_t setTimeoutFn(duk_context* ctx) {
    return setTimer(ctx, false);
}

duk_ret_t setIntervalFn(duk_context* ctx) {
    return setTimer(ctx, true);
}

duk_ret_t clearTimerFn(duk_context* ctx) {
    s_engine->clearTimer(duk_to_uint32(ctx, 0));
    return 0;
}

} // namespace

void script_bindings::putTimerFunctions(duk_context* ctx) {
    const duk_function_list_entry globals[] = {{"setTimeout", setTimeoutFn, DUK_VARARGS},
                                               {"setInterval", setIntervalFn, DUK_VARARGS},
                                               {"clearTimeout", clearTimerFn, 1},
                                               {"clearInterval", clearTimerFn, 1},
                                               {nullptr, nullptr, 0}};
    duk_put_function_list(ctx, -1, globals);
}

unsigned ScriptEngine::addTimer(DWORD delay, bool repeat) {
    const unsigned id = m_nextTimer++;
    const ULONGLONG due = GetTickCount64() + delay;
    m_timers[id] = Timer{due, delay, repeat};
    m_schedule.emplace(due, id);
    return id;
}

void ScriptEngine::clearTimer(unsigned id) {
    auto timer = m_timers.find(id);
    if (timer != m_timers.end()) {
        m_schedule.erase({timer->second.due, id});
        m_timers.erase(timer);
    }
    duk_push_global_stash(m_ctx);
    duk_get_prop_string(m_ctx, -1, "timers");
    duk_del_prop_index(m_ctx, -1, id);
    duk_pop_2(m_ctx);
}

DWORD ScriptEngine::nextTimerDelay() const {
    if (m_schedule.empty())
        return INFINITE;
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG due = m_schedule.begin()->first;
    return due > now ? static_cast<DWORD>(due - now) : 0;
}

void ScriptEngine::runDueTimers() {
    // The timers due now, in order of their due time, then of creation; those
    // they set wait for the next turn, after the messages, as in a browser.
    const ULONGLONG now = GetTickCount64();
    std::vector<unsigned> due;
    for (const auto& entry : m_schedule) {
        if (entry.first > now)
            break;
        due.push_back(entry.second);
    }
    for (unsigned id : due) {
        auto found = m_timers.find(id);
        if (found == m_timers.end() || found->second.due > now)
            continue; // cleared, or an interval already run and set again
        m_schedule.erase({found->second.due, id});
        Timer& timer = found->second;
        const bool repeat = timer.repeat;
        if (repeat) {
            timer.due = now + (timer.interval > 0 ? timer.interval : 1);
            m_schedule.emplace(timer.due, id);
        }
        duk_push_global_stash(m_ctx);
        duk_get_prop_string(m_ctx, -1, "timers");
        duk_get_prop_index(m_ctx, -1, id);
        if (!repeat) {
            m_timers.erase(id);
            duk_del_prop_index(m_ctx, -2, id);
        }
        const duk_idx_t entry = duk_get_top(m_ctx) - 1;
        if (!duk_is_array(m_ctx, entry)) {
            duk_pop_3(m_ctx);
            continue;
        }
        duk_get_prop_index(m_ctx, entry, 0);
        if (duk_is_string(m_ctx, -1)) {
            const std::string code = duk_get_string(m_ctx, -1);
            duk_pop_n(m_ctx, 4);
            runScript(code, "timer");
            continue;
        }
        duk_push_undefined(m_ctx);
        const duk_size_t length = duk_get_length(m_ctx, entry);
        for (duk_size_t i = 1; i < length; ++i)
            duk_get_prop_index(m_ctx, entry, static_cast<duk_uarridx_t>(i));
        if (duk_pcall_method(m_ctx, static_cast<duk_idx_t>(length - 1)) != DUK_EXEC_SUCCESS)
            reportUncaught(duk_safe_to_string(m_ctx, -1));
        duk_pop_n(m_ctx, 4);
    }
}

} // namespace npbrowser
