#pragma once
// The COM-independent heart of one simulator instance: it serves each camera
// operation (failure requests, the model's rule, the journal line), keeps what
// the control paints, and queues events so that they are raised later, from
// the instance's own message window on its apartment thread.

#include "camera_model.h"
#include "journal_record.h"
#include "journal_writer.h"
#include "sim_painter.h"

#include <windows.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace CameraSim {

// The module (DLL) this code is linked into.
HINSTANCE thisModule();
// Called when the module unloads: a class left registered would point into
// unmapped code after a reload.
void unregisterWindowClasses();

struct QueuedEvent {
    LONG dispid = 1;
    SimEvent event;
};

class CameraCore {
public:
    CameraCore();
    virtual ~CameraCore();
    CameraCore(const CameraCore&) = delete;
    CameraCore& operator=(const CameraCore&) = delete;

    long instance() const { return instance_; }
    long calls() const { return calls_; }
    // Without journal and live picture (see sim_settings.h).
    bool fast() const { return fast_; }
    const CameraModel& model() const { return model_; }
    ViewState viewState() const;
    // Advances the moving part of the live picture.
    void advanceFrame() { ++frame_; }

    // Makes the next call of slot on this instance fail with hr.
    void failNextCall(int slot, HRESULT hr) { failures_[slot] = hr; }

    // Queues an event and has the message window raise it soon.
    void queueEvent(QueuedEvent event);
    // Raises every queued event now, in order.
    void raiseQueuedEvents();
    // Journals one event and raises it now; answers the number of sinks it went to.
    long raiseEvent(const QueuedEvent& event);

    // Writes a lifecycle line ("created", "activated", ...).
    void journalLife(const wchar_t* what);

protected:
    // Serves an operation with an integer result: journals the arguments (BSTR
    // and LONG values, in order), applies a requested failure or the rule, and
    // journals the outcome. A null out-pointer gives E_POINTER; the result is 0
    // when the call fails.
    template <class Rule, class... Args>
    HRESULT serve(int slot, LONG* out, Rule&& rule, Args... args) noexcept;
    // The same for an operation with a text result (a null BSTR when it fails).
    template <class Rule, class... Args>
    HRESULT serveText(int slot, BSTR* out, Rule&& rule, Args... args) noexcept;
    // Journals a call that always fails with hr.
    HRESULT refuse(int slot, LONG* out, HRESULT hr) noexcept;

    static std::wstring text(BSTR value) {
        return value ? std::wstring(value, SysStringLen(value)) : std::wstring();
    }

    // The number of sinks connected to the event source.
    virtual long connectedSinks() = 0;
    // Raises one event to the connected sinks; answers what each sink returned.
    virtual std::vector<HRESULT> fireEvent(const QueuedEvent& event) = 0;
    // The control's picture changed.
    virtual void stateChanged() = 0;
    // Writes the picture of the control's window, as it paints it, to a PNG
    // file; answers false without a window.
    virtual bool writePicture(const std::wstring&) { return false; }
    // Raises the queued events; a COM object overrides it to stay alive while
    // sinks run (a sink may release the last outside reference).
    virtual void raisePending() { raiseQueuedEvents(); }

    CameraModel model_;

private:
    static JournalValue journalValue(BSTR value) { return JournalValue::bstr(value); }
    static JournalValue journalValue(LONG value) { return JournalValue::number(value); }
    HRESULT begin(int slot);
    // The journal record of a call with its arguments; its HRESULT is the
    // requested failure, if any, or E_POINTER without an out-pointer.
    template <class... Args>
    JournalRecord startCall(int slot, bool hasOut, Args... args) {
        JournalRecord record = JournalRecord::make(JournalRecord::Kind::Call, 0, 0, slot);
        record.args = {journalValue(args)...};
        record.hr = hasOut ? begin(slot) : E_POINTER;
        return record;
    }
    void finish(JournalRecord& record);
    // The fast mode's end of a call: counted, and the model's events queued.
    void finishFast();
    void createRequestWindow();
    static LRESULT CALLBACK requestWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);

    SettingsWatch settings_;
    const bool fast_;
    long instance_;
    long calls_ = 0;
    long frame_ = 0;
    std::map<int, HRESULT> failures_;
    std::wstring lastCall_, lastEvent_;
    std::deque<QueuedEvent> queued_;
    bool raising_ = false;
    HWND requestWindow_ = nullptr;
};

template <class Rule, class... Args>
HRESULT CameraCore::serve(int slot, LONG* out, Rule&& rule, Args... args) noexcept {
    if (out)
        *out = 0;
    try {
        if (fast_) {
            const HRESULT hr = out ? begin(slot) : E_POINTER;
            if (SUCCEEDED(hr))
                *out = rule();
            finishFast();
            return hr;
        }
        JournalRecord record = startCall(slot, out != nullptr, args...);
        if (SUCCEEDED(record.hr)) {
            *out = rule();
            record.result = JournalValue::number(*out);
        }
        finish(record);
        return record.hr;
    } catch (...) {
        if (out)
            *out = 0;
        return E_OUTOFMEMORY;
    }
}

template <class Rule, class... Args>
HRESULT CameraCore::serveText(int slot, BSTR* out, Rule&& rule, Args... args) noexcept {
    // Cleared first: the failure path below frees what *out holds.
    if (out)
        *out = nullptr;
    try {
        if (fast_) {
            HRESULT hr = out ? begin(slot) : E_POINTER;
            if (SUCCEEDED(hr)) {
                const std::wstring result = rule();
                *out = SysAllocStringLen(result.data(), static_cast<UINT>(result.size()));
                if (!*out)
                    hr = E_OUTOFMEMORY;
            }
            finishFast();
            return hr;
        }
        JournalRecord record = startCall(slot, out != nullptr, args...);
        if (SUCCEEDED(record.hr)) {
            std::wstring result = rule();
            *out = SysAllocStringLen(result.data(), static_cast<UINT>(result.size()));
            if (*out)
                record.result = JournalValue::string(std::move(result));
            else
                record.hr = E_OUTOFMEMORY;
        }
        finish(record);
        return record.hr;
    } catch (...) {
        if (out && *out) {
            SysFreeString(*out);
            *out = nullptr;
        }
        return E_OUTOFMEMORY;
    }
}

} // namespace CameraSim
