// Conversion rules: numbers, text parsing, boolean words and string forms.
#include "utf8_tools.h"
#include "variant.h"
#include "variant_test_support.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

using FW::variant;
using FW::variant_detail::type_name;
using variant_testing::message_of;
using variant_testing::refuses;
using variant_testing::refuses_value;

namespace {

using ll = long long;
using ull = unsigned long long;

// Checks the range edges of an integer target up to 32 bits wide, reached
// from 64-bit integers and from doubles (truncated toward zero).
template <class T>
void expectRange(ll min, ll max) {
    SCOPED_TRACE(type_name<T>());
    EXPECT_EQ(variant(max).convert<T>(), static_cast<T>(max));
    EXPECT_EQ(variant(static_cast<ull>(max)).convert<T>(), static_cast<T>(max));
    EXPECT_EQ(variant(min).convert<T>(), static_cast<T>(min));
    EXPECT_TRUE((refuses_value<T, ll>(max + 1)));
    EXPECT_TRUE((refuses_value<T, ull>(static_cast<ull>(max) + 1)));
    EXPECT_TRUE((refuses_value<T, ll>(min - 1)));

    EXPECT_EQ(variant(max + 0.9).convert<T>(), static_cast<T>(max));
    EXPECT_EQ(variant(min - 0.9).convert<T>(), static_cast<T>(min));
    EXPECT_TRUE((refuses_value<T, double>(max + 1.0)));
    EXPECT_TRUE((refuses_value<T, double>(min - 1.0)));
    EXPECT_TRUE((refuses_value<T, float>(static_cast<float>(max) * 2.0f + 2.0f)));
    EXPECT_TRUE((refuses_value<T, double>(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE((refuses_value<T, double>(-std::numeric_limits<double>::infinity())));
}

} // namespace

TEST(VariantNumbers, RangeEdgesOfEveryIntegerTarget) {
    expectRange<short>(-32768, 32767);
    expectRange<unsigned short>(0, 65535);
    expectRange<int>(INT32_MIN, INT32_MAX);
    expectRange<unsigned int>(0, UINT32_MAX);
    // long and unsigned long are 32-bit ranges on every build.
    expectRange<long>(INT32_MIN, INT32_MAX);
    expectRange<unsigned long>(0, UINT32_MAX);

    EXPECT_EQ(variant(ull(INT64_MAX)).convert<ll>(), INT64_MAX);
    EXPECT_TRUE((refuses_value<ll, ull>(ull(INT64_MAX) + 1)));
    EXPECT_EQ(variant(-9223372036854775808.0).convert<ll>(), INT64_MIN);
    EXPECT_EQ(variant(9223372036854774784.0).convert<ll>(), 9223372036854774784LL);
    EXPECT_TRUE((refuses_value<ll, double>(9223372036854775808.0)));

    EXPECT_EQ(variant(UINT64_MAX).convert<ull>(), UINT64_MAX);
    EXPECT_EQ(variant(ll(INT64_MAX)).convert<ull>(), ull(INT64_MAX));
    EXPECT_TRUE((refuses_value<ull, ll>(-1)));
    EXPECT_EQ(variant(18446744073709549568.0).convert<ull>(), 18446744073709549568ULL);
    EXPECT_TRUE((refuses_value<ull, double>(18446744073709551616.0)));
    EXPECT_EQ(variant(-0.9).convert<ull>(), 0u);
}

TEST(VariantNumbers, FloatingTargetsTakeWhatFits) {
    const double floatMax = std::numeric_limits<float>::max();
    EXPECT_EQ(variant(floatMax).convert<float>(), std::numeric_limits<float>::max());
    EXPECT_EQ(variant(-floatMax).convert<float>(), -std::numeric_limits<float>::max());
    EXPECT_TRUE((refuses_value<float, double>(3.5e38)));
    EXPECT_TRUE((refuses_value<float, double>(-3.5e38)));
    EXPECT_TRUE((refuses_value<float, double>(std::numeric_limits<double>::infinity())));
    EXPECT_FLOAT_EQ(variant(UINT64_MAX).convert<float>(), 1.8446744e19f);
    EXPECT_TRUE(std::isnan(variant(std::nan("")).convert<float>()));

    // Anything integral, and any float, fits a double.
    EXPECT_EQ(variant(UINT64_MAX).convert<double>(), 18446744073709551616.0);
    EXPECT_EQ(variant(INT64_MIN).convert<double>(), -9223372036854775808.0);
    EXPECT_EQ(variant(3.5f).convert<double>(), 3.5);
    EXPECT_EQ(variant(std::numeric_limits<float>::infinity()).convert<double>(),
              std::numeric_limits<double>::infinity());
}

TEST(VariantNumbers, SpecificValuesFromEveryKindOfSource) {
    EXPECT_THROW(variant(3000000000u).convert<int>(), FW::bad_variant_cast);
    EXPECT_THROW(variant(3000000000u).convert<long>(), FW::bad_variant_cast);
    EXPECT_EQ(variant(3000000000u).convert<ll>(), 3000000000LL);
    EXPECT_EQ(variant(3000000000u).convert<unsigned long>(), 3000000000ul);
    EXPECT_EQ(variant(3000000000u).convert<double>(), 3000000000.0);

    EXPECT_TRUE((refuses_value<unsigned int, int>(-1)));
    EXPECT_EQ(variant(-0.5).convert<unsigned int>(), 0u);
    EXPECT_TRUE((refuses_value<int, double>(2147483648.0)));
    EXPECT_EQ(variant(2147483647.9).convert<int>(), 2147483647);
    EXPECT_EQ(variant(-2147483648.9).convert<int>(), INT32_MIN);
    EXPECT_EQ(variant(0.5).convert<long>(), 0L);
    EXPECT_EQ(variant(-7.9f).convert<short>(), -7);

    EXPECT_EQ(variant('A').convert<int>(), 65);
    EXPECT_EQ(variant(static_cast<unsigned char>(200)).convert<short>(), 200);
    EXPECT_TRUE((refuses_value<unsigned long, char>(static_cast<char>(-1))));
    EXPECT_TRUE((refuses_value<short, unsigned short>(40000)));
    EXPECT_EQ(variant(true).convert<int>(), 1);
    EXPECT_TRUE((refuses_value<unsigned long, long>(-7L)));
    EXPECT_EQ(variant(4294967295ul).convert<unsigned int>(), 4294967295u);
    EXPECT_TRUE((refuses_value<long, unsigned long>(2147483648ul)));
}

TEST(VariantParsing, NumbersReadLikeAStream) {
    EXPECT_EQ(variant(" 42").convert<int>(), 42);
    EXPECT_EQ(variant("\t\n42 apples").convert<int>(), 42);
    EXPECT_EQ(variant("12abc").convert<long>(), 12L);
    EXPECT_EQ(variant("-12").convert<short>(), -12);
    EXPECT_EQ(variant("3.9").convert<int>(), 3);
    EXPECT_DOUBLE_EQ(variant(" 2.5e3xyz").convert<double>(), 2500.0);
    EXPECT_FLOAT_EQ(variant("0.1").convert<float>(), 0.1f);
    EXPECT_EQ(variant("18446744073709551615").convert<ull>(), UINT64_MAX);
    EXPECT_EQ(variant("-9223372036854775808").convert<ll>(), INT64_MIN);

    for (const char* text : {"apples", "", "   ", "-", ".", "e5"}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE((refuses<int, std::string>(variant(text))));
        EXPECT_TRUE((refuses<double, std::string>(variant(text))));
    }
}

TEST(VariantParsing, ParsedNumbersMustFitTheTarget) {
    EXPECT_EQ(variant("32767").convert<short>(), 32767);
    EXPECT_TRUE((refuses<short, std::string>(variant("32768"))));
    EXPECT_TRUE((refuses<unsigned short, std::string>(variant("65536"))));
    EXPECT_EQ(variant("2147483647").convert<long>(), 2147483647L);
    EXPECT_TRUE((refuses<long, std::string>(variant("2147483648"))));
    EXPECT_TRUE((refuses<long, std::string>(variant("-2147483649"))));
    EXPECT_EQ(variant("4294967295").convert<unsigned long>(), 4294967295ul);
    EXPECT_TRUE((refuses<unsigned long, std::string>(variant("4294967296"))));
    EXPECT_TRUE((refuses<ll, std::string>(variant("9223372036854775808"))));
    EXPECT_TRUE((refuses<float, std::string>(variant("1e39"))));
    EXPECT_TRUE((refuses<double, std::string>(variant("1e999"))));

    // Negative text never wraps around to a large unsigned value.
    EXPECT_TRUE((refuses<unsigned int, std::string>(variant("-1"))));
    EXPECT_TRUE((refuses<unsigned short, std::string>(variant(" -5"))));
    EXPECT_TRUE((refuses<ull, std::string>(variant("-18446744073709551615"))));
    EXPECT_EQ(variant("-0").convert<unsigned long>(), 0ul);
}

TEST(VariantParsing, WideTextParsesAsUtf8) {
    EXPECT_EQ(variant(L" 42").convert<int>(), 42);
    EXPECT_DOUBLE_EQ(variant(L"-1.25x").convert<double>(), -1.25);
    EXPECT_TRUE((refuses<int, std::wstring>(variant(L"x"))));
    EXPECT_TRUE((refuses<unsigned int, std::wstring>(variant(L"-3"))));

    const std::wstring unpaired(1, static_cast<wchar_t>(0xDC00));
    const std::string expected = sizeof(wchar_t) == 2 ? "Invalid UTF-16" : "Invalid code point";
    EXPECT_EQ(message_of([&] { variant(unpaired).convert<int>(); }), expected);
}

TEST(VariantBooleans, WordsAndNumbers) {
    for (const char* yes : {"TRUE", "Yes", "t", "1", "y", "tRuE", "Y"}) {
        SCOPED_TRACE(yes);
        EXPECT_TRUE(variant(yes).convert<bool>());
        EXPECT_TRUE(variant(FW::utf8_to_wstring(yes)).convert<bool>());
    }
    for (const char* no : {"2", "no", "", "false", " yes", "yes ", "truee", "0", "on"}) {
        SCOPED_TRACE(no);
        EXPECT_FALSE(variant(no).convert<bool>());
        EXPECT_FALSE(variant(FW::utf8_to_wstring(no)).convert<bool>());
    }
    EXPECT_FALSE(variant(std::string("y\0", 2)).convert<bool>());
    EXPECT_FALSE(variant(L"\u0131").convert<bool>()); // dotless i is no word

    EXPECT_TRUE(variant(true).convert<bool>());
    EXPECT_FALSE(variant(0.5).convert<bool>());
    EXPECT_TRUE(variant(-1).convert<bool>());
    EXPECT_TRUE(variant('0').convert<bool>());
    EXPECT_FALSE(variant(0ULL).convert<bool>());
    // Numbers go through long, so what does not fit a long is refused.
    EXPECT_TRUE((refuses<bool, double>(variant(1e20), type_name<long>())));
    EXPECT_TRUE((refuses<bool, FW::VariantList>(variant(FW::VariantList{}), type_name<long>())));
}

TEST(VariantStrings, NarrowForms) {
    EXPECT_EQ(variant(true).convert<std::string>(), "true");
    EXPECT_EQ(variant('A').convert<std::string>(), "A");
    EXPECT_EQ(variant(static_cast<short>(-32768)).convert<std::string>(), "-32768");
    EXPECT_EQ(variant(INT32_MIN).convert<std::string>(), "-2147483648");
    EXPECT_EQ(variant(-2147483647L - 1).convert<std::string>(), "-2147483648");
    EXPECT_EQ(variant(4294967295ul).convert<std::string>(), "4294967295");
    EXPECT_EQ(variant(INT64_MIN).convert<std::string>(), "-9223372036854775808");
    EXPECT_EQ(variant(UINT64_MAX).convert<std::string>(), "18446744073709551615");
    EXPECT_EQ(variant(L"caf\u00E9").convert<std::string>(), "caf\xC3\xA9");

    EXPECT_EQ(variant(3.14159265).convert<std::string>(), "3.14159");
    EXPECT_EQ(variant(2.5).convert<std::string>(), "2.5");
    EXPECT_EQ(variant(100.0).convert<std::string>(), "100");
    EXPECT_EQ(variant(1234567.0).convert<std::string>(), "1.23457e+06");
    EXPECT_EQ(variant(0.00001).convert<std::string>(), "1e-05");
    EXPECT_EQ(variant(-0.0).convert<std::string>(), "-0");
    EXPECT_EQ(variant(0.1f).convert<std::string>(), "0.1");
    EXPECT_EQ(variant(-1e20f).convert<std::string>(), "-1e+20");
}

TEST(VariantStrings, WideForms) {
    EXPECT_EQ(variant(true).convert<std::wstring>(), L"true");
    EXPECT_EQ(variant('A').convert<std::wstring>(), L"A");
    EXPECT_EQ(variant(static_cast<char>(0xE9)).convert<std::wstring>(), L"\u00E9");
    EXPECT_EQ(variant(static_cast<unsigned char>(0xFF)).convert<std::wstring>(), L"\u00FF");
    EXPECT_EQ(variant(static_cast<unsigned short>(65535)).convert<std::wstring>(), L"65535");
    EXPECT_EQ(variant(4294967295u).convert<std::wstring>(), L"4294967295");
    EXPECT_EQ(variant(-5L).convert<std::wstring>(), L"-5");
    EXPECT_EQ(variant(5ul).convert<std::wstring>(), L"5");
    EXPECT_EQ(variant(3.14159265).convert<std::wstring>(), L"3.14159");
    EXPECT_EQ(variant(100.0f).convert<std::wstring>(), L"100");
    EXPECT_EQ(variant("caf\xC3\xA9 \xF0\x9F\x93\xB7").convert<std::wstring>(),
              FW::utf8_to_wstring("caf\xC3\xA9 \xF0\x9F\x93\xB7"));

    // The 64-bit integers have no wide form, though they have a narrow one.
    EXPECT_TRUE((refuses_value<std::wstring, ll>(1)));
    EXPECT_TRUE((refuses_value<std::wstring, ull>(1)));
    EXPECT_EQ(variant(1LL).convert<std::string>(), "1");
}

TEST(VariantStrings, InvalidUnicodeFailsWithTheConverterMessage) {
    EXPECT_EQ(message_of([] { variant("ok\xFF").convert<std::wstring>(); }), "Invalid UTF-8");

    const std::string unpairedMessage =
        sizeof(wchar_t) == 2 ? "Invalid UTF-16" : "Invalid code point";
    std::wstring high = L"a";
    high += static_cast<wchar_t>(0xD800);
    EXPECT_EQ(message_of([&] { variant(high).convert<std::string>(); }), unpairedMessage);
    high += L'b';
    EXPECT_EQ(message_of([&] { variant(high).convert<std::string>(); }), unpairedMessage);
    const std::wstring low(1, static_cast<wchar_t>(0xDFFF));
    EXPECT_EQ(message_of([&] { variant(low).convert<std::string>(); }), unpairedMessage);
    EXPECT_EQ(message_of([&] { variant(low).convert<bool>(); }), "no exception");
    if (sizeof(wchar_t) == 4) {
        // Beyond the last code point.
        const std::wstring beyond(1, static_cast<wchar_t>(0x110000));
        EXPECT_EQ(message_of([&] { variant(beyond).convert<std::string>(); }),
                  "Invalid code point");
    }
}

TEST(VariantStrings, ValuesWithoutTextFormAreRefused) {
    EXPECT_TRUE((refuses<std::string, FW::VariantList>(variant(FW::VariantList{1}))));
    EXPECT_TRUE((refuses<std::wstring, FW::VariantMap>(variant(FW::VariantMap{}))));
    EXPECT_TRUE((refuses<std::string, FW::JSAPIPtr>(variant(FW::JSAPIPtr()))));
    EXPECT_TRUE((refuses<std::string, FW::ScriptErrorPtr>(variant(FW::ScriptErrorPtr()))));
    EXPECT_TRUE((refuses<std::wstring, FW::JSAPIWeakPtr>(variant(FW::JSAPIWeakPtr()))));
}
