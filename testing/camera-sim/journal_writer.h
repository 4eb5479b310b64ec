#pragma once
// Appends records to the journal file that the test chose (see sim_settings.h)
// and reads the one-shot failures that tests request through the registry.
// Safe to use from several processes at once.

#include "journal_record.h"

#include <bitset>
#include <optional>
#include <string>

namespace CameraSim {

// The journal path in effect: the environment variable, else the registry
// value; empty when neither is set (then nothing is written).
std::wstring journalPath();

// Whether a simulator created now runs in fast mode (see sim_settings.h).
bool fastModeRequested();

// Appends one line to the file at path; silently does nothing for an empty
// path or a file that cannot be opened, so a misconfigured test never breaks
// the control.
void appendToJournal(const std::wstring& path, const JournalRecord& record);
// The same, to the journal path in effect.
void appendToJournal(const JournalRecord& record);

// Consumes the failure requested for a slot, if any. Only one process can
// consume a request: the registry value is deleted, and the caller that
// deleted it applies it.
std::optional<HRESULT> takeRequestedFailure(int slot);

// Consumes one unit of a requested camera fault (a name of sim_settings.h):
// a count goes down by one, a stall is taken whole. Answers the value that
// was stored, or nothing when no such fault is pending.
std::optional<DWORD> takeCameraFault(const wchar_t* name);

// Tells every simulator of the prefix that the registry settings changed.
// Whoever changes them (the test helper) calls it after the change.
void announceSettingsChange();

// What journalPath and takeRequestedFailure answer, re-read from the registry
// only after a change was announced, so that a call costs no system call while
// the settings stay unchanged.
class SettingsWatch {
public:
    SettingsWatch();

    std::wstring journalPath();
    std::optional<HRESULT> takeRequestedFailure(int slot);
    // Milliseconds the next camera call must block, when a stall is pending.
    std::optional<DWORD> takeStall();

private:
    void refreshIfChanged();

    volatile LONG* generation_;
    LONG seen_ = 0;
    bool known_ = false;
    std::wstring registryJournal_;
    std::bitset<64> failingSlots_;
    bool stallPending_ = false;
};

} // namespace CameraSim
