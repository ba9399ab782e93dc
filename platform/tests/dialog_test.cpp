#include "platform/user32.h"
#include "platform/user32_resources.h"
#include "platform/user32_script.h"

#include <gtest/gtest.h>

namespace {

const HMODULE module = reinterpret_cast<HMODULE>(0x9000);
const HWND owner = reinterpret_cast<HWND>(0x4242);

platform::DialogControlTemplate Control(int id, const wchar_t* windowClass, DWORD style) {
    return {id, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 10, 10};
}

// Two radio groups, OK and Cancel, a static text.
platform::DialogTemplate TestTemplate() {
    platform::DialogTemplate dialog{};
    dialog.style = WS_POPUP | WS_CAPTION;
    dialog.controls = {
        Control(-1, L"Static", SS_LEFT | WS_GROUP),
        Control(1, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP),
        Control(2, L"Button", BS_PUSHBUTTON | WS_TABSTOP),
        Control(50, L"Button", BS_AUTORADIOBUTTON | WS_GROUP),
        Control(51, L"Button", BS_AUTORADIOBUTTON),
        Control(60, L"Button", BS_AUTORADIOBUTTON | WS_GROUP),
        Control(61, L"Button", BS_AUTORADIOBUTTON),
        Control(70, L"Button", BS_AUTOCHECKBOX | WS_GROUP),
    };
    return dialog;
}

// What the procedures below saw.
struct Seen {
    HWND parent = nullptr;
    LONG_PTR userData = 0;
    HWND focus = nullptr;
    UINT check60 = 99;
} seen;

// Ends with the identifier of OK or Cancel; checks 50 and 60 on start.
INT_PTR CALLBACK ButtonsProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        seen.parent = GetParent(dialog);
        seen.userData = GetWindowLongPtrW(dialog, GWLP_USERDATA);
        seen.focus = reinterpret_cast<HWND>(wParam);
        CheckDlgButton(dialog, 50, BST_CHECKED);
        CheckDlgButton(dialog, 60, BST_CHECKED);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        seen.check60 = IsDlgButtonChecked(dialog, 60);
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 10 : 20);
        return TRUE;
    }
    return message == WM_COMMAND ? TRUE : FALSE;
}

INT_PTR CALLBACK IgnoringProcedure(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

INT_PTR CALLBACK ClosingProcedure(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, 5);
        return TRUE;
    }
    return FALSE;
}

// Opens the buttons dialog from within itself on command 70.
INT_PTR CALLBACK NestingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == 70) {
        const INT_PTR inner =
            DialogBoxParamW(module, MAKEINTRESOURCEW(200), dialog, ButtonsProcedure, 0);
        EndDialog(dialog, inner + 1);
        return TRUE;
    }
    return FALSE;
}

class Dialogs : public testing::Test {
protected:
    void SetUp() override {
        platform::RegisterDialogTemplate(module, 200, 0x0809, TestTemplate());
        platform::ClearDialogs();
        platform::ScriptDialogs({});
        seen = Seen();
    }
    void TearDown() override { platform::UnregisterModuleResources(module); }
};

} // namespace

TEST_F(Dialogs, InitialisesThenRunsTheScriptAndReturnsWhatEndDialogWasGiven) {
    platform::ScriptDialogs(
        {{platform::ClickControl(51), platform::ClickControl(61), platform::ClickControl(70),
          platform::ClickControl(1), platform::ClickControl(2)}});
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(200), owner, ButtonsProcedure, 1234), 10);

    EXPECT_EQ(seen.parent, owner);
    EXPECT_EQ(seen.userData, 1234);
    ASSERT_EQ(platform::Dialogs().size(), 1u);
    const platform::DialogRecord& record = platform::Dialogs()[0];
    EXPECT_EQ(record.module, module);
    EXPECT_EQ(record.templateId, 200u);
    EXPECT_EQ(record.owner, owner);
    EXPECT_EQ(record.initParam, 1234);
    EXPECT_TRUE(record.ended);
    EXPECT_EQ(record.result, 10);
    // The first tab stop (OK) is offered the focus.
    EXPECT_NE(seen.focus, nullptr);

    const std::map<int, UINT> afterInit{{50, 1}, {51, 0}, {60, 1}, {61, 0}, {70, 0}};
    EXPECT_EQ(record.checksAfterInit, afterInit);
    // A click on a radio button moves the check within its own group only.
    const std::map<int, UINT> atEnd{{50, 0}, {51, 1}, {60, 0}, {61, 1}, {70, 1}};
    EXPECT_EQ(record.checksAtEnd, atEnd);
    EXPECT_EQ(seen.check60, BST_UNCHECKED);

    // WM_INITDIALOG and four clicks; the click after EndDialog is not delivered.
    ASSERT_EQ(record.messages.size(), 5u);
    EXPECT_EQ(record.messages[0].message, WM_INITDIALOG);
    EXPECT_EQ(record.messages[0].returned, TRUE);
    EXPECT_EQ(record.messages[1].message, WM_COMMAND);
    EXPECT_EQ(record.messages[1].wParam, MAKEWPARAM(51, BN_CLICKED));
    EXPECT_NE(record.messages[1].lParam, 0);
    EXPECT_EQ(record.messages[4].wParam, MAKEWPARAM(IDOK, BN_CLICKED));

    // The dialog and its controls are gone.
    EXPECT_EQ(GetParent(record.dialog), nullptr);
    EXPECT_EQ(SetWindowLongPtrW(record.dialog, GWLP_USERDATA, 1), 0);
    EXPECT_EQ(GetWindowLongPtrW(record.dialog, GWLP_USERDATA), 0);
    EXPECT_FALSE(EndDialog(record.dialog, 1));
}

