#include "platform/kernel32.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

using platform::AnsiToWide;
using platform::WideToAnsi;

namespace {

std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (unsigned u : units) {
        text += static_cast<wchar_t>(u);
    }
    return text;
}

} // namespace

TEST(AnsiText, AsciiAndMultiByteCharactersBecomeUtf16Units) {
    EXPECT_EQ(AnsiToWide("Box01"), L"Box01");
    EXPECT_EQ(AnsiToWide("\xC3\xA9t\xC3\xA9"), Units({0xE9, 't', 0xE9}));
    EXPECT_EQ(AnsiToWide("\xE2\x82\xAC"), Units({0x20AC}));
    // A character outside the basic plane arrives as a surrogate pair, as on Windows.
    EXPECT_EQ(AnsiToWide("\xF0\x9F\x98\x80"), Units({0xD83D, 0xDE00}));
    EXPECT_EQ(AnsiToWide(""), L"");
}

TEST(AnsiText, InvalidSequencesBecomeReplacementCharactersNotGaps) {
    // A stray continuation byte, a truncated sequence at the end, an overlong encoding and an
    // encoded surrogate: each is replaced, and the text around it survives.
    EXPECT_EQ(AnsiToWide("a\x80z"), Units({'a', 0xFFFD, 'z'}));
    EXPECT_EQ(AnsiToWide("ab\xE2\x82"), Units({'a', 'b', 0xFFFD}));
    EXPECT_EQ(AnsiToWide("\xC0\xAFx"), Units({0xFFFD, 0xFFFD, 'x'}));
    EXPECT_EQ(AnsiToWide("\xED\xA0\x80"), Units({0xFFFD, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(AnsiToWide("\xF5"), Units({0xFFFD}));
    EXPECT_EQ(AnsiToWide("\xE2\x28\xA1"), Units({0xFFFD, '(', 0xFFFD}));
}

TEST(AnsiText, WideTextRoundTripsAndLoneSurrogatesAreReplaced) {
    const std::wstring name = Units({'C', 0xE9, 0x20AC, 0xD83D, 0xDE00, '!'});
    EXPECT_EQ(WideToAnsi(name), "C\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80!");
    EXPECT_EQ(AnsiToWide(WideToAnsi(name)), name);
    EXPECT_EQ(WideToAnsi(Units({'a', 0xD800, 'b'})), "a\xEF\xBF\xBD"
                                                     "b");
    EXPECT_EQ(WideToAnsi(Units({0xDC00})), "\xEF\xBF\xBD");
    EXPECT_EQ(WideToAnsi(L""), "");
}

TEST(AnsiText, Win32LengthConventionsHold) {
    // -1 counts the terminating NUL; a size of 0 asks for the length; too small fails.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    wchar_t small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
    wchar_t wide[4];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);
    EXPECT_EQ(std::wstring(wide), L"abc");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u00e9", -1, nullptr, 0, nullptr, nullptr), 3);
    char narrow[3];
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\u00e9", -1, narrow, 3, nullptr, nullptr), 3);
    EXPECT_EQ(std::string(narrow), "\xC3\xA9");
}
