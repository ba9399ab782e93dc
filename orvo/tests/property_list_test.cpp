// The texts of revision 1.3: UTF-16 to UTF-8, tag texts, and the colour layer's property
// list. Expected bytes are written out by hand from the encoding rules.
#include "tiff_writer_1_3/property_list.h"
#include "tiff_writer_1_3/utf8_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace Tessaly::Orvo;

namespace {

std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (const unsigned unit : units) {
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (!out.empty()) {
            out += ' ';
        }
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

} // namespace

TEST(Utf16ToUtf8, EncodesEachLengthAtItsBoundaries) {
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0x41, 0x7F}))), "41 7F");
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0x80, 0x7FF}))), "C2 80 DF BF");
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0x800, 0x20AC, 0xFFFF}))), "E0 A0 80 E2 82 AC EF BF BF");
    EXPECT_EQ(Utf16ToUtf8(L""), "");
}

TEST(Utf16ToUtf8, JoinsSurrogatePairsAndKeepsLoneSurrogatesAsCodePoints) {
    // U+1F600 and U+10000 / U+10FFFF, the ends of the supplementary range.
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0xD83D, 0xDE00}))), "F0 9F 98 80");
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0xD800, 0xDC00, 0xDBFF, 0xDFFF}))), "F0 90 80 80 F4 8F BF BF");
    // A high surrogate before a non-surrogate, at the end, and a low one on its own.
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0xD800, 0x41}))), "ED A0 80 41");
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0x41, 0xDBFF}))), "41 ED AF BF");
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0xDC00}))), "ED B0 80");
    // Low before high is not a pair; two highs in a row neither.
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0xDC00, 0xD800}))), "ED B0 80 ED A0 80");
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0xD800, 0xD800, 0xDC00}))), "ED A0 80 F0 90 80 80");
}

TEST(Utf16ToUtf8, TakesWideValuesBeyondUtf16AsCodePointsOrReplacement) {
    if (sizeof(wchar_t) < 4) {
        GTEST_SKIP() << "wchar_t holds only UTF-16 units here";
    }
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0x1F600}))), "F0 9F 98 80");
    EXPECT_EQ(Hex(Utf16ToUtf8(Units({0x110000}))), "EF BF BD");
}

TEST(TagText, PadsShortTextsWithSpacesToFourBytes) {
    EXPECT_EQ(TagText(L"3d"), "3d  ");
    EXPECT_EQ(TagText(L"abc"), "abc ");
    EXPECT_EQ(TagText(L"abcd"), "abcd");
    EXPECT_EQ(TagText(L"abcde"), "abcde");
    // Bytes count, not characters: e-acute is two bytes, the euro sign three.
    EXPECT_EQ(TagText(Units({0xE9})), "\xC3\xA9  ");
    EXPECT_EQ(TagText(Units({0x20AC})), "\xE2\x82\xAC ");
    EXPECT_EQ(TagText(Units({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
    EXPECT_EQ(TagText(L""), "");
    // An ASCII entry ends at its first NUL, so the text is cut there before padding.
    EXPECT_EQ(TagText(std::wstring(L"a\0bcdef", 7)), "a   ");
    EXPECT_EQ(TagText(std::wstring(L"\0abcdef", 7)), "");
}

TEST(PropertyList, EscapesWhatXmlReserves) {
    EXPECT_EQ(EscapeXmlText("plain name.orv"), "plain name.orv");
    EXPECT_EQ(EscapeXmlText("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d\"e'f");
    EXPECT_EQ(EscapeXmlText("&&"), "&amp;&amp;");
}

TEST(PropertyList, FormatsTheDirectionWithSixDecimals) {
    EXPECT_EQ(FormatLightDirection(0.0, 0.0, 1.0), "0.000000/0.000000/1.000000");
    EXPECT_EQ(FormatLightDirection(0.6, 0.0, 0.8), "0.600000/0.000000/0.800000");
    EXPECT_EQ(FormatLightDirection(-0.5, 0.0000004, 0.0000006), "-0.500000/0.000000/0.000001");
}

TEST(PropertyList, UsesADecimalPointUnderACommaLocale) {
    // A host may run with a locale whose decimal separator is a comma. Build such a locale
    // in a temporary folder when none is installed.
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) / "orvo_comma_locale";
    std::filesystem::create_directories(folder);
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + folder.string() + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot build a comma locale here";
    }
    setenv("LOCPATH", folder.c_str(), 1);
    const char* set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    unsetenv("LOCPATH");
    if (set == nullptr) {
        GTEST_SKIP() << "the comma locale cannot be selected";
    }
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    const std::string text = FormatLightDirection(0.6, -0.0, 0.8);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text, "0.600000/-0.000000/0.800000");
}

TEST(PropertyList, IsTheFixedDocumentAroundNameAndDirection) {
    const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                                 "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                 "<plist version=\"1.0\">\n"
                                 "<dict>\n"
                                 "<key>Version</key>\n"
                                 "<integer>4</integer>\n"
                                 "<key>Name</key>\n"
                                 "<string>C:\\renders\\view.orv</string>\n"
                                 "<key>Shadows</key>\n"
                                 "<string>2 0.4 0.600000/0.000000/0.800000 0.0 0/0/0</string>\n"
                                 "</dict>\n"
                                 "</plist>";
    EXPECT_EQ(BuildPropertyList("C:\\renders\\view.orv", 0.6, 0.0, 0.8), expected);
}

TEST(PropertyList, LengthFollowsTheEscapedNameAndTheDirection) {
    const std::string direction = FormatLightDirection(-0.6, 0.0, 0.8);
    ASSERT_EQ(direction.size(), 27u);
    for (const std::string& name : {std::string(), std::string("a.orv"), std::string("x & <y>.orv"),
                                    std::string("\xC3\xA9")}) {
        const std::size_t escaped = EscapeXmlText(name).size();
        const std::string text = BuildPropertyList(name, -0.6, 0.0, 0.8);
        EXPECT_EQ(text.size(), 244 + escaped + 43 + direction.size() + 36) << name;
        EXPECT_EQ(text.find(EscapeXmlText(name) + "</string>"), 244u) << name;
        EXPECT_EQ(text.substr(text.size() - 9), "\n</plist>");
    }
}
