#include "platform/user32.h"
#include "platform/user32_script.h"

#include <gtest/gtest.h>

TEST(MessageBoxes, AreRecordedAndAnswerAsScripted) {
    platform::EchoMessageBoxes(false);
    platform::ClearMessageBoxes();
    platform::ScriptMessageBoxAnswers({IDCANCEL});
    EXPECT_EQ(MessageBoxW(nullptr, L"Node identifiers not available.", L"Warning",
                          MB_OKCANCEL | MB_ICONWARNING),
              IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "a.orv - Read failed", "Error", MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, L"x", nullptr, MB_ICONERROR), IDOK);
    const auto& shown = platform::MessageBoxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].caption, L"Warning");
    EXPECT_EQ(shown[0].type, 49u);
    EXPECT_EQ(shown[1].text, L"a.orv - Read failed");
    EXPECT_EQ(shown[1].type, 64u);
    EXPECT_FALSE(shown[2].captionGiven);
    platform::ClearMessageBoxes();
    EXPECT_TRUE(platform::MessageBoxes().empty());
    platform::EchoMessageBoxes(true);
}

TEST(MessageBoxes, AnsiBoxIsWrittenAsCaptionColonTextOnStandardError) {
    platform::ClearMessageBoxes();
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    MessageBoxA(nullptr, "Wrong number of arguments.", "Error", MB_ICONINFORMATION);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Wrong number of arguments.\n");
    platform::ClearMessageBoxes();
}
