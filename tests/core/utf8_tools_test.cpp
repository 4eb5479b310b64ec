#include "utf8_tools.h"

#include <gtest/gtest.h>
#include <stdexcept>

using FW::utf8_to_wstring;
using FW::wstring_to_utf8;

namespace {

std::string messageOf(void (*f)()) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

} // namespace

TEST(Utf8Tools, RoundTripsTextOutsideTheBasicPlane) {
    const std::string utf8 = "caf\xC3\xA9 \xF0\x9F\x93\xB7"; // "café 📷"
    const std::wstring wide = utf8_to_wstring(utf8);
    if (sizeof(wchar_t) == 2) {
        ASSERT_EQ(wide.size(), 7u); // the camera emoji is a surrogate pair
        EXPECT_EQ(wide[5], static_cast<wchar_t>(0xD83D));
        EXPECT_EQ(wide[6], static_cast<wchar_t>(0xDCF7));
    } else {
        ASSERT_EQ(wide.size(), 6u);
        EXPECT_EQ(static_cast<unsigned>(wide[5]), 0x1F4F7u);
    }
    EXPECT_EQ(wstring_to_utf8(wide), utf8);
    EXPECT_EQ(wstring_to_utf8(L""), "");
}

TEST(Utf8Tools, RejectsInvalidUtf8) {
    EXPECT_EQ(messageOf([] { utf8_to_wstring("ok\xFF"); }), "Invalid UTF-8");
    EXPECT_EQ(messageOf([] { utf8_to_wstring("\xC3"); }), "Not enough space");
}

TEST(Utf8Tools, RejectsUnpairedSurrogates) {
    const std::string expected = sizeof(wchar_t) == 2 ? "Invalid UTF-16" : "Invalid code point";
    EXPECT_EQ(messageOf([] { wstring_to_utf8(std::wstring(1, static_cast<wchar_t>(0xDC00))); }),
              expected);
    EXPECT_EQ(messageOf([] { wstring_to_utf8(std::wstring(1, static_cast<wchar_t>(0xD800))); }),
              expected);
    EXPECT_EQ(messageOf([] {
                  std::wstring s = L"a";
                  s += static_cast<wchar_t>(0xD800);
                  s += L'b';
                  wstring_to_utf8(s);
              }),
              expected);
}
