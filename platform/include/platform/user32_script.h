// Scripting of the user32 stand-ins, for tests and host programs on systems other than
// Windows. The state lives in the platform library, which is shared by a host program and the
// modules it loads, as user32 is on Windows.
#pragma once

#include "platform/win32_types.h"

#include <map>
#include <string>
#include <vector>

namespace platform {

// One message box that was shown. Narrow texts of MessageBoxA are converted from the ANSI
// code page.
struct MessageBoxRecord {
    HWND owner;
    std::wstring text;
    std::wstring caption; // as given; empty when the caption was null
    bool captionGiven;
    UINT type;
};

// The answers the next message boxes return, first to last; once they are used up, every
// box answers IDOK.
void ScriptMessageBoxAnswers(const std::vector<int>& answers);
// The boxes shown since the last call to ClearMessageBoxes.
const std::vector<MessageBoxRecord>& MessageBoxes();
void ClearMessageBoxes();
// Whether boxes are also written to standard error (on by default).
void EchoMessageBoxes(bool echo);

// One step of a scripted dialog session.
struct DialogAction {
    enum Kind {
        Click,   // a user's click on a control: auto radio buttons and auto check boxes
                 // change their check state as the system changes it, then the dialog
                 // procedure receives WM_COMMAND with BN_CLICKED and the control's handle
        Command, // WM_COMMAND with the given identifier and notification code as it stands
        Close    // WM_CLOSE, as from the title bar's close button or Alt+F4
    };
    Kind kind;
    int id;
    WORD code;
};
inline DialogAction ClickControl(int id) {
    return {DialogAction::Click, id, 0};
}
inline DialogAction SendCommand(int id, WORD code) {
    return {DialogAction::Command, id, code};
}
inline DialogAction CloseDialog() {
    return {DialogAction::Close, 0, 0};
}

// The scripts of the next dialogs, one per DialogBoxParamW call, first to last. A dialog
// without a script of its own is closed right after WM_INITDIALOG.
void ScriptDialogs(const std::vector<std::vector<DialogAction>>& scripts);

// One message a dialog procedure received, with what the procedure returned.
struct DialogMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    INT_PTR returned;
};

// One dialog that was shown through DialogBoxParamW.
struct DialogRecord {
    HINSTANCE module;
    UINT templateId;
    HWND owner;
    LPARAM initParam;
    HWND dialog;                         // valid only while the dialog ran
    std::vector<DialogMessage> messages; // WM_INITDIALOG first
    std::map<int, UINT> checksAfterInit; // check state of every button after WM_INITDIALOG
    std::map<int, UINT> checksAtEnd;     // ... and when the dialog ended
    std::vector<int> missingControls;    // scripted clicks on controls the dialog lacks
    bool ended;                          // EndDialog was called
    INT_PTR result;                      // what DialogBoxParamW returned
};

// The dialogs shown since the last call to ClearDialogs (failed calls included, with a
// result of -1 and no messages).
const std::vector<DialogRecord>& Dialogs();
void ClearDialogs();

// The cursor last set with SetCursor (null at first).
HCURSOR CurrentCursor();

} // namespace platform
