// The bridge's event relay texts for any event text, type and sub-type, over
// a double-byte code page: the text the page gets fits the relay's buffer,
// is the start of the whole relayed text (no character cut in two), and
// type and sub-type arrive as decimal text.
#include <string>

#include "ByteReader.h"
#include "FuzzCheck.h"
#include "RelayedEvent.h"

using fuzzing::check;

namespace {

// A double-byte code page in the manner of the East Asian ones: ASCII as
// is, every other character as a lead byte (0x81..0xFE) and a trail byte.
bool isLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

std::string fromWide(std::wstring_view wide) {
    std::string out;
    for (wchar_t c : wide) {
        const unsigned long code = static_cast<unsigned long>(c) & 0xFFFF;
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else {
            out.push_back(static_cast<char>(0x81 + (code >> 8) % 0x7E));
            out.push_back(static_cast<char>(code & 0xFF));
        }
    }
    return out;
}

// A lead byte without its trail byte, like any byte the code page does not
// know, becomes the default character.
std::wstring toWide(std::string_view ansi) {
    std::wstring out;
    for (size_t i = 0; i < ansi.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(ansi[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<wchar_t>(byte));
        } else if (isLead(byte) && i + 1 < ansi.size()) {
            out.push_back(
                static_cast<wchar_t>(((byte - 0x81) << 8) | static_cast<unsigned char>(ansi[++i])));
        } else {
            out.push_back(L'?');
        }
    }
    return out;
}

constexpr AnsiCodePage kDoubleByte{&fromWide, &toWide, &isLead};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::ByteReader in(data, size);
    const int32_t type = in.number<int32_t>();
    const int32_t subType = in.number<int32_t>();
    // Short inputs reach the buffer's end too: the piece is repeated.
    const size_t repeats = 1 + static_cast<size_t>(in.byte()) * in.byte();
    std::wstring piece;
    for (char16_t unit : in.units())
        piece.push_back(static_cast<wchar_t>(unit));
    std::wstring text;
    for (size_t i = 0; i < repeats && text.size() < 40000; ++i)
        text += piece;

    const auto arguments = RelayedEventArguments(text, type, subType, kDoubleByte);
    check(arguments.size() == 3);
    const std::wstring& relayed = arguments.at(0);
    check(fromWide(relayed).size() < kRelayBufferBytes);
    const std::wstring whole = toWide(fromWide(text));
    check(whole.compare(0, relayed.size(), relayed) == 0);
    // Only what did not fit is missing.
    if (fromWide(text).size() < kRelayBufferBytes)
        check(relayed == whole);
    check(arguments.at(1) == std::to_wstring(type));
    check(arguments.at(2) == std::to_wstring(subType));
    return 0;
}
