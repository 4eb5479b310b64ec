#include "DemoPage.h"

#include <algorithm>

#include "TestPageObject.h"

namespace demo {

using FW::Testing::TestPageObject;

DemoPage::DemoPage() : m_host(FW::Testing::TestBrowserHost::create()) {
    m_host->window()->setProperty(kOnloadFunction, FW::JSObjectPtr(recorder(kOnloadFunction)));
}

DemoPage::~DemoPage() {
    forget();
}

FW::Testing::TestPageObjectPtr DemoPage::recorder(const std::string& function) {
    auto object =
        TestPageObject::makeFunction(m_host, [this, function](const FW::VariantList& args) {
            m_received.push_back({function, args, Clock::now()});
            return FW::variant();
        });
    m_functions.push_back(object);
    return object;
}

void DemoPage::listen(const FW::JSAPIPtr& object, const std::string& event) {
    object->registerEventMethod(event, recorder(event));
}

std::vector<DemoPage::Received> DemoPage::receivedBy(const std::string& function) const {
    std::vector<Received> calls;
    std::copy_if(m_received.begin(), m_received.end(), std::back_inserter(calls),
                 [&](const Received& call) { return call.function == function; });
    return calls;
}

void DemoPage::runOnce() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    m_host->runPendingCalls();

    // The test host hands timers over at once; the page would fire them after their delay.
    const auto& timers = m_host->pendingTimers();
    if (timers.empty()) {
        m_timersPending = false;
        return;
    }
    if (!m_timersPending) {
        m_timersPending = true;
        m_timersSince = Clock::now();
    }
    int delay = 0;
    for (const auto& timer : timers)
        delay = std::max(delay, timer.delay);
    if (Clock::now() - m_timersSince >= std::chrono::milliseconds(delay)) {
        m_timersPending = false;
        m_host->runTimers();
    }
}

void DemoPage::pump(DWORD milliseconds) {
    pumpUntil([] { return false; }, milliseconds);
}

bool DemoPage::pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        runOnce();
        if (done())
            return true;
        if (Clock::now() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
}

void DemoPage::forget() {
    m_received.clear();
    for (const auto& function : m_functions)
        function->clearCalls();
    m_functions.clear();
    if (!m_host || !m_host->window())
        return;
    // The page's own functions (the timer call function among them) recorded
    // their calls too, with the scripting objects passed to them.
    const auto window = m_host->window();
    window->RemoveProperty(kOnloadFunction);
    std::vector<std::string> names;
    window->getMemberNames(names);
    for (const auto& name : names) {
        const FW::variant value = window->GetProperty(name);
        if (!value.holds<FW::JSObjectPtr>())
            continue;
        if (auto function = std::dynamic_pointer_cast<TestPageObject>(value.get<FW::JSObjectPtr>()))
            function->clearCalls();
    }
}

} // namespace demo
