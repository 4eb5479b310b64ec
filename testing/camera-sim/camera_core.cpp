#include "camera_core.h"

#include "journal_writer.h"
#include "operations.h"
#include "sim_settings.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace CameraSim {

namespace {

constexpr UINT kRaiseQueued = WM_APP + 1;

LONG lastInstance = 0;

bool registerRequestClass(HINSTANCE module, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(module, kRequestWindowClass, &wc))
        return true;
    wc.lpfnWndProc = proc;
    wc.hInstance = module;
    wc.lpszClassName = kRequestWindowClass;
    return RegisterClassExW(&wc) != 0;
}

} // namespace

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&lastInstance), &module);
    return module;
}

void unregisterWindowClasses() {
    UnregisterClassW(kRequestWindowClass, thisModule());
}

namespace {

std::wstring describeEvent(const QueuedEvent& queued) {
    if (queued.dispid != 1)
        return L"DISPID " + std::to_wstring(queued.dispid);
    return L"\"" + queued.event.text + L"\", " + std::to_wstring(queued.event.type) + L", " +
           std::to_wstring(queued.event.subtype);
}

// The event as it is fired: the fire-time marker replaced by the clock.
QueuedEvent stampedEvent(const QueuedEvent& event) {
    if (event.event.text.find(kFireTimeMarker) == std::wstring::npos)
        return event;
    QueuedEvent stamped = event;
    stamped.event.text = replaced(stamped.event.text, kFireTimeMarker,
                                  std::to_wstring(static_cast<long long>(nowMicroseconds())));
    return stamped;
}

} // namespace

CameraCore::CameraCore()
    : fast_(fastModeRequested()), instance_(InterlockedIncrement(&lastInstance)) {
    createRequestWindow();
    journalLife(L"created");
}

CameraCore::~CameraCore() {
    if (requestWindow_) {
        SetWindowLongPtrW(requestWindow_, GWLP_USERDATA, 0);
        DestroyWindow(requestWindow_);
    }
    journalLife(L"destroyed");
}

void CameraCore::createRequestWindow() {
    HINSTANCE module = thisModule();
    if (!registerRequestClass(module, &CameraCore::requestWindowProc))
        return;
    const std::wstring title = L"camera-sim #" + std::to_wstring(instance_);
    requestWindow_ = CreateWindowExW(0, kRequestWindowClass, title.c_str(), 0, 0, 0, 0, 0,
                                     HWND_MESSAGE, nullptr, module, nullptr);
    if (!requestWindow_)
        return;
    SetWindowLongPtrW(requestWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK CameraCore::requestWindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    auto* core = reinterpret_cast<CameraCore*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!core)
        return DefWindowProcW(window, message, wParam, lParam);
    try {
        if (message == WM_COPYDATA) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (data && data->lpData && data->dwData == kPictureRequest &&
                data->cbData % sizeof(wchar_t) == 0) {
                std::wstring path(data->cbData / sizeof(wchar_t), L'\0');
                std::memcpy(&path[0], data->lpData, path.size() * sizeof(wchar_t));
                return core->writePicture(path) ? TRUE : FALSE;
            }
            if (!data || !data->lpData || data->dwData != kRaiseEventRequest ||
                data->cbData < sizeof(RaiseEventRequest) ||
                (data->cbData - sizeof(RaiseEventRequest)) % sizeof(wchar_t) != 0)
                return FALSE;
            RaiseEventRequest header;
            std::memcpy(&header, data->lpData, sizeof header);
            const auto* text = reinterpret_cast<const char*>(data->lpData) + sizeof header;
            std::wstring eventText((data->cbData - sizeof header) / sizeof(wchar_t), L'\0');
            std::memcpy(&eventText[0], text, eventText.size() * sizeof(wchar_t));
            const LONG count = std::max<LONG>(1, header.count);
            for (LONG n = 0; n < count; ++n)
                core->queueEvent(QueuedEvent{
                    header.dispid,
                    SimEvent{count > 1 ? replaced(eventText, kBurstNumberMarker, std::to_wstring(n))
                                       : eventText,
                             header.type, header.subtype}});
            return TRUE;
        }
        if (message == kRaiseQueued) {
            core->raisePending();
            return 0;
        }
    } catch (...) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void CameraCore::queueEvent(QueuedEvent event) {
    // One message raises everything queued by then: a burst posts one, not one per event.
    const bool idle = queued_.empty();
    queued_.push_back(std::move(event));
    if (requestWindow_ && idle)
        PostMessageW(requestWindow_, kRaiseQueued, 0, 0);
}

