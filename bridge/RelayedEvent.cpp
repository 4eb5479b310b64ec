#include "RelayedEvent.h"

void CutToRelayBuffer(std::string& ansi, bool (*isLeadByte)(unsigned char)) {
    constexpr size_t limit = kRelayBufferBytes - 1;
    if (ansi.size() <= limit)
        return;
    // Lead bytes are only known walking forward from the start.
    size_t end = 0;
    for (;;) {
        const bool pair =
            isLeadByte(static_cast<unsigned char>(ansi[end])) && end + 1 < ansi.size();
        const size_t next = end + (pair ? 2 : 1);
        if (next > limit)
            break;
        end = next;
    }
    ansi.resize(end);
}

std::map<int, std::wstring> RelayedEventArguments(std::wstring_view text, int32_t type,
                                                  int32_t subType, const AnsiCodePage& codePage) {
    std::string ansi = codePage.fromWide(text);
    CutToRelayBuffer(ansi, codePage.isLeadByte);
    std::map<int, std::wstring> arguments;
    arguments[0] = codePage.toWide(ansi);
    arguments[1] = std::to_wstring(type);
    arguments[2] = std::to_wstring(subType);
    return arguments;
}
