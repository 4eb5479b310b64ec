// The bridge's command-line words on any command line: the answer does not
// depend on the case of ASCII letters, a line with " /word" appended always
// holds the word, a word with a blank in it is never found, and nothing is
// read past the line's terminator.
#include <string>
#include <vector>

#include "ByteReader.h"
#include "FuzzCheck.h"
#include "command_words.h"

using ATL::HasCommandWord;
using fuzzing::check;
using fuzzing::swapAsciiCase;

namespace {

std::wstring wideFrom(const std::u16string& units) {
    std::wstring out;
    for (char16_t unit : units) {
        if (unit != 0)
            out.push_back(static_cast<wchar_t>(unit));
    }
    return out;
}

void checkWord(const std::wstring& line, const std::wstring& word) {
    const bool found = HasCommandWord(line.c_str(), word.c_str());
    check(found == HasCommandWord(swapAsciiCase(line).c_str(), word.c_str()));
    check(found == HasCommandWord(line.c_str(), swapAsciiCase(word).c_str()));
    if (word.find_first_of(L" \t") != std::wstring::npos)
        check(!found);
    if (!word.empty() && word.find_first_of(L" \t") == std::wstring::npos)
        check(HasCommandWord((line + L" /" + word).c_str(), word.c_str()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::ByteReader in(data, size);
    const std::wstring word = wideFrom(in.units());
    std::u16string rest;
    while (!in.empty())
        rest.push_back(static_cast<char16_t>(in.number<uint16_t>()));
    // The line as the program gets it: exactly these characters up to the
    // first zero, in a buffer of its own size.
    const std::wstring line = wideFrom(rest);
    std::vector<wchar_t> exact(line.begin(), line.end());
    exact.push_back(L'\0');
    for (const wchar_t* known : {L"RegServer", L"UnregServer", L"Service", L"Embedding"})
        HasCommandWord(exact.data(), known);
    HasCommandWord(exact.data(), word.c_str());
    check(!HasCommandWord(nullptr, word.c_str()) && !HasCommandWord(exact.data(), nullptr));
    checkWord(line, word);
    checkWord(line, L"RegServer");
    return 0;
}