void CameraCore::raiseQueuedEvents() {
    // A sink that calls back into the control may queue more; they are raised
    // by this same loop, after the current one.
    if (raising_)
        return;
    struct Raising {
        bool& flag;
        explicit Raising(bool& f) : flag(f) { flag = true; }
        ~Raising() { flag = false; }
    } raising(raising_);
    while (!queued_.empty()) {
        QueuedEvent event = std::move(queued_.front());
        queued_.pop_front();
        raiseEvent(event);
    }
}

long CameraCore::raiseEvent(const QueuedEvent& event) {
    const long sinks = connectedSinks();
    if (fast_) {
        fireEvent(stampedEvent(event));
        return sinks;
    }
    // Journaled first, so that calls a sink makes in reaction follow the event.
    JournalRecord record =
        JournalRecord::make(JournalRecord::Kind::Event, GetCurrentProcessId(), instance_,
                            static_cast<int>(event.dispid), L"OnCtrlEvent");
    try {
        if (event.dispid == 1)
            record.args = {JournalValue::string(event.event.text),
                           JournalValue::number(event.event.type),
                           JournalValue::number(event.event.subtype)};
        else
            record.name = L"ForeignEvent";
        record.result = JournalValue::number(sinks);
        appendToJournal(settings_.journalPath(), record);
        lastEvent_ = describeEvent(event) + L" (" + std::to_wstring(sinks) +
                     (sinks == 1 ? L" sink)" : L" sinks)");
    } catch (...) {
    }
    const std::vector<HRESULT> answers = fireEvent(stampedEvent(event));
    try {
        record.kind = JournalRecord::Kind::Delivery;
        record.args.clear();
        for (HRESULT hr : answers)
            record.args.push_back(JournalValue::number(hr));
        record.result = JournalValue::number(static_cast<long>(answers.size()));
        appendToJournal(settings_.journalPath(), record);
    } catch (...) {
    }
    stateChanged();
    return sinks;
}

void CameraCore::journalLife(const wchar_t* what) {
    if (fast_)
        return;
    try {
        appendToJournal(settings_.journalPath(),
                        JournalRecord::make(JournalRecord::Kind::Life, GetCurrentProcessId(),
                                            instance_, 0, what));
    } catch (...) {
    }
}

ViewState CameraCore::viewState() const {
    ViewState state;
    state.instance = instance_;
    if (model_.initialised())
        state.address = model_.address() + L":" + std::to_wstring(model_.port());
    state.live = model_.live();
    state.recording = model_.recording();
    state.playingBack = model_.playingBack();
    state.lastCall = lastCall_;
    state.lastEvent = lastEvent_;
    state.calls = calls_;
    state.frame = frame_;
    return state;
}

HRESULT CameraCore::begin(int slot) {
    if (auto stall = settings_.takeStall())
        Sleep(*stall);
    auto own = failures_.find(slot);
    if (own != failures_.end()) {
        HRESULT hr = own->second;
        failures_.erase(own);
        return hr;
    }
    if (auto requested = settings_.takeRequestedFailure(slot))
        return *requested;
    return S_OK;
}

void CameraCore::finish(JournalRecord& record) {
    ++calls_;
    record.pid = GetCurrentProcessId();
    record.instance = instance_;
    record.name = operationName(record.slot);
    appendToJournal(settings_.journalPath(), record);

    lastCall_ = record.name + L" -> ";
    if (record.result) {
        lastCall_ += describe(*record.result);
    } else {
        wchar_t hr[16];
        swprintf(hr, 16, L"0x%08lX", static_cast<unsigned long>(record.hr));
        lastCall_ += hr;
    }
    for (SimEvent& event : model_.takeEvents())
        queueEvent(QueuedEvent{1, std::move(event)});
    stateChanged();
}

void CameraCore::finishFast() {
    ++calls_;
    for (SimEvent& event : model_.takeEvents())
        queueEvent(QueuedEvent{1, std::move(event)});
}

HRESULT CameraCore::refuse(int slot, LONG* out, HRESULT hr) noexcept {
    try {
        if (out)
            *out = 0;
        if (fast_) {
            finishFast();
            return out ? hr : E_POINTER;
        }
        JournalRecord record = JournalRecord::make(JournalRecord::Kind::Call, 0, 0, slot);
        record.hr = out ? hr : E_POINTER;
        finish(record);
        return record.hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // namespace CameraSim
