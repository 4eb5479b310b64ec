#pragma once
// Names that the camera simulator and the tests driving it share: where the
// journal goes, how a test asks for a failing call, how it asks for an event.

#include <windows.h>

#include <string>

namespace CameraSim {

constexpr wchar_t kProgId[] = L"Kavrin.Kavrin.2";
// {02AC9B62-9CC6-4A19-96FE-E92D23142E5F}
constexpr CLSID kClsid = {
    0x02AC9B62, 0x9CC6, 0x4A19, {0x96, 0xFE, 0xE9, 0x2D, 0x23, 0x14, 0x2E, 0x5F}};

// Journal file: the environment variable wins; the registry value (HKCU) lets a
// test reach a simulator in a process whose environment it does not control.
constexpr wchar_t kJournalEnvVar[] = L"ORVELA_CAMSIM_JOURNAL";
constexpr wchar_t kSettingsKey[] = L"Software\\orvela\\CameraSim";
constexpr wchar_t kJournalValueName[] = L"Journal";
// Fast mode, for benchmarks: an instance created while the environment
// variable is "1", or the registry value (REG_DWORD, HKCU under kSettingsKey)
// is not 0, writes no journal and paints no live picture, so that a trivial
// call costs what a real control's does. Failure requests still apply.
constexpr wchar_t kFastEnvVar[] = L"ORVELA_CAMSIM_FAST";
constexpr wchar_t kFastValueName[] = L"Fast";
// Serialises appends from several processes.
constexpr wchar_t kJournalMutexName[] = L"Local\\OrvelaCameraSimJournal";

// Shared counter of settings changes (see announceSettingsChange).
constexpr wchar_t kSettingsGenerationName[] = L"Local\\OrvelaCameraSimSettings";

// One-shot failures: value "<slot>" (REG_DWORD, the HRESULT) under this HKCU key
// makes the next call of that slot, in any simulator of any process, fail.
constexpr wchar_t kFailNextKey[] = L"Software\\orvela\\CameraSim\\FailNext";

// Faults a real camera control can show, requested under this HKCU key
// (REG_DWORD values, each consumed by the simulator that meets it first):
//   "create": how many coming creations fail (CreateInstance answers kRefusedCreation);
//   "query":  how many coming queries for the camera interface answer E_NOINTERFACE;
//   "advise": how many coming Advise calls on the event point answer CONNECT_E_ADVISELIMIT;
//   "stall":  milliseconds that the next camera call blocks, pumping nothing, before it
//             runs as usual (a control that does not answer in time).
constexpr wchar_t kFaultsKey[] = L"Software\\orvela\\CameraSim\\Faults";
constexpr wchar_t kFaultCreate[] = L"create";
constexpr wchar_t kFaultQuery[] = L"query";
constexpr wchar_t kFaultAdvise[] = L"advise";
constexpr wchar_t kFaultStall[] = L"stall";
constexpr HRESULT kRefusedCreation = CLASS_E_NOTLICENSED;

// Every simulator instance owns a message-only window of this class on its
// apartment thread, titled with its instance number. WM_COPYDATA with
// kRaiseEventRequest carries a RaiseEventRequest followed by the event text
// (UTF-16, its length taken from the data size); the simulator raises the
// event once the request has been queued, so the sender never waits on sinks.
constexpr wchar_t kRequestWindowClass[] = L"OrvelaCameraSimRequests";
constexpr ULONG_PTR kRaiseEventRequest = 0x4F435345; // "OCSE"
// WM_COPYDATA with kPictureRequest carries a file path (UTF-16): the simulator
// writes the picture of its window, as it paints it, there as a PNG, and
// answers FALSE when it has no window or cannot write the file.
constexpr ULONG_PTR kPictureRequest = 0x4F435350; // "OCSP"

struct RaiseEventRequest {
    LONG dispid; // 1 for OnCtrlEvent; any other value raises an argument-less foreign event
    LONG type;
    LONG subtype;
    // How many events the request raises one after the other; in the text,
    // "{n}" stands for the event's number in the burst (from 0) and "{qpc}"
    // for the performance counter, in microseconds, when the event is fired.
    LONG count;
};
constexpr wchar_t kBurstNumberMarker[] = L"{n}";
constexpr wchar_t kFireTimeMarker[] = L"{qpc}";

// text with every occurrence of marker replaced by value.
inline std::wstring replaced(std::wstring text, const wchar_t* marker, const std::wstring& value) {
    const std::wstring what(marker);
    for (size_t at = text.find(what); at != std::wstring::npos;
         at = text.find(what, at + value.size()))
        text.replace(at, what.size(), value);
    return text;
}

// The performance counter in microseconds: the clock of kFireTimeMarker.
inline double nowMicroseconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1e6 / frequency;
}

// Event types and subtypes of the events that the simulator raises by itself.
enum EventType : LONG {
    kEventVideo = 1,    // text: camera address; subtype started/stopped
    kEventSnapshot = 2, // text: path of the picture; subtype 0
    kEventRecord = 3,   // text: path of the recording; subtype started/stopped
    kEventPlayback = 4, // text: file or start time; subtype started/stopped
};
enum EventSubtype : LONG { kStopped = 0, kStarted = 1 };

} // namespace CameraSim
