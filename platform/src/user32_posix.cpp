// Stand-ins for the user32 calls on systems other than Windows.
#include "platform/user32.h"
#include "platform/user32_script.h"

#include "platform/text.h"

#include <cstdio>
#include <deque>

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

int ShowBox(HWND owner, std::wstring text, bool captionGiven, std::wstring caption, UINT type) {
    MessageBoxState& state = Boxes();
    if (state.echo) {
        const std::string shownCaption = captionGiven ? platform::WideToAnsi(caption) : "Error";
        std::fprintf(stderr, "%s: %s\n", shownCaption.c_str(), platform::WideToAnsi(text).c_str());
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
    return ShowBox(owner, platform::AnsiToWide(text != nullptr ? text : ""), caption != nullptr,
                   platform::AnsiToWide(caption != nullptr ? caption : ""), type);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    return ShowBox(owner, text != nullptr ? text : L"", caption != nullptr,
                   caption != nullptr ? caption : L"", type);
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
