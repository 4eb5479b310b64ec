// The bridge's SplitString on any text and delimiter: the pieces joined with
// the delimiter give the text back (empty pieces left out when asked), and
// none of them holds the delimiter.

#include "ByteReader.h"
#include "FuzzCheck.h"
#include "SplitString.h"

using fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::ByteReader in(data, size);
    const bool skipEmpty = in.flag();
    const std::string delimiter = in.text();
    const std::string text = in.rest();

    std::map<int, std::string> pieces{{7, "left over"}};
    const int count = SplitString(text, delimiter, skipEmpty, pieces);
    if (delimiter.empty()) {
        check(count == 0 && pieces.size() == 1);
        return 0;
    }
    check(count >= 0 && static_cast<size_t>(count) == pieces.size());
    std::string joined;
    int expectedKey = 0;
    for (const auto& piece : pieces) {
        check(piece.first == expectedKey++);
        check(piece.second.find(delimiter) == std::string::npos);
        if (skipEmpty)
            check(!piece.second.empty());
        if (piece.first > 0)
            joined += delimiter;
        joined += piece.second;
    }
    if (!skipEmpty)
        check(joined == text);
    else
        check(joined.size() <= text.size());
    return 0;
}
