#pragma once
// One line of the camera simulator's call journal, and its text form.
//
// The journal is a UTF-8 text file with one record per line; the fields are
// separated by tabs:
//
//   kind  pid  instance  slot  name  arguments  hresult  result
//
//   call   4120  1  7  InitCtrl     "http://cam/", "10.0.0.5", 80  0x00000000  0
//   call   4120  1  22 GetMDBlockStr                               0x80004005
//   event  4120  1  1  OnCtrlEvent  "live", 1, 0                   0x00000000  2
//   life   4120  1  0  activated                                   0x00000000
//
// kind is "call" (an operation of the camera interface; slot = its vtable
// slot), "event" (an event raised; slot = its DISPID, result = the number of
// sinks it reached) or "life" (created, activated, deactivated, advised,
// unadvised, destroyed; slot 0). Values are integers in decimal, texts in
// double quotes or null for a null BSTR. A failed call has no result.
//
// Texts keep every UTF-16 code unit as received: printable ASCII stands for
// itself except '"' and '\', which are escaped as \" and \\; \t, \n and \r are
// escaped; well-formed non-ASCII characters are written as UTF-8; any other
// code unit (control characters, a lone surrogate, an embedded NUL) is written
// as \uXXXX.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace CameraSim {

struct JournalValue {
    enum class Kind { Integer, Text, NullText };

    Kind kind = Kind::Integer;
    long integer = 0;
    std::wstring text;

    static JournalValue number(long value);
    static JournalValue string(std::wstring value);
    static JournalValue nullText();
    // A BSTR as received, with its full length (embedded NULs included).
    static JournalValue bstr(BSTR value);

    bool isText() const { return kind != Kind::Integer; }
    bool operator==(const JournalValue& other) const;
    bool operator!=(const JournalValue& other) const { return !(*this == other); }
};

struct JournalRecord {
    enum class Kind { Call, Event, Life };

    static JournalRecord make(Kind kind, unsigned long pid, long instance, int slot,
                              std::wstring name = {}) {
        JournalRecord record;
        record.kind = kind;
        record.pid = pid;
        record.instance = instance;
        record.slot = slot;
        record.name = std::move(name);
        return record;
    }

    Kind kind = Kind::Call;
    unsigned long pid = 0;
    long instance = 0;
    int slot = 0;
    std::wstring name;
    std::vector<JournalValue> args;
    HRESULT hr = S_OK;
    std::optional<JournalValue> result;
};

// The line for a record, UTF-8, without the line end.
std::string formatJournalRecord(const JournalRecord& record);
// Parses one line (without its line end); nothing when the line is malformed.
std::optional<JournalRecord> parseJournalRecord(const std::string& line);

// The quoted, escaped form of a UTF-16 text, and a value's form.
std::string quoteJournalText(const wchar_t* text, size_t length);
std::string formatJournalValue(const JournalValue& value);

// A readable form of a value or a record, for test failure messages.
std::wstring describe(const JournalValue& value);
std::wstring describe(const JournalRecord& record);

} // namespace CameraSim
