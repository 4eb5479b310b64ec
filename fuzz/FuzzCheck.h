#pragma once
// What every fuzzer's checks stand on: a broken rule aborts, so libFuzzer
// keeps the input that broke it.
#include <cstdlib>

namespace fuzzing {

inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// The text with the case of every ASCII letter swapped, for rules that must
// not depend on it.
template <class Text>
Text swapAsciiCase(Text text) {
    for (auto& c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            c ^= 0x20; // ASCII upper and lower case differ in this one bit
    }
    return text;
}

} // namespace fuzzing