TEST_F(Dialogs, ADialogLeftOpenIsClosedAsTheSystemClosesIt) {
    // No script: WM_CLOSE, left to the system, becomes Cancel.
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(200), owner, ButtonsProcedure, 0), 20);
    const auto& closed = platform::Dialogs()[0].messages;
    ASSERT_EQ(closed.size(), 3u);
    EXPECT_EQ(closed[1].message, WM_CLOSE);
    EXPECT_EQ(closed[2].message, WM_COMMAND);
    EXPECT_EQ(closed[2].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));

    // A procedure that handles WM_CLOSE itself gets no Cancel.
    platform::ScriptDialogs({{platform::CloseDialog()}});
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(200), owner, ClosingProcedure, 0), 5);
    EXPECT_EQ(platform::Dialogs()[1].messages.size(), 2u);

    // One that ignores even Cancel would never end: the call fails.
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(200), owner, IgnoringProcedure, 0), -1);
    EXPECT_FALSE(platform::Dialogs()[2].ended);
}

TEST_F(Dialogs, CommandsAreSentAsScriptedAndMissingControlsAreRecorded) {
    platform::ScriptDialogs({{platform::SendCommand(51, 0x300), platform::ClickControl(99),
                              platform::SendCommand(IDOK, 0)}});
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(200), owner, ButtonsProcedure, 0), 10);
    const platform::DialogRecord& record = platform::Dialogs()[0];
    // A plain command changes no check state.
    EXPECT_EQ(record.checksAtEnd.at(50), BST_CHECKED);
    EXPECT_EQ(record.messages[1].wParam, MAKEWPARAM(51, 0x300));
    EXPECT_EQ(record.missingControls, std::vector<int>{99});
    EXPECT_EQ(record.messages.size(), 3u);
}

TEST_F(Dialogs, FailsWithoutTemplateOrProcedure) {
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(201), owner, ButtonsProcedure, 0), -1);
    EXPECT_EQ(DialogBoxParamW(module, L"NAMED", owner, ButtonsProcedure, 0), -1);
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(200), owner, nullptr, 0), -1);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), owner, ButtonsProcedure, 0), -1);
    ASSERT_EQ(platform::Dialogs().size(), 4u);
    for (const auto& record : platform::Dialogs()) {
        EXPECT_TRUE(record.messages.empty());
        EXPECT_FALSE(record.ended);
    }
}

TEST_F(Dialogs, DialogsNestAndOwnTheirInnerDialogs) {
    platform::ScriptDialogs({{platform::ClickControl(70)}, {platform::ClickControl(IDOK)}});
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(200), owner, NestingProcedure, 0), 11);
    ASSERT_EQ(platform::Dialogs().size(), 2u);
    const platform::DialogRecord& outer = platform::Dialogs()[0];
    const platform::DialogRecord& inner = platform::Dialogs()[1];
    EXPECT_EQ(inner.owner, outer.dialog);
    EXPECT_EQ(seen.parent, outer.dialog);
    EXPECT_EQ(inner.result, 10);
}

TEST(WindowCalls, UnknownWindowsAndControlsAreRefused) {
    HWND stranger = reinterpret_cast<HWND>(0x7777);
    EXPECT_FALSE(CheckDlgButton(stranger, 50, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(stranger, 50), BST_UNCHECKED);
    EXPECT_EQ(GetDlgItem(stranger, 50), nullptr);
    EXPECT_EQ(GetParent(stranger), nullptr);
    EXPECT_FALSE(EndDialog(stranger, 0));
}

TEST(Cursor, StandardArrowIsOneSharedHandle) {
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), arrow);
    EXPECT_NE(LoadCursorW(nullptr, MAKEINTRESOURCEW(32513)), arrow);
    EXPECT_EQ(LoadCursorW(module, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);

    const HCURSOR before = platform::CurrentCursor();
    EXPECT_EQ(SetCursor(arrow), before);
    EXPECT_EQ(platform::CurrentCursor(), arrow);
    EXPECT_EQ(SetCursor(before), arrow);
}
