// Stand-ins for the user32 calls on systems other than Windows.
#include "platform/user32.h"
#include "platform/user32_script.h"

#include "platform/text.h"

#include <cstdio>
#include <deque>
#include <string>

namespace {

struct MessageBoxState {
    std::deque<int> answers;
    std::vector<platform::MessageBoxRecord> shown;
    bool echo = true;
};

MessageBoxState& Boxes() {
    static MessageBoxState state;
    return state;
}

// narrowText and narrowCaption are what goes to standard error: for MessageBoxA the bytes as
// given, so a file name that is no valid text in the code page shows as typed.
int ShowBox(HWND owner, std::wstring text, bool captionGiven, std::wstring caption, UINT type,
            const std::string& narrowText, const std::string& narrowCaption) {
    MessageBoxState& state = Boxes();
    if (state.echo) {
        const std::string shownCaption = captionGiven ? narrowCaption : "Error";
        std::fprintf(stderr, "%s: %s\n", shownCaption.c_str(), narrowText.c_str());
        std::fflush(stderr);
    }
    state.shown.push_back({owner, std::move(text), std::move(caption), captionGiven, type});
    if (state.answers.empty()) {
        return IDOK;
    }
    const int answer = state.answers.front();
    state.answers.pop_front();
    return answer;
}

} // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const std::string narrowText = text != nullptr ? text : "";
    const std::string narrowCaption = caption != nullptr ? caption : "";
    return ShowBox(owner, platform::AnsiToWide(narrowText), caption != nullptr,
                   platform::AnsiToWide(narrowCaption), type, narrowText, narrowCaption);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    const std::wstring wideText = text != nullptr ? text : L"";
    const std::wstring wideCaption = caption != nullptr ? caption : L"";
    return ShowBox(owner, wideText, caption != nullptr, wideCaption, type,
                   platform::WideToAnsi(wideText), platform::WideToAnsi(wideCaption));
}

namespace platform {

void ScriptMessageBoxAnswers(const std::vector<int>& answers) {
    Boxes().answers.assign(answers.begin(), answers.end());
}

const std::vector<MessageBoxRecord>& MessageBoxes() {
    return Boxes().shown;
}

void ClearMessageBoxes() {
    Boxes().shown.clear();
}

void EchoMessageBoxes(bool echo) {
    Boxes().echo = echo;
}

} // namespace platform
