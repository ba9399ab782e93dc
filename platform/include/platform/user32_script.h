// Scripting of the user32 stand-ins, for tests and host programs on systems other than
// Windows. The state lives in the platform library, which is shared by a host program and the
// modules it loads, as user32 is on Windows.
#pragma once

#include "platform/win32_types.h"

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

} // namespace platform
