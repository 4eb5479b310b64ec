#pragma once
// The texts a page function receives for one camera event: the event text as
// it leaves the relay's formatting buffer, then the type and the sub-type in
// decimal. Free of Windows headers: the code page comes in as functions.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// The relay formats the event text into this many bytes, terminator included.
constexpr size_t kRelayBufferBytes = 10240;

struct AnsiCodePage {
    std::string (*fromWide)(std::wstring_view wide);
    std::wstring (*toWide)(std::string_view ansi);
    // True for a byte that starts a two-byte character.
    bool (*isLeadByte)(unsigned char byte);
};

// Cuts ANSI text to what the buffer holds with its terminator, never inside a
// two-byte character.
void CutToRelayBuffer(std::string& ansi, bool (*isLeadByte)(unsigned char));

// Argument 0: the text through the code page and back, cut to the buffer;
// arguments 1 and 2: type and subType as decimal text.
std::map<int, std::wstring> RelayedEventArguments(std::wstring_view text, int32_t type,
                                                  int32_t subType, const AnsiCodePage& codePage);
