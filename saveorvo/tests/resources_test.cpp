// The resources registered from saveorvo.rc, checked against the texts and layouts the
// plug-in must carry, and the Windows-only parts of the script read as text.
#include "attached_module.h"
#include "platform/user32.h"
#include "resource.h"

#include <fstream>
#include <sstream>

namespace {

std::wstring String(UINT id) {
    wchar_t buffer[256];
    return LoadStringW(TestModule(), id, buffer, 256) != 0 ? buffer : L"<missing>";
}

std::string SourceFile(const char* name) {
    std::ifstream in(std::string(ORVO_SOURCE_DIR) + "/saveorvo/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ExpectedControl {
    int id;
    const wchar_t* windowClass;
    DWORD style;
    short x, y, cx, cy;
    const wchar_t* text;
};

// Both dialogs are modal pop-ups with a caption and a system menu, in 8-point MS Sans Serif.
void ExpectDialog(const platform::DialogTemplate& dialog, bool extended, short cx, short cy,
                  const wchar_t* caption, const std::vector<ExpectedControl>& expected) {
    EXPECT_EQ(dialog.extended, extended);
    EXPECT_EQ(dialog.cx, cx);
    EXPECT_EQ(dialog.cy, cy);
    EXPECT_EQ(dialog.style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    EXPECT_EQ(dialog.caption, caption);
    EXPECT_EQ(dialog.fontName, L"MS Sans Serif");
    EXPECT_EQ(dialog.fontPointSize, 8);
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const platform::DialogControlTemplate& control = dialog.controls[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(control.id, expected[i].id);
        EXPECT_EQ(control.windowClass, expected[i].windowClass);
        EXPECT_EQ(control.style, expected[i].style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(control.x, expected[i].x);
        EXPECT_EQ(control.y, expected[i].y);
        EXPECT_EQ(control.cx, expected[i].cx);
        EXPECT_EQ(control.cy, expected[i].cy);
        if (expected[i].text != nullptr) {
            EXPECT_EQ(control.text, expected[i].text);
        }
    }
}

} // namespace

TEST_F(AttachedModule, StringTableIsBritishEnglishWithEveryText) {
    EXPECT_EQ(platform::StringTableLanguage(TestModule()), 0x0809);
    EXPECT_EQ(String(1), L"ORV");
    EXPECT_EQ(String(2), L"Bitmap IO");
    EXPECT_EQ(String(3), L"Orvo Image File");
    EXPECT_EQ(String(4), L"Error writing Orvo file");
    EXPECT_EQ(String(5), L"Tessaly");
    EXPECT_EQ(String(6), L"Copyright (c) 2016 Tessaly");
    EXPECT_EQ(String(7), L"Orvo File Writer (Tessaly, www.tessaly.com)");
    EXPECT_EQ(String(8), L"Unnamed %d");
    EXPECT_EQ(String(9), L"Node ID %d");
    EXPECT_EQ(String(10), L"Unknown");
    EXPECT_EQ(String(11), L"Orvo output requires a Z-buffer.\n"
                          L"Select Orvo file output in the Render Scene dialog.");
    EXPECT_EQ(String(12), L"Node identifiers not available.\n"
                          L"Select Orvo file output in the Render Scene dialog.\n\n"
                          L"Press OK to generate an Orvo file that will not contain Material "
                          L"information.");
    EXPECT_EQ(String(13), L"Warning");
    EXPECT_EQ(String(14), L"<missing>");
    EXPECT_EQ(String(0), L"<missing>");
}

TEST_F(AttachedModule, AboutDialogIsAClassicTemplate) {
    const platform::DialogTemplate* about = platform::FindDialogTemplate(TestModule(), 111);
    ASSERT_NE(about, nullptr);
    ASSERT_NO_FATAL_FAILURE(ExpectDialog(
        *about, false, 186, 84, L"About Orvo File Writer",
        {{1, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 65, 63, 50, 14, L"OK"},
         {-1, L"Static", SS_LEFT | WS_GROUP, 7, 6, 172, 8, L"Orvo File Writer Version 1.2.17"},
         {-1, L"Static", SS_LEFT | WS_GROUP, 7, 20, 172, 17, nullptr},
         {-1, L"Static", SS_LEFT | WS_GROUP, 7, 43, 89, 8, L"www.tessaly.com"}}));
    EXPECT_NE(about->controls[2].text.find(L"2016 Tessaly"), std::wstring::npos);
}

TEST_F(AttachedModule, ConfigurationDialogIsAnExtendedTemplate) {
    const platform::DialogTemplate* configure = platform::FindDialogTemplate(TestModule(), 112);
    ASSERT_NE(configure, nullptr);
    ExpectDialog(
        *configure, true, 126, 54, L"Orvo output configuration",
        {{1, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 5, 35, 50, 14, L"OK"},
         {2, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 71, 35, 50, 14, L"Cancel"},
         {50, L"Button", BS_AUTORADIOBUTTON | WS_GROUP, 5, 5, 116, 10, L"Use material names"},
         {51, L"Button", BS_AUTORADIOBUTTON, 5, 17, 116, 10, L"Use object names"}});
    EXPECT_EQ(platform::FindDialogTemplate(TestModule(), 113), nullptr);
}

TEST(ResourceScript, VersionBlockAndManifest) {
    // Compared with single blanks for every run of white space.
    auto normalised = [](const std::string& text) {
        std::string result;
        for (char c : text) {
            const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
            if (!blank) {
                result += c;
            } else if (!result.empty() && result.back() != ' ') {
                result += ' ';
            }
        }
        return result;
    };
    const std::string script = normalised(SourceFile("saveorvo.rc"));
    for (const char* expected :
         {" FILEVERSION 1,2,17,6199 ", " PRODUCTVERSION 1,2,17,0 ", " FILEOS VOS__WINDOWS32 ",
          " FILETYPE VFT_DLL ", "BLOCK \"080904b0\"", "VALUE \"Translation\", 0x809, 1200",
          "VALUE \"FileDescription\", \"Saveorvo\"", "VALUE \"InternalName\", \"Saveorvo\"",
          "VALUE \"OriginalFilename\", \"Saveorvo.bmi\"", "VALUE \"FileVersion\", \"1.2.17.6199\"",
          "VALUE \"ProductVersion\", \"1.2.17.0\"",
          "VALUE \"ProductName\", \"Tessaly Orvo Writer\"", "VALUE \"CompanyName\", \"Tessaly\"",
          "VALUE \"LegalCopyright\", \"Copyright (c) 2016 Tessaly\"",
          "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK",
          "ISOLATIONAWARE_MANIFEST_RESOURCE_ID RT_MANIFEST \"saveorvo.manifest\""}) {
        EXPECT_NE(script.find(expected), std::string::npos) << expected;
    }

    const std::string manifest = normalised(SourceFile("saveorvo.manifest"));
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}
