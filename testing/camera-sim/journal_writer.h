#pragma once
// Appends records to the journal file that the test chose (see sim_settings.h)
// and reads the one-shot failures that tests request through the registry.
// Safe to use from several processes at once.

#include "journal_record.h"

#include <optional>
#include <string>

namespace CameraSim {

// The journal path in effect: the environment variable, else the registry
// value; empty when neither is set (then nothing is written).
std::wstring journalPath();

// Appends one line; silently does nothing when no journal is chosen or the
// file cannot be opened, so a misconfigured test never breaks the control.
void appendToJournal(const JournalRecord& record);

// Consumes the failure requested for a slot, if any. Only one process can
// consume a request: the registry value is deleted, and the caller that
// deleted it applies it.
std::optional<HRESULT> takeRequestedFailure(int slot);

} // namespace CameraSim
