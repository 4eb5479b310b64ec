// Script values of every held type, converted to every target type. A
// conversion either answers a value inside the target's range or refuses
// with an exception the scripting core knows; nothing crashes, leaks or
// loops without end.
#include <climits>
#include <cstdlib>
#include <exception>

#include "ByteReader.h"
#include "VariantFromBytes.h"
#include "utf8_tools.h"

using FW::variant;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

template <class T, class Check>
void convertTo(const variant& value, Check&& checkResult) {
    try {
        checkResult(value.convert<T>());
    } catch (const std::exception&) {
        // Refused: bad_variant_cast, or the text or page error behind it.
    }
}

template <class T>
void convertTo(const variant& value) {
    convertTo<T>(value, [](const T&) {});
}

template <class T>
void sameAsHeld(const variant& value) {
    if (value.holds<T>())
        check(value.convert<T>() == value.get<T>());
}

void convertToEveryTarget(const variant& value) {
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
    convertTo<FW::VariantList>(value, [](const FW::VariantList& list) {
        for (const variant& element : list)
            convertTo<std::string>(element);
    });
    convertTo<FW::VariantMap>(value);
    convertTo<FW::JSAPIPtr>(value);
    convertTo<std::shared_ptr<FW::JSAPIAuto>>(value);
    convertTo<FW::JSObjectPtr>(value);
    convertTo<variant>(value);

    sameAsHeld<int>(value);
    sameAsHeld<long>(value);
    sameAsHeld<std::string>(value);
    sameAsHeld<std::wstring>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FW::BrowserHostPtr host = FW::Testing::TestBrowserHost::create();
    fuzzing::ByteReader in(data, size);
    fuzzing::VariantWorld world{host, {}};
    while (!in.empty()) {
        const variant value = fuzzing::decodeVariant(in, world);
        convertToEveryTarget(value);
        // Copies and orderings of any value are sound.
        variant copy = value;
        check(!(copy < value) && !(value < copy));
        variant moved = std::move(copy);
        moved.swap(copy);
        check(!(copy < value) && !(value < copy));
    }
    return 0;
}
