#pragma once
// Converts one script value to every target type. A conversion either
// answers a value inside the target's range or refuses with an exception;
// a broken rule aborts. Shared by the native fuzzers and the Windows replay.
#include <climits>
#include <exception>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "JSAPIAuto.h"
#include "utf8_tools.h"
#include "variant.h"

namespace fuzzing {

template <class T, class Check>
void convertTo(const FW::variant& value, Check&& checkResult) {
    try {
        checkResult(value.convert<T>());
    } catch (const std::exception&) {
        // Refused: bad_variant_cast, or the text or page error behind it.
    }
}

template <class T>
inline void convertTo(const FW::variant& value) {
    convertTo<T>(value, [](const T&) {});
}

template <class T>
inline void sameAsHeld(const FW::variant& value) {
    if (value.holds<T>())
        check(value.convert<T>() == value.get<T>());
}

inline void convertToEveryTarget(const FW::variant& value) {
    convertTo<bool>(value);
    convertTo<char>(value);
    convertTo<unsigned char>(value);
    convertTo<short>(value);
    convertTo<unsigned short>(value);
    convertTo<int>(value);
    convertTo<unsigned int>(value);
    // long is a 32-bit range on every host.
    convertTo<long>(value, [](long v) { check(v >= INT32_MIN && v <= INT32_MAX); });
    convertTo<unsigned long>(value, [](unsigned long v) { check(v <= UINT32_MAX); });
    convertTo<long long>(value);
    convertTo<unsigned long long>(value);
    convertTo<float>(value);
    convertTo<double>(value);
    convertTo<std::string>(value, [&](const std::string& text) {
        // Text from wide text goes back to the same wide text.
        if (value.holds<std::wstring>())
            check(FW::utf8_to_wstring(text) == value.get<std::wstring>());
    });
    convertTo<std::wstring>(value, [&](const std::wstring& text) {
        if (value.holds<std::string>())
            check(FW::wstring_to_utf8(text) == value.get<std::string>());
    });
    // The elements read out of a page array are values like any other; the
    // first few show it (an array may hold a million holes).
    convertTo<FW::VariantList>(value, [](const FW::VariantList& list) {
        for (size_t i = 0; i < list.size() && i < 16; ++i)
            convertTo<std::string>(list[i]);
    });
    convertTo<FW::VariantMap>(value);
    convertTo<FW::JSAPIPtr>(value);
    convertTo<std::shared_ptr<FW::JSAPIAuto>>(value);
    convertTo<FW::JSObjectPtr>(value);
    convertTo<FW::variant>(value);

    sameAsHeld<int>(value);
    sameAsHeld<long>(value);
    sameAsHeld<std::string>(value);
    sameAsHeld<std::wstring>(value);
}

} // namespace fuzzing
