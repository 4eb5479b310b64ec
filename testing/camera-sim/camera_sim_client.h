#pragma once
// What a test uses to drive and observe the camera simulator ("Kavrin.Kavrin.2"),
// from the process that hosts it or from any other process of the Wine prefix.
//
//   CameraSim::JournalFile journal;            // fresh journal, chosen for every process
//   ... create and call the control ...
//   auto calls = journal.calls();              // [{slot 7, InitCtrl, args, hr, result}, ...]
//   CameraSim::failNextCall(18, E_FAIL);       // next PlayRealVideo anywhere fails
//   CameraSim::failCamera(L"create", 1);       // the next creation is refused
//   CameraSim::requestEvent(L"abc", 3, 7);     // every simulator raises OnCtrlEvent
//   journal.waitFor([](auto& r) { return CameraSim::countEvents(r) > 0; });
//
// The journal format is described in journal_record.h, the names in sim_settings.h.

#include "journal_record.h"
#include "operations.h"
#include "sim_settings.h"

#include <functional>
#include <string>
#include <vector>

namespace CameraSim {

using Records = std::vector<JournalRecord>;

// A journal file for one test, and a clean slate: construction creates the file
// empty, points this process's environment and the HKCU setting (for other
// processes) at it and withdraws pending failure requests; destruction restores
// both settings, withdraws the requests that no call consumed (a failed test
// leaves none behind) and deletes the file unless keep() was called.
class JournalFile {
public:
    // An empty path picks a fresh file in the temporary folder.
    explicit JournalFile(std::wstring path = {});
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    const std::wstring& path() const { return path_; }
    Records records() const;
    Records calls() const;
    Records events() const;
    Records deliveries() const;
    // Empties the file; simulators keep appending to it.
    void clear() const;
    void keep() { keep_ = true; }

    // Pumps this thread's messages until the predicate holds for the records
    // or the timeout passes; answers whether it held.
    bool waitFor(const std::function<bool(const Records&)>& predicate,
                 DWORD timeoutMs = 5000) const;

private:
    std::wstring path_;
    std::wstring previousEnv_;
    bool hadEnv_ = false;
    std::wstring previousSetting_;
    bool hadSetting_ = false;
    bool keep_ = false;
};

// Every record of a journal file, in order; unreadable lines are skipped.
Records readJournal(const std::wstring& path);
// The records of the journal this process's environment names (none without one).
Records currentJournal();
// The eight fields of a record's journal line (kind, pid, instance, slot,
// name, arguments, hresult, result) as text, for test pages.
std::vector<std::string> journalFields(const JournalRecord& record);

// Filters over records.
Records callsOf(const Records& records, int slot);
Records ofKind(const Records& records, JournalRecord::Kind kind);
size_t countEvents(const Records& records);

// Makes the next call of a slot, in whichever simulator of the prefix makes it
// first, fail with hr (the call is still journaled, with that hr).
void failNextCall(int slot, HRESULT hr);
// Asks for a camera fault (sim_settings.h): "create", "query" or "advise"
// refuse that step for the next `value` simulators that reach it; "stall"
// makes the next camera call block for `value` milliseconds. Answers false
// for any other name.
bool failCamera(const std::wstring& fault, DWORD value);
// Withdraws every failure and fault request that no call consumed.
void clearRequestedFailures();

// The simulators' request windows (all, or those of one process).
std::vector<HWND> findSimulators(DWORD pid = 0);
// Asks every simulator (of one process, when pid is not 0) to raise
// OnCtrlEvent(text, type, subtype) on its own thread; answers how many took
// the request. The events follow once those threads pump their messages.
int requestEvent(const std::wstring& text, LONG type, LONG subtype, DWORD pid = 0);
// The same for count events in a burst, for benchmarks: "{n}" in the text
// is the event's number in the burst, "{qpc}" the time it is fired
// (nowMicroseconds).
int requestEvents(const std::wstring& text, LONG type, LONG subtype, LONG count, DWORD pid = 0);
// The same for an event with another DISPID and no arguments.
int requestForeignEvent(LONG dispid, DWORD pid = 0);
// Asks the simulators (of one process, when pid is not 0) in turn to write
// the picture of their window, as they paint it, to a PNG file, until one
// does; answers whether one did. Shows the camera's picture where the screen
// cannot: Wine draws no window whose top-level window is another process's.
bool requestPicture(const std::wstring& path, DWORD pid = 0);

// Dispatches this thread's messages for the given time.
void pumpMessages(DWORD milliseconds);

// Registers another build of the control (the text-version release) in place
// of the registered one while the object lives; registers `restore` again
// afterwards. Both DLLs register themselves in this process.
class SubstituteControl {
public:
    SubstituteControl(const wchar_t* substitute, const wchar_t* restore);
    ~SubstituteControl();
    SubstituteControl(const SubstituteControl&) = delete;
    SubstituteControl& operator=(const SubstituteControl&) = delete;
    bool registered() const { return registered_; }

private:
    std::wstring restore_;
    bool registered_ = false;
};

// Forms of the version operation (slot 8) that no one-argument call fits.
enum class VersionSlotForm {
    TwoParameters, // HRESULT __stdcall (LONG, [out, retval] BSTR*)
    Cdecl,         // HRESULT __cdecl ([out, retval] BSTR*)
};

// Registers, in place of the camera's type library, one whose interface
// declares slot 7 as HRESULT __stdcall ([out, retval] LONG*) and slot 8 in
// the given form, while the object lives; registers `restore` (the control's
// DLL, which carries the real library) again afterwards. The control itself
// stays what it is: only what clients read about it changes.
class SubstituteVersionDeclaration {
public:
    SubstituteVersionDeclaration(VersionSlotForm form, const wchar_t* restore);
    ~SubstituteVersionDeclaration();
    SubstituteVersionDeclaration(const SubstituteVersionDeclaration&) = delete;
    SubstituteVersionDeclaration& operator=(const SubstituteVersionDeclaration&) = delete;
    bool registered() const { return registered_; }

private:
    std::wstring path_;
    std::wstring restore_;
    bool registered_ = false;
};

} // namespace CameraSim
